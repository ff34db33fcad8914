// Image headers come from any file below the picked root, named like an image or not.
#include "FuzzSupport.h"
#include "ImageHeader.h"
#include "RunTimeError.h"

#include <QByteArrayView>
#include <QDir>

#include <cstddef>
#include <cstdint>
#include <optional>

namespace {

struct Reading
{
    bool overflow = false;
    int32_t format = 0;
    int32_t width = 0;
    int32_t height = 0;
    int32_t bitsPerPixel = 0;

    bool operator==(const Reading &) const = default;
};

QString describe(const Reading &r)
{
    return QStringLiteral("overflow %1 format %2 %3x%4 %5 bpp")
        .arg(r.overflow)
        .arg(r.format)
        .arg(r.width)
        .arg(r.height)
        .arg(r.bitsPerPixel);
}

// Overflow is the one error parse has; anything else escapes and fails the run.
Reading parsed(ImageHeader &header, QByteArrayView bytes)
{
    Reading r;
    try {
        header.parse(bytes);
    } catch (const RunTimeError &error) {
        FUZZ_CHECK_DETAIL(error.number() == RunTimeError::Overflow, error.description());
        r.overflow = true;
        return r;
    }
    r.format = header.ImageFormat();
    r.width = header.width();
    r.height = header.height();
    r.bitsPerPixel = header.bitsPerPixel();
    return r;
}

void checkPlausible(const Reading &r)
{
    if (r.overflow)
        return;
    FUZZ_CHECK_DETAIL(r.format >= ImageHeader::Unknown && r.format <= ImageHeader::Bmp, describe(r));
    // Every size is a 16-bit field of the header.
    FUZZ_CHECK_DETAIL(r.width >= 0 && r.width <= 65535 && r.height >= 0 && r.height <= 65535, describe(r));
    if (r.format == ImageHeader::Unknown)
        FUZZ_CHECK_DETAIL(r.width == 0 && r.height == 0 && r.bitsPerPixel == 0, describe(r));
    if (r.format == ImageHeader::Gif)
        FUZZ_CHECK_DETAIL(r.bitsPerPixel >= 1 && r.bitsPerPixel <= 8, describe(r));
    if (r.format == ImageHeader::Jpeg)
        FUZZ_CHECK_DETAIL(r.bitsPerPixel % 8 == 0, describe(r));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));

    ImageHeader header;
    const Reading first = parsed(header, bytes);
    checkPlausible(first);

    // Bytes past BufferSize are never looked at, and a short file reads as if padded with zeros.
    // The object has parsed something else first: nothing of an earlier parse may survive.
    // (Every parse of an unknown head walks the whole buffer, so each one here costs.)
    ImageHeader other;
    static const QByteArray gif = QByteArrayLiteral("GIF89a\x10\x00\x20\x00\x07");
    FUZZ_CHECK(parsed(other, gif).format == ImageHeader::Gif);
    if (bytes.size() > ImageHeader::BufferSize) {
        FUZZ_CHECK(parsed(other, QByteArrayView(bytes).first(ImageHeader::BufferSize)) == first);
    } else {
        QByteArray padded = bytes;
        padded.append(ImageHeader::BufferSize - bytes.size() + 16, '\0');
        FUZZ_CHECK(parsed(other, padded) == first);
    }

    // The file reading takes the same bytes.
    static const QString path = QDir(fuzzFolder()).filePath(QStringLiteral("image.jpg"));
    writeWholeFile(path, bytes);
    Reading fromFile;
    try {
        header.ReadImageHeader(path);
        fromFile.format = header.ImageFormat();
        fromFile.width = header.width();
        fromFile.height = header.height();
        fromFile.bitsPerPixel = header.bitsPerPixel();
    } catch (const RunTimeError &error) {
        FUZZ_CHECK_DETAIL(error.number() == RunTimeError::Overflow, error.description());
        fromFile.overflow = true;
    }
    FUZZ_CHECK_DETAIL(fromFile == first, describe(fromFile) + QStringLiteral(" against ") + describe(first));
    return 0;
}
