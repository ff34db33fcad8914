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
    if (preview)
        text += u'v' + previewOf;
    return text;
}

WebCopyOptions WebCopyOptions::fromSettings()
{
    auto on = [](const SettingKey &key) { return ReadIniValue(key) == u"1"_s; };
    WebCopyOptions web;
    web.stripPrivate = on(SettingKeys::WebStripPrivate);
    web.autoOrient = on(SettingKeys::WebAutoOrient);
    web.srgb = on(SettingKeys::WebSrgb);
    web.fastDecode = on(SettingKeys::WebFastDecode);
    return web;
}

WebCopyOptions WebCopyOptions::forPreview(const QString &pictureOption) const
{
    WebCopyOptions options = *this;
    options.preview = true;
    options.previewOf = pictureOption;
    return options;
}
