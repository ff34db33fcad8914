#pragma once

#include "GalleryOptions.h"
#include "GalleryPlan.h"

#include <QStringList>

// The plan of a destination tree's pages completed from its files: when each picture was taken
// (for the Taken order) and which pictures have both previews beside their copies. The resize
// that writes the pages and the upload that sends them both build their plan here, so they
// agree.
class GallerySurvey
{
public:
    static GalleryPlan plan(const OutputLayout &layout, const GalleryOptions &options,
                            const QStringList &entries);
};
