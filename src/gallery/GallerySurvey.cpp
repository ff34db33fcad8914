#include "GallerySurvey.h"

#include "FileSystem.h"
#include "PhotoTime.h"

#include <algorithm>

GalleryPlan GallerySurvey::plan(const OutputLayout &layout, const GalleryOptions &options,
                                const QStringList &entries)
{
    GalleryPlan plan(layout, options, entries);
    if (options.order == GalleryOptions::Order::Taken) {
        QHash<QString, QDateTime> taken;
        for (const QString &entry : entries)
            taken.insert(entry, PhotoTime::sortKey(entry));
        plan.orderByTime(taken);
    }
    QSet<QString> previewed;
    for (const QString &entry : entries) {
        const bool both =
            std::all_of(OutputLayout::PreviewWidths.cbegin(), OutputLayout::PreviewWidths.cend(),
                        [&](int width) { return FileSystem::FileExists(layout.previewPath(entry, width)); });
        if (both)
            previewed.insert(entry);
    }
    plan.setPreviewed(previewed);
    return plan;
}
