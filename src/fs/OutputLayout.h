#pragma once

#include <QString>

#include <array>

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

    // Gallery previews: smaller copies of a picture, never wider than the copy, as wide as
    // these: the first GridPreviews for a cell of an album's grid on screens of one and of two
    // device pixels to a CSS pixel, the last for a photo page on a phone or a laptop, where the
    // copy itself would make the page slow to show.
    static constexpr std::array<int, 3> PreviewWidths{300, 600, 1200};
    static constexpr int GridPreviews = 2;
    // The preview of the entry at one of those widths, beside its copy.
    QString previewPath(const QString &entry, int width) const;
    // A preview's name beside a picture of this name: "sunset.jpg" gives "sunset.jpg.300w.jpg".
    // A JPEG, but a PNG or GIF keeps its format (transparency, animation). No picture the scan
    // takes is named like this unless its name is built the same way.
    static QString previewName(const QString &fileName, int width);
    // The picture name a preview's name was made from; empty when the name is no preview's.
    static QString previewedName(const QString &name);

    // The gallery page of one picture, beside it, for pages of this name (see GalleryOptions):
    // "sunset.jpg" with "index.html" gives "sunset.jpg.index.html". It ends as a page does, so
    // it is no picture's, thumbnail's or preview's name, and it is longer than the folder's page.
    static QString photoPageName(const QString &fileName, const QString &pageName);
    // The picture name a photo page's name was made from; empty when it is no photo page's.
    static QString photoPagePicture(const QString &name, const QString &pageName);

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
