#pragma once

#include "GalleryPicture.h"

#include <QByteArray>
#include <QHash>
#include <QString>

class GalleryPlan;

// The HTML5 text of a gallery page, in UTF-8. A folder's page: the title, the folder's path as
// links back up, its sub-folders (name, image count, cover), then its images in the plan's
// order, each a preview (else a thumbnail) linking to its photo page (else to the copy). A photo
// page: the copy fitted to the window, its caption and time taken, links to the previous and
// next photo, the album and the copy, and a short script for keys and swipes. Every img has its
// width, height and alt, and the first few of a grid load at once, the rest lazily; every name
// and caption is escaped and every link percent-encoded. Nothing from another site: one
// stylesheet beside the top page. With a web address, each page names its own address and a
// picture for link previews.
class GalleryPage
{
public:
    // Without a thumbnail, the copy itself is shown scaled into a square of this many pixels.
    static constexpr int TileSize = 200;

    // The page of one of the plan's folders. pictures holds what is known of each shown image;
    // an image it lacks, or whose copy has no size, is listed as a plain link.
    static QByteArray render(const GalleryPlan &plan, const QString &folder, const QString &title,
                             const QHash<QString, GalleryPicture> &pictures);
    // The page of one of the plan's pictures, beside it.
    static QByteArray renderPhoto(const GalleryPlan &plan, const QString &entry, const QString &title,
                                  const QHash<QString, GalleryPicture> &pictures);
    // The stylesheet the pages link to: a responsive grid, light and dark as the visitor's
    // system prefers, a visible keyboard focus.
    static QByteArray stylesheet();
};
