#include "GalleryOptions.h"

#include "Settings.h"

#include <QUrl>

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

std::optional<QString> GalleryOptions::webAddressOf(const QString &typed)
{
    const QString text = typed.trimmed();
    if (text.isEmpty())
        return QString();
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != u"https"_s && scheme != u"http"_s) || url.host().isEmpty() ||
        url.hasQuery() || url.hasFragment() || !url.userInfo().isEmpty() || text.contains(u' '))
        return std::nullopt;
    QString address = url.toString(QUrl::FullyEncoded);
    if (!address.endsWith(u'/'))
        address += u'/';
    return address;
}

QString GalleryOptions::orderText(Order order)
{
    switch (order) {
    case Order::Name:
        return u"name"_s;
    case Order::Scan:
        return u"scan"_s;
    case Order::Taken:
        break;
    }
    return u"taken"_s;
}

GalleryOptions::Order GalleryOptions::orderOf(const QString &text)
{
    if (text == u"name"_s)
        return Order::Name;
    if (text == u"scan"_s)
        return Order::Scan;
    return Order::Taken;
}

GalleryOptions GalleryOptions::fromSettings()
{
    GalleryOptions options;
    options.pages = ReadIniValue(SettingKeys::WebPages) == u"1"_s;
    options.title = ReadIniValue(SettingKeys::WebTitle);
    const QString pageName = ReadIniValue(SettingKeys::WebPageName);
    if (isPageName(pageName))
        options.pageName = pageName;
    options.photoPages = ReadIniValue(SettingKeys::WebPhotoPages) != u"0"_s;
    options.order = orderOf(ReadIniValue(SettingKeys::WebOrder));
    // An address edited into the file that is none is left out rather than written into pages.
    options.webAddress = webAddressOf(ReadIniValue(SettingKeys::WebAddress)).value_or(QString());
    return options;
}
