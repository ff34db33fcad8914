#include "DesktopServices.h"
#include "ErrorGuard.h"
#include "StartUp.h"

#include <QApplication>

using namespace Qt::Literals::StringLiterals;

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"PexaResizer"_s);
    QApplication::setOrganizationName(u"PexaResizer"_s);
    DesktopServices::install();
    if (!guarded(u"global"_s, u"Main"_s, Main))
        return 1;
    return QApplication::exec();
}
