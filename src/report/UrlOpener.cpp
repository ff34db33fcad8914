#include "UrlOpener.h"

#include "DesktopUrlOpener.h"

namespace {
UrlOpener *s_replacement = nullptr;
}

UrlOpener &UrlOpener::instance()
{
    static DesktopUrlOpener real;
    return s_replacement ? *s_replacement : real;
}

void UrlOpener::setInstance(UrlOpener *opener)
{
    s_replacement = opener;
}
