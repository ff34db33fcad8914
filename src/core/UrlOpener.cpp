#include "UrlOpener.h"

#include <QtGlobal>

namespace {
UrlOpener *s_opener = nullptr;
}

UrlOpener &UrlOpener::instance()
{
    if (!s_opener)
        qFatal("No URL opener is installed");
    return *s_opener;
}

void UrlOpener::setInstance(UrlOpener *opener)
{
    s_opener = opener;
}
