#include "GalleryOptions.h"

#include "Settings.h"

using namespace Qt::Literals::StringLiterals;

const QString GalleryOptions::DefaultPageName = u"index.html"_s;

QString GalleryOptions::titleFor(const QString &imageRoot) const
{
    return title.trimmed().isEmpty() ? defaultTitle(imageRoot) : title.trimmed();
}

QString GalleryOptions::defaultTitle(const QString &imageRoot)
{
    QString root = imageRoot;
    while (root.endsWith(u'/'))
        root.chop(1);
    const QString name = root.mid(root.lastIndexOf(u'/') + 1);
    // The filesystem root has no name of its own.
    return name.isEmpty() ? u"Gallery"_s : name;
}

bool GalleryOptions::isPageName(const QString &name)
{
    if (name.contains(u'/') || name.startsWith(u'.') || name != name.trimmed())
        return false;
    for (const QChar c : name) {
        if (c.category() == QChar::Other_Control)
            return false;
    }
    // Not starting with ".", so something comes before the extension.
    return name.endsWith(u".html"_s, Qt::CaseInsensitive) || name.endsWith(u".htm"_s, Qt::CaseInsensitive);
}

GalleryOptions GalleryOptions::fromSettings()
{
    GalleryOptions options;
    options.pages = ReadIniValue(SettingKeys::WebPages) == u"1"_s;
    options.title = ReadIniValue(SettingKeys::WebTitle);
    const QString pageName = ReadIniValue(SettingKeys::WebPageName);
    if (isPageName(pageName))
        options.pageName = pageName;
    return options;
}
