#include "frmAbout.h"

#include "AppInfo.h"
#include "ErrorGuard.h"
#include "WebLinks.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace {
std::function<void()> &continueAction()
{
    static std::function<void()> action;
    return action;
}
} // namespace

frmAbout::frmAbout(QWidget *parent) : QDialog(parent)
{
    setObjectName(u"frmAbout"_s);
    createControls();
    Form_Load();
}

void frmAbout::setContinueAction(std::function<void()> action)
{
    continueAction() = std::move(action);
}

void frmAbout::createControls()
{
    auto label = [this](const QString &name, const QString &text) {
        auto *l = new QLabel(text, this);
        l->setObjectName(name);
        l->setWordWrap(true);
        return l;
    };
    lblTitle = label(u"lblTitle"_s, QString());
    QFont titleFont = lblTitle->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.6);
    titleFont.setBold(true);
    lblTitle->setFont(titleFont);
    lblVersion = label(u"lblVersion"_s, QString());
    lblDescription = label(u"lblDescription"_s,
                           u"This program is designed to resize photos and then upload them directly "
                           u"afterwards.  No middle man.  You can resize, upload, or resize and upload."
                           u"  Thank you for trying it, and thank you to everyone who wrote in with "
                           u"ideas and bug reports; they made it better."_s);
    Label1 = label(u"Label1"_s,
                   u"I will build custom applications to suit your needs, please contact me for quotes."_s);
    Label4 = label(u"Label4"_s, u"USE AT YOUR OWN RISK -- DEVELOPER OWNS NO RESPONSIBILITY FOR LOSS OF "
                                u"FILES.  TEST ON SMALL DIR OF FILES FIRST!!!"_s);
    Me = label(u"Me"_s, QString());
    Me->setPixmap(QPixmap(u":/images/me.jpg"_s));
    Me->setAccessibleName(u"Picture of the developer"_s);

    ContactMe = new QPushButton(u"Contact Me"_s, this);
    ContactMe->setObjectName(u"ContactMe"_s);
    DonateAmt = new QComboBox(this);
    DonateAmt->setObjectName(u"DonateAmt"_s);
    DonateAmt->setEditable(true);
    DonateAmt->setAccessibleName(u"Donation amount"_s);
    DonateBtn = new QPushButton(this);
    DonateBtn->setObjectName(u"DonateBtn"_s);
    const QPixmap donatePicture(u":/images/donate.png"_s);
    DonateBtn->setIcon(donatePicture);
    DonateBtn->setIconSize(donatePicture.size());
    DonateBtn->setFlat(true);
    DonateBtn->setAccessibleName(u"Donate"_s);
    DonateBtn->setToolTip(u"Donate"_s);
    cmdOK = new QPushButton(this);
    cmdOK->setObjectName(u"cmdOK"_s);
    cmdOK->setDefault(true);

    auto *text = new QVBoxLayout;
    for (QLabel *l : {lblTitle, lblVersion, lblDescription, Label1})
        text->addWidget(l);
    auto *top = new QHBoxLayout;
    top->addLayout(text, 1);
    top->addWidget(Me, 0, Qt::AlignTop);
    auto *links = new QHBoxLayout;
    links->addWidget(ContactMe);
    links->addStretch();
    links->addWidget(DonateAmt);
    links->addWidget(DonateBtn);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(links);
    layout->addWidget(Label4);
    layout->addWidget(cmdOK, 0, Qt::AlignRight);
    setMinimumWidth(460);

    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
    connect(ContactMe, &QPushButton::clicked, this, &frmAbout::ContactMe_Click);
    connect(DonateBtn, &QPushButton::clicked, this, &frmAbout::DonateBtn_Click);
}

void frmAbout::Form_Load()
{
    guarded(u"frmAbout"_s, u"Form_Load"_s, [&] {
        DonateAmt->addItems({u"$5.00"_s, u"$10.00"_s, u"$15.00"_s, u"$20.00"_s, u"$25.00"_s});
        DonateAmt->setCurrentIndex(0);
        cmdOK->setText(u"Continue"_s);
        cmdOK->setEnabled(true);
        setWindowTitle(u"About "_s + AppInfo::applicationTitle());
        lblTitle->setText(AppInfo::applicationTitle());
        lblVersion->setText(
            u"Version %1.%2 build %3"_s.arg(AppInfo::major()).arg(AppInfo::minor()).arg(AppInfo::revision()));
    });
}

void frmAbout::cmdOK_Click()
{
    guarded(u"frmAbout"_s, u"cmdOK_Click"_s, [&] {
        if (cmdOK->text() == u"Continue"_s && continueAction())
            continueAction()();
        close();
    });
}

void frmAbout::ContactMe_Click()
{
    guarded(u"frmAbout"_s, u"ContactMe_Click"_s, [&] { OpenURL(commentPageAddress()); });
}

void frmAbout::DonateBtn_Click()
{
    guarded(u"frmAbout"_s, u"DonateBtn_Click"_s, [&] { OpenURL(donationAddress(DonateAmt->currentText())); });
}
