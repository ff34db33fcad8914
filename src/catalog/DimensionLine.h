#pragma once

#include <QString>

#include <cstdint>

// The preview's dimension line: height x width x bits, two spaces, and the size in kilobytes
// rounded half to even, as in "480x640x24  57K".
QString DimensionLine(int32_t height, int32_t width, int32_t bitsPerPixel, double bytes);
