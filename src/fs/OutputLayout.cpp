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
