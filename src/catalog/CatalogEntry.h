#pragma once

#include <QDateTime>
#include <QString>

// One image of a scan. The path is the scan's, as the list shows it; a tick means "just copy".
// The rest is what the album pages need of a picture: whoever learns it first fills it in, and
// it stays empty (or invalid) until then.
struct CatalogEntry
{
    QString path;
    bool ticked = false;

    // Where the resize writes the picture and its thumbnail (empty when it writes none).
    QString outputPath;
    QString thumbnailPath;
    // When the picture was taken, and its caption.
    QDateTime taken;
    QString caption;
};
