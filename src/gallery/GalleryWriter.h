#pragma once

#include "GalleryPicture.h"
#include "GalleryPlan.h"

#include <QHash>
#include <QString>

#include <functional>

// Writes the pages of a plan (the folders' pages and the photo pages) and their stylesheet into
// the destination tree; the previews the plan lists are the resize's to write. A file is written
// only when its content changes, and then under a temporary name renamed over it (as copies
// are): an unchanged page keeps its bytes and its time, so a publish of only what changed
// leaves it out, and nobody ever reads half a page.
class GalleryWriter
{
public:
    // Asked before each image is measured and each file written: true stops the writing there.
    using Cancelled = std::function<bool()>;

    GalleryWriter(const GalleryPlan &plan, const QString &title);

    // What a page shows of an entry: the caption and the time taken read from its photo, the
    // sizes read from the headers of the copy, the thumbnail and the previews in the destination
    // tree (sides swapped where the file's EXIF orientation turns it, as browsers show it).
    static GalleryPicture measure(const QString &entry, const OutputLayout &layout);

    // Writes the plan's pages in the order they are sent and returns how many were written anew
    // (the rest were already as they should be). A file that cannot be written raises its file error.
    int write(const Cancelled &cancelled = {});

private:
    bool writeIfChanged(const QString &file, const QByteArray &content) const;

    GalleryPlan m_plan;
    QString m_title;
};
