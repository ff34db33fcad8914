#include "ErrorGuard.h"
#include "frmAbout.h"
#include "frmError.h"
#include "frmMain.h"

#include <QApplication>
#include <QPushButton>

using namespace Qt::Literals::StringLiterals;

namespace {

frmMain *mainWindow()
{
    if (frmMain *existing = frmMain::current())
        return existing;
    auto *window = new frmMain;
    window->setAttribute(Qt::WA_DeleteOnClose);
    return window;
}

// The entry point's work: the About box first; its "Continue" leads to the main window.
void Main()
{
    frmAbout::setContinueAction([] { mainWindow()->show(); });
    // An error report gives the main window back its Exit button, creating the window (hidden)
    // when an error comes before it exists.
    frmError::setLoadHook([] {
        frmMain *window = mainWindow();
        window->cmdExit->setEnabled(true);
        window->cmdExit->setText(u"Exit"_s);
    });
    auto *about = new frmAbout;
    about->setAttribute(Qt::WA_DeleteOnClose);
    about->show();
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"PexaResizer"_s);
    QApplication::setOrganizationName(u"PexaResizer"_s);
    if (!guarded(u"global"_s, u"Main"_s, Main))
        return 1;
    return QApplication::exec();
}
