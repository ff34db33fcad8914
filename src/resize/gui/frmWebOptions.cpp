#include "frmWebOptions.h"

#include "ErrorGuard.h"
#include "Settings.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

frmWebOptions::frmWebOptions(QWidget *parent) : QDialog(parent)
{
    setObjectName(u"frmWebOptions"_s);
    setWindowTitle(u"Web Options"_s);
    setModal(true);

    auto *layout = new QVBoxLayout(this);
    m_groups = new QVBoxLayout;
    layout->addLayout(m_groups);

    fraCopies = addGroup(u"fraCopies"_s, u"Copies"_s);
    chkStripPrivate = addOption(
        fraCopies, u"chkStripPrivate"_s, u"Remove location and camera details"_s,
        SettingKeys::WebStripPrivate,
        u"Copies and thumbnails carry no GPS position, no camera or lens serial numbers, no maker "
        u"notes, no embedded preview and no editing history. The colour profile, the orientation and "
        u"the author, copyright and caption fields stay."_s);
    chkAutoOrient =
        addOption(fraCopies, u"chkAutoOrient"_s, u"Turn pictures upright"_s, SettingKeys::WebAutoOrient,
                  u"Pictures a camera or phone stored on their side are turned as it recorded, so "
                  u"the resize limit is the width a viewer sees."_s);
    chkSrgb =
        addOption(fraCopies, u"chkSrgb"_s, u"Convert colours to sRGB"_s, SettingKeys::WebSrgb,
                  u"Pictures with another colour profile, such as Adobe RGB or Display P3, are converted "
                  u"to sRGB, which every browser shows alike. Pictures without a profile stay as they "
                  u"are."_s);
    chkFastDecode = addOption(
        fraCopies, u"chkFastDecode"_s, u"Faster decoding of large JPEGs"_s, SettingKeys::WebFastDecode,
        u"Large JPEGs are decoded at a reduced size that still holds at least twice the largest copy "
        u"or thumbnail made of them."_s);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    cmdClose = buttons->button(QDialogButtonBox::Close);
    cmdClose->setObjectName(u"cmdClose"_s);
    cmdClose->setDefault(true);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

QGroupBox *frmWebOptions::addGroup(const QString &name, const QString &title)
{
    auto *group = new QGroupBox(title, this);
    group->setObjectName(name);
    new QVBoxLayout(group);
    m_groups->addWidget(group);
    return group;
}

QCheckBox *frmWebOptions::addOption(QGroupBox *group, const QString &name, const QString &caption,
                                    const SettingKey &key, const QString &description)
{
    auto *box = new QCheckBox(caption, group);
    box->setObjectName(name);
    box->setAccessibleDescription(description);
    box->setToolTip(description);
    guarded(u"frmWebOptions"_s, u"Form_Load"_s, [&] { box->setChecked(ReadIniValue(key) == u"1"_s); });
    connect(box, &QCheckBox::toggled, this, [name, key](bool checked) {
        guarded(u"frmWebOptions"_s, name + u"_Click"_s,
                [&] { WriteIniValue(key, checked ? u"1"_s : u"0"_s); });
    });
    group->layout()->addWidget(box);
    return box;
}
