#include "DimensionLine.h"

#include <cmath>

using namespace Qt::Literals::StringLiterals;

QString DimensionLine(int32_t height, int32_t width, int32_t bitsPerPixel, double bytes)
{
    // std::nearbyint rounds in the default mode, to nearest with halves to even.
    const double kilobytes = std::nearbyint(bytes / 1024.0);
    return u"%1x%2x%3  %4K"_s.arg(height).arg(width).arg(bitsPerPixel).arg(kilobytes, 0, 'f', 0);
}
