#include "frmDownloadIM.h"

#include "ErrorGuard.h"
#include "MessageBoxService.h"
#include "VendorAddresses.h"
#include "WebLinks.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace {

QPointer<frmDownloadIM> s_window;

const QString ClosingTitle = u"Closing Pexa Resizer"_s;

bool askYes(QWidget *owner, const QString &question)
{
    return MessageBoxService::instance().show(
               owner, question, ClosingTitle, MessageBoxService::Icon::Information,
               MessageBoxService::Buttons::YesNo) == MessageBoxService::Answer::Yes;
}

} // namespace

frmDownloadIM::frmDownloadIM(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(u"frmDownloadIM"_s);
    setWindowTitle(u"ImageMagick is Required!!"_s);
    setAttribute(Qt::WA_DeleteOnClose);

    const QString projectHost = QString::fromUtf16(VendorAddresses::ImageMagickProjectHost);
    const QString vendorHost = QString::fromUtf16(VendorAddresses::VendorHost);

    Label1 = new QLabel(u"To be able to use PexaResizer you need to download and install ImageMagick.  You "
                        u"may get my version "
                        u"(which at compile time was 'ImageMagick-6.3.1-5-Q16-windows-dll.exe').  If a new "
                        u"version comes out I "
                        u"will test it and then it will also be available via that button below.  The newest "
                        u"version may also "
                        u"be downloaded from the ImageMagick web site at %1.  Be aware that if the version "
                        u"you are using is NOT "
                        u"what I am using, then I cannot guarantee it will work."_s.arg(projectHost));
    Label1->setObjectName(u"Label1"_s);
    Label2 =
        new QLabel(u"During the ImageMagick install MAKE sure you select the bottom option on the dialog "
                   u"pictured below.  Other options can be chosen as well, but MAKE SURE that bottom option "
                   u"is selected: the one that installs the ImageMagickObject automation control."_s);
    Label2->setObjectName(u"Label2"_s);
    for (QLabel *label : {Label1, Label2})
        label->setWordWrap(true);
    Picture1 = new QLabel;
    Picture1->setObjectName(u"Picture1"_s);
    Picture1->setPixmap(QPixmap(u":/images/installer_option.png"_s));
    Picture1->setFixedSize(503, 392);

    cmdDownloadIM_org = new QPushButton(u"Download from "_s + projectHost);
    cmdDownloadIM_org->setObjectName(u"cmdDownloadIM_org"_s);
    cmdGetIM = new QPushButton(u"Download from "_s + vendorHost);
    cmdGetIM->setObjectName(u"cmdGetIM"_s);
    cmdExit = new QPushButton(u"Exit"_s);
    cmdExit->setObjectName(u"cmdExit"_s);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(cmdDownloadIM_org);
    buttons->addWidget(cmdGetIM);
    buttons->addStretch();
    buttons->addWidget(cmdExit);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(Label2);
    layout->addWidget(Picture1, 0, Qt::AlignHCenter);
    layout->addLayout(buttons);
    setFixedWidth(560);

    connect(cmdDownloadIM_org, &QPushButton::clicked, this, &frmDownloadIM::cmdDownloadIM_org_Click);
    connect(cmdGetIM, &QPushButton::clicked, this, &frmDownloadIM::cmdGetIM_Click);
    connect(cmdExit, &QPushButton::clicked, this, &frmDownloadIM::cmdExit_Click);
}

frmDownloadIM *frmDownloadIM::showWindow()
{
    if (!s_window)
        s_window = new frmDownloadIM;
    s_window->show();
    s_window->raise();
    return s_window;
}

frmDownloadIM *frmDownloadIM::current()
{
    return s_window;
}

void frmDownloadIM::cmdDownloadIM_org_Click()
{
    guarded(u"frmDownloadIM"_s, u"cmdDownloadIM_org_Click"_s,
            [&] { downloadThenAsk(QString::fromUtf16(VendorAddresses::ImageMagickProjectDownload)); });
}

void frmDownloadIM::cmdGetIM_Click()
{
    guarded(u"frmDownloadIM"_s, u"cmdGetIM_Click"_s,
            [&] { downloadThenAsk(QString::fromUtf16(VendorAddresses::VendorImageMagickDownload)); });
}

void frmDownloadIM::cmdExit_Click()
{
    guarded(u"frmDownloadIM"_s, u"cmdExit_Click"_s, [&] {
        if (askYes(this, u"Are you sure you want to exit?"_s))
            closeProgram();
    });
}

void frmDownloadIM::downloadThenAsk(const QString &address)
{
    OpenURL(address);
    // The user may want to keep reading; only a Yes closes the program.
    if (askYes(this, u"Have you written those instructions down?"_s))
        closeProgram();
}

void frmDownloadIM::closeProgram()
{
    // The main window lives above this library; it is found by its name.
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (window->objectName() == u"frmMain"_s)
            window->close();
    }
    close();
}
