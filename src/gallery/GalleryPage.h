#pragma once

#include "GalleryPicture.h"

#include <QByteArray>
#include <QHash>
#include <QString>

class GalleryPlan;

// The HTML5 text of a gallery page, in UTF-8: the title, the folder's path as links back up,
// its sub-folders (name, image count, cover), then its images in the scan's order, each a
// thumbnail linking to the copy. Every img has its width, height and alt, and loads lazily;
// every name and caption is escaped and every link percent-encoded. No script, and nothing
// from another site: one stylesheet beside the top page.
class GalleryPage
{
public:
    // Without a thumbnail, the copy itself is shown scaled into a square of this many pixels.
    static constexpr int TileSize = 200;

    // The page of one of the plan's folders. pictures holds what is known of each shown image;
    // an image it lacks, or whose copy has no size, is listed as a plain link.
    static QByteArray render(const GalleryPlan &plan, const QString &folder, const QString &title,
                             const QHash<QString, GalleryPicture> &pictures);
    // The stylesheet the pages link to: a responsive grid, light and dark as the visitor's
    // system prefers, a visible keyboard focus.
    static QByteArray stylesheet();
};
