#include "frmWebOptions.h"

#include "ErrorGuard.h"
#include "GalleryOptions.h"
#include "MessageBoxService.h"
#include "Settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString Owner = u"frmWebOptions"_s;

} // namespace

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

    fraPages = addGroup(u"fraPages"_s, u"Gallery pages"_s);
    chkPages =
        addOption(fraPages, u"chkPages"_s, u"Write gallery pages"_s, SettingKeys::WebPages,
                  u"After its last image, Resize writes a web page into every folder of the destination tree "
                  u"that holds images, directly or in its folders, with a preview of each picture linking to "
                  u"its photo page (to the picture itself without photo pages), and one stylesheet beside "
                  u"the top page."_s);
    auto *form = new QFormLayout;
    qobject_cast<QVBoxLayout *>(fraPages->layout())->addLayout(form);
    lblTitle = new QLabel(u"Title:"_s, fraPages);
    lblTitle->setObjectName(u"lblTitle"_s);
    txtTitle = addText(form, lblTitle, u"txtTitle"_s,
                       u"The heading of the top page and the first link back up on every other page. "
                       u"Left empty, the pages take the name of the image root's folder."_s);
    lblPageName = new QLabel(u"Page name:"_s, fraPages);
    lblPageName->setObjectName(u"lblPageName"_s);
    txtPageName = addText(form, lblPageName, u"txtPageName"_s,
                          u"The file name of the page in each folder, ending in .html or .htm. Choose a "
                          u"name other than index.html when the server has a gallery script of its own "
                          u"that answers for the folder."_s);
    chkPhotoPages = addOption(fraPages, u"chkPhotoPages"_s, u"Photo pages"_s, SettingKeys::WebPhotoPages,
                              u"Every picture shown gets a page of its own, with links to the previous and "
                              u"next picture, and the album's preview of it links there."_s);
    auto *moreForm = new QFormLayout;
    qobject_cast<QVBoxLayout *>(fraPages->layout())->addLayout(moreForm);
    lblOrder = new QLabel(u"Order:"_s, fraPages);
    lblOrder->setObjectName(u"lblOrder"_s);
    cmbOrder = new QComboBox(fraPages);
    for (const auto &[caption, order] : {std::pair{u"Time taken"_s, GalleryOptions::Order::Taken},
                                         {u"Name"_s, GalleryOptions::Order::Name},
                                         {u"Scan order"_s, GalleryOptions::Order::Scan}})
        cmbOrder->addItem(caption, GalleryOptions::orderText(order));
    addField(moreForm, lblOrder, cmbOrder, u"cmbOrder"_s,
             u"The order each page shows its pictures in: by the time each was taken (as the camera "
             u"recorded it, else the file's time), by name (img2 before img10), or as the scan found "
             u"them."_s);
    lblWebAddress = new QLabel(u"Web address:"_s, fraPages);
    lblWebAddress->setObjectName(u"lblWebAddress"_s);
    txtWebAddress = addText(moreForm, lblWebAddress, u"txtWebAddress"_s,
                            u"The address the top folder of the destination tree is published at, starting "
                            u"with https:// or http://. With one, the pages carry their own absolute "
                            u"address; left empty, they carry none."_s);
    txtWebAddress->setPlaceholderText(u"https://example.org/photos/"_s);
    guarded(Owner, u"Form_Load"_s, [&] {
        const GalleryOptions stored = GalleryOptions::fromSettings();
        txtTitle->setText(stored.title);
        txtPageName->setText(stored.pageName);
        cmbOrder->setCurrentIndex(cmbOrder->findData(GalleryOptions::orderText(stored.order)));
        txtWebAddress->setText(stored.webAddress);
    });
    connect(chkPages, &QCheckBox::toggled, this, &frmWebOptions::chkPages_Click);
    connect(txtTitle, &QLineEdit::editingFinished, this, &frmWebOptions::txtTitle_LostFocus);
    connect(txtPageName, &QLineEdit::editingFinished, this, &frmWebOptions::txtPageName_LostFocus);
    connect(cmbOrder, &QComboBox::currentIndexChanged, this, &frmWebOptions::cmbOrder_Click);
    connect(txtWebAddress, &QLineEdit::editingFinished, this, &frmWebOptions::txtWebAddress_LostFocus);
    chkPages_Click();

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    cmdClose = buttons->button(QDialogButtonBox::Close);
    cmdClose->setObjectName(u"cmdClose"_s);
    cmdClose->setDefault(true);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

frmWebOptions::~frmWebOptions()
{
    // A field losing the focus as its window goes finishes its editing: nothing is left to store
    // it in by then.
    txtTitle->disconnect(this);
    txtPageName->disconnect(this);
    txtWebAddress->disconnect(this);
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
    guarded(Owner, u"Form_Load"_s, [&] { box->setChecked(ReadIniValueOrDefault(key) == u"1"_s); });
    connect(box, &QCheckBox::toggled, this, [name, key](bool checked) {
        guarded(Owner, name + u"_Click"_s, [&] { WriteIniValue(key, checked ? u"1"_s : u"0"_s); });
    });
    group->layout()->addWidget(box);
    return box;
}

QLineEdit *frmWebOptions::addText(QFormLayout *form, QLabel *label, const QString &name,
                                  const QString &description)
{
    auto *field = new QLineEdit(label->parentWidget());
    addField(form, label, field, name, description);
    return field;
}

void frmWebOptions::addField(QFormLayout *form, QLabel *label, QWidget *field, const QString &name,
                             const QString &description)
{
    field->setObjectName(name);
    field->setAccessibleDescription(description);
    field->setToolTip(description);
    label->setBuddy(field);
    form->addRow(label, field);
}

void frmWebOptions::setImageRoot(const QString &imageRoot)
{
    txtTitle->setPlaceholderText(GalleryOptions::defaultTitle(imageRoot));
}

void frmWebOptions::chkPages_Click()
{
    // As the thumbnail prefix follows the thumbnail size: the fields matter only with pages on.
    for (QWidget *widget :
         std::initializer_list<QWidget *>{lblTitle, txtTitle, lblPageName, txtPageName, chkPhotoPages,
                                          lblOrder, cmbOrder, lblWebAddress, txtWebAddress})
        widget->setEnabled(chkPages->isChecked());
}

void frmWebOptions::txtTitle_LostFocus()
{
    guarded(Owner, u"txtTitle_LostFocus"_s, [&] {
        // One line: a pasted line break cannot be stored, and a heading has none.
        const QString title = txtTitle->text().simplified();
        txtTitle->setText(title);
        if (title != ReadIniValue(SettingKeys::WebTitle))
            WriteIniValue(SettingKeys::WebTitle, title);
    });
}

void frmWebOptions::txtPageName_LostFocus()
{
    guarded(Owner, u"txtPageName_LostFocus"_s, [&] {
        const QString stored = GalleryOptions::fromSettings().pageName;
        const QString name = txtPageName->text().trimmed();
        if (name == stored) {
            txtPageName->setText(name);
            return;
        }
        if (!GalleryOptions::isPageName(name)) {
            // Put back first: the box takes the focus, which finishes the editing once more.
            txtPageName->setText(stored);
            showMessage(this, u"A page name must end in .html or .htm and cannot hold a \"/\"!!"_s,
                        u"Page name"_s, MessageBoxService::Icon::Critical);
            return;
        }
        txtPageName->setText(name);
        WriteIniValue(SettingKeys::WebPageName, name);
    });
}

void frmWebOptions::cmbOrder_Click()
{
    guarded(Owner, u"cmbOrder_Click"_s,
            [&] { WriteIniValue(SettingKeys::WebOrder, cmbOrder->currentData().toString()); });
}

void frmWebOptions::txtWebAddress_LostFocus()
{
    guarded(Owner, u"txtWebAddress_LostFocus"_s, [&] {
        const std::optional<QString> address = GalleryOptions::webAddressOf(txtWebAddress->text());
        if (!address) {
            // Put back first, as for the page name.
            txtWebAddress->setText(GalleryOptions::fromSettings().webAddress);
            showMessage(this, u"A web address must start with https:// or http:// and name a host!!"_s,
                        u"Web address"_s, MessageBoxService::Icon::Critical);
            return;
        }
        txtWebAddress->setText(*address);
        if (*address != ReadIniValue(SettingKeys::WebAddress))
            WriteIniValue(SettingKeys::WebAddress, *address);
    });
}

void frmWebOptions::done(int result)
{
    // Closing finishes an edit in hand: what the fields show as the dialog goes is what is kept.
    txtTitle_LostFocus();
    txtPageName_LostFocus();
    txtWebAddress_LostFocus();
    QDialog::done(result);
}
