#include "WebCopyOptions.h"

#include "Settings.h"

using namespace Qt::Literals::StringLiterals;

QString WebCopyOptions::key() const
{
    QString text;
    if (stripPrivate)
        text += u'p';
    if (autoOrient)
        text += u'o';
    if (srgb)
        text += u's';
    if (fastDecode)
        text += u'f';
    return text;
}

WebCopyOptions WebCopyOptions::fromSettings()
{
    auto on = [](const SettingKey &key) { return ReadIniValue(key) == u"1"_s; };
    return {on(SettingKeys::WebStripPrivate), on(SettingKeys::WebAutoOrient), on(SettingKeys::WebSrgb),
            on(SettingKeys::WebFastDecode)};
}
