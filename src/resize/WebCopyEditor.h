#pragma once

#include <QByteArray>
#include <QList>

#include <utility>

namespace Magick {
class Image;
}
struct PhotoMetadata;

// The changes the web options make to a decoded image, one frame at a time: its metadata cut
// down to what may be published, its pixels turned upright, its colours brought to sRGB.
class WebCopyEditor
{
public:
    // What is published of an image's metadata, as fresh blocks (empty: none of that kind).
    struct KeptMetadata
    {
        QByteArray exif;
        QByteArray iptc;
        QByteArray xmp;
        // Texts that name the author or describe the picture (a PNG's text chunks, a comment),
        // by name, in the bytes they are written in.
        QList<std::pair<QByteArray, QByteArray>> texts;
        // The image carries something beyond these: a position, a camera's details, a preview,
        // a block that cannot be read.
        bool removes = false;
    };

    // Reads what is kept of the image's metadata, and of the blocks its file holds that
    // ImageMagick does not read. Upright: the orientation is written as 1.
    static KeptMetadata keptMetadata(const Magick::Image &image, const PhotoMetadata &file, bool upright);
    // Drops every profile but the colour profile and every text, then puts back what is kept.
    static void replaceMetadata(Magick::Image &image, const KeptMetadata &kept);

    // Whether an orientation (1 to 8) turns the picture on its side, swapping width and height.
    static bool swapsSides(int orientation);
    // Turns the pixels as the orientation says and marks the image upright.
    static void turnUpright(Magick::Image &image, int orientation);

    // Converts the pixels of an image whose colour profile is not sRGB to sRGB, and gives it
    // a compact sRGB profile, written in colour even where every pixel is grey; an image without
    // a profile, or with an sRGB one, stays.
    static void convertToSrgb(Magick::Image &image);
    // Whether a colour profile renders colours as sRGB does.
    static bool isSrgb(const QByteArray &icc);
    // The compact sRGB profile converted images carry.
    static const QByteArray &srgbProfile();
};
