#pragma once

#include <QDateTime>
#include <QList>
#include <QSize>
#include <QString>

// What a gallery page shows of one image, measured from the photo and the files the resize
// wrote.
struct GalleryPicture
{
    // A smaller copy beside the copy: its file name and its size.
    struct Preview
    {
        QString file;
        QSize size;

        bool operator==(const Preview &) const = default;
    };

    // From the photo's own metadata; empty when it has none.
    QString caption;
    // The copy's size in pixels as a browser shows it; empty when its header cannot be read.
    QSize copySize;
    // The thumbnail's file name beside the copy and its size; empty when there is none to show.
    QString thumbnail;
    QSize thumbnailSize;
    // One for each of OutputLayout::PreviewWidths, narrow first; empty unless all can be read.
    QList<Preview> previews;
    // When the photo was taken, from its metadata (see PhotoTime); invalid when unknown.
    QDateTime taken;

    bool operator==(const GalleryPicture &) const = default;
};
