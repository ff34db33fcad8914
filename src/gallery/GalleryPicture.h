#pragma once

#include <QSize>
#include <QString>

// What a gallery page shows of one image, measured from the photo and the files the resize
// wrote.
struct GalleryPicture
{
    // From the photo's own metadata; empty when it has none.
    QString caption;
    // The copy's size in pixels as a browser shows it; empty when its header cannot be read.
    QSize copySize;
    // The thumbnail's file name beside the copy and its size; empty when there is none to show.
    QString thumbnail;
    QSize thumbnailSize;

    bool operator==(const GalleryPicture &) const = default;
};
