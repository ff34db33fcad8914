#include "ExifBlock.h"

#include "JpegSegments.h"

#include <QBuffer>
#include <QList>

#include <algorithm>
#include <cstdint>

namespace {

const QByteArrayView Header("Exif\0\0", 6);

enum Tag : uint16_t
{
    ImageDescription = 0x010E,
    Orientation = 0x0112,
    XResolution = 0x011A,
    YResolution = 0x011B,
    ResolutionUnit = 0x0128,
    Artist = 0x013B,
    YCbCrPositioning = 0x0213,
    Copyright = 0x8298,
    ExifIfd = 0x8769,
    DateTimeOriginal = 0x9003,
};

enum Type : uint16_t
{
    Ascii = 2,
    Short = 3,
    Long = 4,
};

// Reads integers of either byte order, and nothing past the end.
class Reader
{
public:
    Reader(QByteArrayView bytes, bool bigEndian) : m_bytes(bytes), m_big(bigEndian) {}

    bool has(qint64 offset, qint64 length) const
    {
        return offset >= 0 && length >= 0 && offset <= m_bytes.size() && length <= m_bytes.size() - offset;
    }
    uint16_t u16(qint64 at) const
    {
        const auto b0 = uint8_t(m_bytes[at]), b1 = uint8_t(m_bytes[at + 1]);
        return m_big ? uint16_t(b0 << 8 | b1) : uint16_t(b1 << 8 | b0);
    }
    uint32_t u32(qint64 at) const
    {
        const uint32_t high = u16(at), low = u16(at + 2);
        return m_big ? (high << 16 | low) : (low << 16 | high);
    }
    QByteArrayView slice(qint64 at, qint64 length) const { return m_bytes.sliced(at, length); }

private:
    QByteArrayView m_bytes;
    bool m_big;
};

// The text of an ASCII entry without its trailing NULs; nothing when it lies outside the block.
std::optional<QByteArray> asciiValue(const Reader &in, qint64 entry)
{
    const qint64 length = in.u32(entry + 4);
    const qint64 at = length <= 4 ? entry + 8 : in.u32(entry + 8);
    if (!in.has(at, length))
        return std::nullopt;
    QByteArray text = in.slice(at, length).toByteArray();
    while (text.endsWith('\0'))
        text.chop(1);
    return text;
}

// DateTimeOriginal in the Exif sub-directory at this offset; empty when it is not there whole.
QByteArray dateTakenAt(const Reader &in, qint64 ifd)
{
    if (!in.has(ifd, 2))
        return {};
    const int count = in.u16(ifd);
    if (!in.has(ifd + 2, qint64(count) * 12))
        return {};
    for (int i = 0; i < count; ++i) {
        const qint64 entry = ifd + 2 + qint64(i) * 12;
        if (in.u16(entry) == DateTimeOriginal && in.u16(entry + 2) == Ascii)
            return asciiValue(in, entry).value_or(QByteArray());
    }
    return {};
}

void putU16(QByteArray &out, uint16_t value)
{
    out.append(char(value >> 8)).append(char(value & 0xFF));
}

void putU32(QByteArray &out, uint32_t value)
{
    putU16(out, uint16_t(value >> 16));
    putU16(out, uint16_t(value & 0xFFFF));
}

} // namespace

std::optional<ExifBlock::Fields> ExifBlock::read(QByteArrayView block)
{
    if (block.startsWith(Header))
        block = block.sliced(Header.size());
    if (block.size() < 8)
        return std::nullopt;
    const bool big = block.startsWith("MM");
    if (!big && !block.startsWith("II"))
        return std::nullopt;
    const Reader in(block, big);
    if (in.u16(2) != 42)
        return std::nullopt;
    const qint64 ifd = in.u32(4);
    if (!in.has(ifd, 2))
        return std::nullopt;
    const int count = in.u16(ifd);
    if (!in.has(ifd + 2, qint64(count) * 12 + 4))
        return std::nullopt;

    Fields fields;
    for (int i = 0; i < count; ++i) {
        const qint64 entry = ifd + 2 + qint64(i) * 12;
        const uint16_t tag = in.u16(entry);
        const uint16_t type = in.u16(entry + 2);
        const qint64 length = in.u32(entry + 4);
        switch (tag) {
        case Orientation:
            if (type == Short && length >= 1 && in.u16(entry + 8) >= 1 && in.u16(entry + 8) <= 8)
                fields.orientation = in.u16(entry + 8);
            break;
        case ImageDescription:
        case Artist:
        case Copyright: {
            if (type != Ascii) {
                fields.more = true;
                break;
            }
            const std::optional<QByteArray> text = asciiValue(in, entry);
            if (!text)
                return std::nullopt;
            (tag == Artist      ? fields.artist
             : tag == Copyright ? fields.copyright
                                : fields.description) = *text;
            break;
        }
        case ExifIfd:
            // A camera's details: more than a web copy keeps, but it holds the time taken.
            fields.more = true;
            if (type == Long && length == 1)
                fields.dateTaken = dateTakenAt(in, in.u32(entry + 8));
            break;
        case XResolution:
        case YResolution:
        case ResolutionUnit:
        case YCbCrPositioning:
            break;
        default:
            fields.more = true;
        }
    }
    // A second directory holds the embedded preview.
    if (in.u32(ifd + 2 + qint64(count) * 12) != 0)
        fields.more = true;
    return fields;
}

QByteArray ExifBlock::write(const Fields &fields)
{
    struct Entry
    {
        uint16_t tag;
        QByteArray text;
    };
    QList<Entry> entries;
    if (!fields.description.isEmpty())
        entries.append({ImageDescription, fields.description});
    if (fields.orientation >= 1 && fields.orientation <= 8)
        entries.append({Orientation, QByteArray()});
    if (!fields.artist.isEmpty())
        entries.append({Artist, fields.artist});
    if (!fields.copyright.isEmpty())
        entries.append({Copyright, fields.copyright});
    if (entries.isEmpty())
        return QByteArray();

    // Big-endian TIFF: header, one directory, then the texts that do not fit in an entry.
    QByteArray tiff("MM\0\x2A", 4);
    putU32(tiff, 8);
    putU16(tiff, uint16_t(entries.size()));
    uint32_t dataAt = uint32_t(8 + 2 + entries.size() * 12 + 4);
    QByteArray data;
    for (const Entry &entry : std::as_const(entries)) {
        putU16(tiff, entry.tag);
        if (entry.tag == Orientation) {
            putU16(tiff, Short);
            putU32(tiff, 1);
            putU16(tiff, uint16_t(fields.orientation));
            putU16(tiff, 0);
            continue;
        }
        const QByteArray text = entry.text + '\0';
        putU16(tiff, Ascii);
        putU32(tiff, uint32_t(text.size()));
        if (text.size() <= 4) {
            tiff.append(text.leftJustified(4, '\0'));
        } else {
            putU32(tiff, dataAt + uint32_t(data.size()));
            data.append(text);
            // Values start on a word boundary.
            if (data.size() % 2)
                data.append('\0');
        }
    }
    putU32(tiff, 0);
    return Header.toByteArray() + tiff + data;
}

QByteArrayView ExifBlock::inJpeg(QByteArrayView head)
{
    if (!head.startsWith("\xFF\xD8"))
        return {};
    QBuffer file;
    file.setData(QByteArray::fromRawData(head.data(), head.size()));
    file.open(QIODevice::ReadOnly);
    file.seek(2);
    // EXIF belongs in an APP1 segment near the start.
    JpegSegments segments(file);
    while (const std::optional<JpegSegments::Segment> segment = segments.next()) {
        if (segment->at + segment->length > head.size())
            break;
        const QByteArrayView payload = head.sliced(segment->at, segment->length);
        if (segment->marker == 0xE1 && payload.startsWith(Header))
            return payload;
    }
    return {};
}

int ExifBlock::jpegOrientation(QByteArrayView head)
{
    const QByteArrayView block = inJpeg(head);
    if (block.isEmpty())
        return 0;
    const std::optional<Fields> fields = read(block);
    return fields ? fields->orientation : 0;
}
