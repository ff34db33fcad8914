#include "AppInfo.h"

using namespace Qt::Literals::StringLiterals;

namespace AppInfo {

QString executableName()
{
    return u"PexaResizer"_s;
}

QString applicationTitle()
{
    return u"PexaResizer"_s;
}

int major()
{
    return PEXA_VERSION_MAJOR;
}

int minor()
{
    return PEXA_VERSION_MINOR;
}

int revision()
{
    return PEXA_VERSION_REVISION;
}

QString dottedVersion()
{
    return u"%1.%2.%3"_s.arg(major()).arg(minor()).arg(revision());
}

} // namespace AppInfo
