#include "DesktopServices.h"

#include "DesktopUrlOpener.h"
#include "ErrorReporter.h"
#include "QtMessageBoxService.h"
#include "frmError.h"

namespace DesktopServices {

void install()
{
    static QtMessageBoxService boxes;
    static DesktopUrlOpener opener;
    MessageBoxService::setInstance(&boxes);
    UrlOpener::setInstance(&opener);
    ErrorReporter::setHandler(&frmError::showReport);
}

} // namespace DesktopServices
