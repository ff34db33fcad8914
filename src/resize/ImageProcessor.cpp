#include "ImageProcessor.h"

#include "MagickImageProcessor.h"

namespace {
ImageProcessor *s_replacement = nullptr;
}

void ImageProcessor::prepare(const QString &, const QList<Conversion> &) {}

void ImageProcessor::discardPrepared() {}

ImageProcessor &ImageProcessor::instance()
{
    static MagickImageProcessor real;
    return s_replacement ? *s_replacement : real;
}

void ImageProcessor::setInstance(ImageProcessor *processor)
{
    s_replacement = processor;
}
