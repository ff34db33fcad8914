#pragma once

#include <QByteArrayView>
#include <QString>

#include <cstdint>

// Tells an image's width, height and colour depth from the first bytes of its file, without
// decoding it. Knows PNG, GIF, BMP and JPEG; anything else reads as zeros.
class ImageHeader
{
public:
    enum Format : int32_t
    {
        Unknown = 0,
        Gif = 1,
        Jpeg = 2,
        Png = 3,
        Bmp = 4
    };

    // The most that is read of a file, and the size of the buffer its bytes are parsed in.
    static constexpr qsizetype BufferSize = 65536;

    // high * 256 + low.
    static int32_t BytesToWord(uint8_t high, uint8_t low);

    // Reads the header of path and returns height, width and bits per pixel, in that order.
    // A file that cannot be read raises its file error; a depth above 255 raises overflow.
    static void ReadImageSize(const QString &path, int32_t &height, int32_t &width, int32_t &bitsPerPixel);

    // Reads at most BufferSize bytes of path and parses them. Never creates a file.
    void ReadImageHeader(const QString &path);
    // Parses bytes already read; only the first BufferSize of them are looked at.
    void parse(QByteArrayView head);

    int32_t width() const { return m_width; }
    int32_t height() const { return m_height; }
    uint8_t bitsPerPixel() const { return m_bitsPerPixel; }
    int32_t ImageFormat() const { return m_format; }

private:
    int32_t m_width = 0;
    int32_t m_height = 0;
    uint8_t m_bitsPerPixel = 0;
    int32_t m_format = Unknown;
};
