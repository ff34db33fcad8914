#pragma once

#include <QString>

// What a folder scan needs from the window it fills: the yield with its cancel check, the
// file size, and somewhere to put what it finds.
class ScanHost
{
public:
    virtual ~ScanHost() = default;

    // Lets the event loop run, then tells whether Cancel has been requested.
    virtual bool yieldCancelled() = 0;
    // Stops the scan at the next check, as Cancel would (the image limit).
    virtual void requestCancel() = 0;
    // The size in bytes of the file a link leads to; a size that cannot be read is reported and
    // counts as 0.
    virtual double fileSize(const QString &path) = 0;
    // An image file to list, in walk order.
    virtual void addImage(const QString &path) = 0;
    // A sub-folder whose walk is over (post-order), without a trailing separator.
    virtual void addFolder(const QString &path) = 0;
    // The counters after each file.
    virtual void showProgress(double imagesFound, double filesScanned) = 0;
};
