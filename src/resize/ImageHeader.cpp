#include "ImageHeader.h"

#include "FileSystem.h"
#include "RunTimeError.h"

#include <QFileInfo>

#include <algorithm>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace {

// The JPEG walk stops before this index, so a frame header read at a marker found below it
// ends at index 65,533 at the latest, inside the buffer.
constexpr int32_t JpegScanEnd = 65525;

uint8_t toDepth(int32_t bits)
{
    if (bits > 255)
        throw RunTimeError(RunTimeError::Overflow);
    return static_cast<uint8_t>(bits);
}

bool isStartOfFrame(uint8_t code)
{
    return (code >= 0xC0 && code <= 0xC3) || (code >= 0xC5 && code <= 0xC7) ||
           (code >= 0xC9 && code <= 0xCB) || (code >= 0xCD && code <= 0xCF);
}

} // namespace

int32_t ImageHeader::BytesToWord(uint8_t high, uint8_t low)
{
    return high * 256 + low;
}

void ImageHeader::ReadImageSize(const QString &path, int32_t &height, int32_t &width, int32_t &bitsPerPixel)
{
    ImageHeader header;
    header.ReadImageHeader(path);
    height = header.height();
    width = header.width();
    bitsPerPixel = header.bitsPerPixel();
}

void ImageHeader::ReadImageHeader(const QString &path)
{
    m_width = 0;
    m_height = 0;
    m_bitsPerPixel = 0;
    m_format = Unknown;
    // A pipe or device named like an image would block or never end; only plain files are read.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        throw RunTimeError(RunTimeError::PathFileAccessError,
                           RunTimeError::standardDescription(RunTimeError::PathFileAccessError) + u": "_s +
                               path);
    parse(FileSystem::ReadFileHead(path, BufferSize));
}

void ImageHeader::parse(QByteArrayView head)
{
    m_width = 0;
    m_height = 0;
    m_bitsPerPixel = 0;
    m_format = Unknown;

    std::vector<uint8_t> b(BufferSize, 0);
    std::copy_n(reinterpret_cast<const uint8_t *>(head.data()), std::min(head.size(), BufferSize), b.begin());

    if (b[0] == 0x89 && b[1] == 0x50 && b[2] == 0x4E) {
        m_format = Png;
        const int32_t depth = b[24];
        switch (b[25]) {
        case 0:
            m_bitsPerPixel = toDepth(depth);
            break;
        case 2:
            m_bitsPerPixel = toDepth(depth * 3);
            break;
        case 3:
            m_bitsPerPixel = 8;
            break;
        case 4:
            m_bitsPerPixel = toDepth(depth * 2);
            break;
        case 6:
            m_bitsPerPixel = toDepth(depth * 4);
            break;
        default:
            m_format = Unknown;
            break;
        }
        if (m_format == Png) {
            m_width = BytesToWord(b[18], b[19]);
            m_height = BytesToWord(b[22], b[23]);
        }
    }
    if (b[0] == 0x47 && b[1] == 0x49 && b[2] == 0x46) {
        m_format = Gif;
        m_width = BytesToWord(b[7], b[6]);
        m_height = BytesToWord(b[9], b[8]);
        m_bitsPerPixel = static_cast<uint8_t>((b[10] & 7) + 1);
    }
    if (b[0] == 0x42 && b[1] == 0x4D) {
        m_format = Bmp;
        m_width = BytesToWord(b[19], b[18]);
        m_height = BytesToWord(b[23], b[22]);
        m_bitsPerPixel = b[28];
    }
    if (m_format != Unknown)
        return;

    int32_t i = 0;
    while (!(b[i] == 0xFF && b[i + 1] == 0xD8 && b[i + 2] == 0xFF) && i < JpegScanEnd)
        ++i;
    int32_t j = i + 2;
    if (j >= JpegScanEnd)
        return;
    for (;;) {
        if (b[j] != 0xFF || b[j + 1] == 0xFF) {
            if (++j >= JpegScanEnd)
                return;
            continue;
        }
        const int32_t m = j + 1;
        if (isStartOfFrame(b[m])) {
            // Depth first: an overflow leaves no half-set results behind.
            const uint8_t depth = toDepth(b[m + 8] * 8);
            m_format = Jpeg;
            m_height = BytesToWord(b[m + 4], b[m + 5]);
            m_width = BytesToWord(b[m + 6], b[m + 7]);
            m_bitsPerPixel = depth;
            return;
        }
        j = m + BytesToWord(b[m + 1], b[m + 2]);
        if (j >= JpegScanEnd)
            return;
    }
}
