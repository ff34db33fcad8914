#include "StartUp.h"

#include "frmAbout.h"
#include "frmError.h"
#include "frmMain.h"

using namespace Qt::Literals::StringLiterals;

namespace {

// The one main window, created (hidden) on first use.
frmMain *mainWindow()
{
    if (frmMain *existing = frmMain::current())
        return existing;
    auto *window = new frmMain;
    window->setAttribute(Qt::WA_DeleteOnClose);
    return window;
}

} // namespace

void Main()
{
    frmAbout::setContinueAction([] { mainWindow()->show(); });
    // An error report gives the main window back its Exit button, creating the window (hidden)
    // when an error comes before it exists.
    frmError::setLoadHook([] { mainWindow()->giveBackExit(); });
    auto *about = new frmAbout;
    about->setAttribute(Qt::WA_DeleteOnClose);
    about->show();
}
