#pragma once

#include <QString>

// Where the outputs of a scanned image go: its copy and its thumbnail in the destination tree,
// and the same names on the server. The resize, the upload and what builds on them ask here, so
// they agree by construction.
class OutputLayout
{
public:
    // The thumbnail size that switches thumbnails off, as the size list shows it and the
    // settings store it. Inline, so that it is set before the setting keys that include it.
    static inline const QString ThumbnailsDisabled = QStringLiteral("Disabled");

    OutputLayout(const QString &imageRoot, const QString &destinationRoot, const QString &thumbnailSize,
                 const QString &thumbnailPrefix);

    // Thumbnails are written and sent: a size is chosen, and a prefix that keeps them from
    // landing on the copies themselves.
    bool thumbnails() const;
    const QString &thumbnailPrefix() const { return m_thumbnailPrefix; }
    const QString &destinationRoot() const { return m_destinationRoot; }

    // The entry below the image root, without a leading separator: "2008/June/img01.JPG".
    QString relative(const QString &entry) const;
    // The folder part of that, empty for an image directly in the image root: "2008/June".
    QString relativeFolder(const QString &entry) const;
    // The copy of the entry in the destination tree.
    QString copyPath(const QString &entry) const;
    // The thumbnail beside the copy; empty when thumbnails are off.
    QString thumbnailPath(const QString &entry) const;
    // The thumbnail's name beside an image of this name, whether or not thumbnails are on now.
    QString thumbnailName(const QString &fileName) const;

    // A name the scan would take for an image: .jpg, .jpeg, .bmp, .gif or .png, in any case.
    static bool isImageName(const QString &name);
    // The last piece of a "/"-separated path, and what comes before it.
    static QString fileName(const QString &path);
    static QString folderOf(const QString &path);

private:
    QString m_imageRoot;
    QString m_destinationRoot;
    QString m_thumbnailSize;
    QString m_thumbnailPrefix;
};
