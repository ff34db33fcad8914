// Run by tst_settingslocation from a copy in a folder it cannot write: stores one setting as the
// program does and prints the folder the settings went to.
#include "Settings.h"

#include <QCoreApplication>
#include <cstdio>

using namespace Qt::Literals::StringLiterals;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // The names the program's main() sets; they name its configuration folder.
    QCoreApplication::setApplicationName(u"PexaResizer"_s);
    QCoreApplication::setOrganizationName(u"PexaResizer"_s);
    WriteIniValue(u"settings.ini"_s, u"main"_s, u"resize_pct"_s, u"25"_s);
    std::printf("%s\n", qPrintable(SettingsLocation::folder()));
    return ReadIniValue(u"settings.ini"_s, u"main"_s, u"resize_pct"_s) == u"25"_s ? 0 : 1;
}
