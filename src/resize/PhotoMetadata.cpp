#include "PhotoMetadata.h"

#include "BigEndian.h"
#include "JpegSegments.h"

#include <QBuffer>
#include <QIODevice>

#include <zlib.h>

namespace {

// A PNG's chunks are walked to the end, so these only bound what a hostile file can make the
// reader do.
constexpr int MaxChunks = 65536;
constexpr qint64 MaxBlock = 1 << 20;

const QByteArray ExifHeader("Exif\0\0", 6);
const QByteArray XmpHeader("http://ns.adobe.com/xap/1.0/\0", 29);
const QByteArray PhotoshopHeader("Photoshop 3.0\0", 14);

// Text chunks are kept whole up to this much in all.
constexpr qsizetype MaxTexts = 1 << 20;

void keep(PhotoMetadata &blocks, QByteArray &slot, const QByteArray &block)
{
    // The first block of a kind is the one readers use.
    if (block.isEmpty())
        return;
    if (slot.isEmpty())
        slot = block;
    else
        blocks.repeated = true;
}

// An APP1 payload, or a raw profile holding one: EXIF with its header, or an XMP packet.
void app1(PhotoMetadata &blocks, const QByteArray &payload)
{
    if (payload.startsWith(ExifHeader))
        keep(blocks, blocks.exif, payload);
    else if (payload.startsWith(XmpHeader))
        keep(blocks, blocks.xmp, payload.mid(XmpHeader.size()));
}

bool skip(QIODevice &file, qint64 bytes)
{
    return bytes <= file.size() - file.pos() && file.seek(file.pos() + bytes);
}

void readJpeg(QIODevice &file, PhotoMetadata &blocks)
{
    JpegSegments segments(file);
    while (const std::optional<JpegSegments::Segment> segment = segments.next()) {
        if (segment->marker != 0xE1 && segment->marker != 0xED)
            continue;
        const QByteArray payload = segments.payload();
        if (payload.size() < segment->length)
            return;
        if (segment->marker == 0xE1)
            app1(blocks, payload);
        else if (payload.startsWith(PhotoshopHeader))
            keep(blocks, blocks.iptc, payload.mid(PhotoshopHeader.size()));
    }
}

// zlib data, inflated to at most MaxBlock bytes; empty when it is not zlib data.
QByteArray inflated(QByteArrayView compressed)
{
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK)
        return {};
    QByteArray out(MaxBlock, Qt::Uninitialized);
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(compressed.data()));
    stream.avail_in = static_cast<uInt>(compressed.size());
    stream.next_out = reinterpret_cast<Bytef *>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int result = inflate(&stream, Z_FINISH);
    const qsizetype produced = out.size() - stream.avail_out;
    inflateEnd(&stream);
    if (result != Z_STREAM_END && result != Z_BUF_ERROR)
        return {};
    out.truncate(produced);
    return out;
}

// ImageMagick's text form of a profile: a line with its name, a line with its length, then
// that many bytes in hexadecimal.
QByteArray rawProfile(const QByteArray &text)
{
    const QByteArray trimmed = text.trimmed();
    const qsizetype nameEnd = trimmed.indexOf('\n');
    if (nameEnd < 0)
        return {};
    const QByteArray rest = trimmed.mid(nameEnd + 1).trimmed();
    const qsizetype lengthEnd = rest.indexOf('\n');
    if (lengthEnd < 0)
        return {};
    bool ok = false;
    const qint64 length = rest.left(lengthEnd).trimmed().toLongLong(&ok);
    if (!ok || length <= 0 || length > MaxBlock)
        return {};
    const QByteArray bytes = QByteArray::fromHex(rest.mid(lengthEnd + 1));
    return bytes.size() < length ? QByteArray() : bytes.left(length);
}

void pngText(PhotoMetadata &blocks, const QByteArray &type, const QByteArray &data, qsizetype &textRoom)
{
    const qsizetype keywordEnd = data.indexOf('\0');
    if (keywordEnd < 0)
        return;
    const QByteArray keyword = data.left(keywordEnd);
    QByteArray text;
    if (type == "tEXt") {
        text = data.mid(keywordEnd + 1);
    } else if (type == "zTXt") {
        text = inflated(QByteArrayView(data).sliced(std::min(keywordEnd + 2, data.size())));
    } else {
        // iTXt: a compression flag and method, a language and a translated keyword, then the text.
        if (data.size() < keywordEnd + 3)
            return;
        const bool compressed = data[keywordEnd + 1] != '\0';
        const qsizetype languageEnd = data.indexOf('\0', keywordEnd + 3);
        const qsizetype translatedEnd = languageEnd < 0 ? -1 : data.indexOf('\0', languageEnd + 1);
        if (translatedEnd < 0)
            return;
        const QByteArrayView rest = QByteArrayView(data).sliced(translatedEnd + 1);
        text = compressed ? inflated(rest) : rest.toByteArray();
    }
    if (keyword == "XML:com.adobe.xmp") {
        keep(blocks, blocks.xmp, text);
        return;
    }
    if (!keyword.startsWith("Raw profile type ")) {
        if (text.size() > textRoom)
            text.clear();
        textRoom -= text.size();
        blocks.texts.append({keyword, type == "iTXt" ? QString::fromUtf8(text) : QString::fromLatin1(text)});
        return;
    }
    const QByteArray kind = keyword.mid(17).toLower();
    const QByteArray profile = rawProfile(text);
    if (kind == "exif" || kind == "app1") {
        // Written with its APP1 header, or as the TIFF structure alone.
        if (kind == "exif" && !profile.startsWith(ExifHeader) && !profile.startsWith(XmpHeader))
            keep(blocks, blocks.exif, profile);
        else
            app1(blocks, profile);
    } else if (kind == "iptc" || kind == "8bim") {
        keep(blocks, blocks.iptc, profile);
    } else if (kind == "xmp") {
        keep(blocks, blocks.xmp, profile);
    }
}

void readPng(QIODevice &file, PhotoMetadata &blocks)
{
    if (file.read(7) != QByteArray("PNG\r\n\x1A\n", 7))
        return;
    qsizetype textRoom = MaxTexts;
    for (int chunk = 0; chunk < MaxChunks; ++chunk) {
        const QByteArray header = file.read(8);
        if (header.size() < 8)
            return;
        const qint64 length = BigEndian::read(header, 0, 4);
        const QByteArray type = header.mid(4);
        if (type == "IEND" || length > 0x7FFFFFFF)
            return;
        const bool wanted = type == "eXIf" || type == "tEXt" || type == "zTXt" || type == "iTXt";
        if (wanted && length <= MaxBlock) {
            const QByteArray data = file.read(length);
            if (data.size() < length)
                return;
            if (type == "eXIf")
                keep(blocks, blocks.exif, data);
            else
                pngText(blocks, type, data, textRoom);
        } else if (!skip(file, length)) {
            return;
        }
        // The checksum.
        if (!skip(file, 4))
            return;
    }
}

} // namespace

PhotoMetadata PhotoMetadata::read(QIODevice &file)
{
    PhotoMetadata found;
    char first = 0;
    if (!file.getChar(&first))
        return found;
    char second = 0;
    if (uint8_t(first) == 0xFF && file.getChar(&second) && uint8_t(second) == 0xD8)
        readJpeg(file, found);
    else if (uint8_t(first) == 0x89)
        readPng(file, found);
    return found;
}

PhotoMetadata PhotoMetadata::read(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return read(buffer);
}
