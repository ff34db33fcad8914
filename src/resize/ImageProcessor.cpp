#include "ImageProcessor.h"

#include "MagickImageProcessor.h"

#include <QThread>

#include <algorithm>
#include <unistd.h>

namespace {
ImageProcessor *s_replacement = nullptr;
}

bool ImageProcessor::convertForWeb(const QString &option, const QString &source, const QString &target,
                                   const WebCopyOptions &)
{
    return convert(option, source, target);
}

ImageProcessor::CopyResult ImageProcessor::copyForWeb(const QString &, const QString &,
                                                      const WebCopyOptions &)
{
    return CopyResult::Unchanged;
}

void ImageProcessor::prepare(const QString &, const QList<Conversion> &) {}

void ImageProcessor::prepareForWeb(const QString &source, const QList<Conversion> &conversions,
                                   const WebCopyOptions &)
{
    prepare(source, conversions);
}

void ImageProcessor::discardPrepared() {}

ImageProcessor::Capacity ImageProcessor::capacity() const
{
    // One image per core; a quarter of the machine's memory leaves room for everything else.
    const qint64 physical = qint64(::sysconf(_SC_PHYS_PAGES)) * ::sysconf(_SC_PAGESIZE);
    return {std::max(2, QThread::idealThreadCount()), physical / 4};
}

qint64 ImageProcessor::memoryFor(int width, int height) const
{
    // Four channels of 16 bits a pixel, as the processor holds a decoded image.
    return qint64(width) * height * 8;
}

ImageProcessor &ImageProcessor::instance()
{
    static MagickImageProcessor real;
    return s_replacement ? *s_replacement : real;
}

void ImageProcessor::setInstance(ImageProcessor *processor)
{
    s_replacement = processor;
}
