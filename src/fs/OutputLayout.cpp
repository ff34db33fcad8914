#include "OutputLayout.h"

#include "DestinationPath.h"

using namespace Qt::Literals::StringLiterals;

OutputLayout::OutputLayout(const QString &imageRoot, const QString &destinationRoot,
                           const QString &thumbnailSize, const QString &thumbnailPrefix)
    : m_imageRoot(imageRoot), m_destinationRoot(destinationRoot), m_thumbnailSize(thumbnailSize),
      m_thumbnailPrefix(thumbnailPrefix)
{}

bool OutputLayout::thumbnails() const
{
    return m_thumbnailSize != ThumbnailsDisabled && !m_thumbnailPrefix.isEmpty();
}

QString OutputLayout::relative(const QString &entry) const
{
    return DestinationPath::relativeToRoot(entry, m_imageRoot);
}

QString OutputLayout::relativeFolder(const QString &entry) const
{
    return folderOf(relative(entry));
}

QString OutputLayout::copyPath(const QString &entry) const
{
    return DestinationPath::forEntry(entry, m_imageRoot, m_destinationRoot);
}

QString OutputLayout::thumbnailPath(const QString &entry) const
{
    if (!thumbnails())
        return QString();
    const QString copy = copyPath(entry);
    return DestinationPath::join(folderOf(copy), thumbnailName(fileName(copy)));
}

QString OutputLayout::thumbnailName(const QString &name) const
{
    return m_thumbnailPrefix + name;
}

QString OutputLayout::previewPath(const QString &entry, int width) const
{
    const QString copy = copyPath(entry);
    return DestinationPath::join(folderOf(copy), previewName(fileName(copy), width));
}

QString OutputLayout::previewName(const QString &fileName, int width)
{
    QString format = u"jpg"_s;
    for (const QString &kept : {u".png"_s, u".gif"_s}) {
        if (fileName.endsWith(kept, Qt::CaseInsensitive))
            format = kept.mid(1);
    }
    return fileName + u'.' + QString::number(width) + u"w."_s + format;
}

QString OutputLayout::previewedName(const QString &name)
{
    for (const int width : PreviewWidths) {
        const QString marker = u'.' + QString::number(width) + u"w."_s;
        const qsizetype at = name.lastIndexOf(marker);
        if (at <= 0)
            continue;
        const QString picture = name.left(at);
        if (isImageName(picture) && previewName(picture, width) == name)
            return picture;
    }
    return QString();
}

QString OutputLayout::photoPageName(const QString &fileName, const QString &pageName)
{
    return fileName + u'.' + pageName;
}

QString OutputLayout::photoPagePicture(const QString &name, const QString &pageName)
{
    const QString ending = u'.' + pageName;
    if (!name.endsWith(ending))
        return QString();
    const QString picture = name.chopped(ending.size());
    return isImageName(picture) ? picture : QString();
}

bool OutputLayout::isImageName(const QString &name)
{
    for (const QString &extension : {u".jpg"_s, u".jpeg"_s, u".bmp"_s, u".gif"_s, u".png"_s}) {
        if (name.endsWith(extension, Qt::CaseInsensitive) && name.size() > extension.size())
            return true;
    }
    return false;
}

QString OutputLayout::fileName(const QString &path)
{
    return path.mid(path.lastIndexOf(u'/') + 1);
}

QString OutputLayout::folderOf(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash < 0 ? QString() : path.left(slash);
}
