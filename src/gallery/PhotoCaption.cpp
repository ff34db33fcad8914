#include "PhotoCaption.h"

#include "ExifBlock.h"
#include "IptcBlock.h"
#include "XmpPacket.h"

#include <QFile>
#include <QIODevice>
#include <QRegularExpression>
#include <QStringDecoder>

#include <zlib.h>

using namespace Qt::Literals::StringLiterals;

namespace {

// A JPEG's metadata segments come before its first scan and a PNG's chunks are walked to the
// end, so these only bound what a hostile file can make the reader do.
constexpr int MaxSegments = 4096;
constexpr int MaxChunks = 65536;
constexpr qint64 MaxBlock = 1 << 20;

const QByteArray ExifHeader("Exif\0\0", 6);
const QByteArray XmpHeader("http://ns.adobe.com/xap/1.0/\0", 29);
const QByteArray PhotoshopHeader("Photoshop 3.0\0", 14);

struct Blocks
{
    QByteArray exif;
    QByteArray iptc;
    QByteArray xmp;
};

uint32_t bigEndian(const QByteArray &bytes, qsizetype at, int size)
{
    uint32_t value = 0;
    for (int i = 0; i < size; ++i)
        value = value << 8 | uint8_t(bytes[at + i]);
    return value;
}

void keep(QByteArray &slot, const QByteArray &block)
{
    // The first block of a kind is the one readers use.
    if (slot.isEmpty())
        slot = block;
}

// An APP1 payload, or a raw profile holding one: EXIF with its header, or an XMP packet.
void app1(Blocks &blocks, const QByteArray &payload)
{
    if (payload.startsWith(ExifHeader))
        keep(blocks.exif, payload);
    else if (payload.startsWith(XmpHeader))
        keep(blocks.xmp, payload.mid(XmpHeader.size()));
}

bool skip(QIODevice &file, qint64 bytes)
{
    return bytes <= file.size() - file.pos() && file.seek(file.pos() + bytes);
}

void readJpeg(QIODevice &file, Blocks &blocks)
{
    for (int segment = 0; segment < MaxSegments; ++segment) {
        char byte = 0;
        if (!file.getChar(&byte) || uint8_t(byte) != 0xFF)
            return;
        // A marker may be padded with fill bytes.
        int fill = 0;
        do {
            if (!file.getChar(&byte) || ++fill > 16)
                return;
        } while (uint8_t(byte) == 0xFF);
        const auto marker = uint8_t(byte);
        if (marker == 0xD9 || marker == 0xDA)
            return;
        if ((marker >= 0xD0 && marker <= 0xD7) || marker == 0x01)
            continue;
        const QByteArray size = file.read(2);
        if (size.size() < 2 || bigEndian(size, 0, 2) < 2)
            return;
        const qint64 length = bigEndian(size, 0, 2) - 2;
        if (marker != 0xE1 && marker != 0xED) {
            if (!skip(file, length))
                return;
            continue;
        }
        const QByteArray payload = file.read(length);
        if (payload.size() < length)
            return;
        if (marker == 0xE1)
            app1(blocks, payload);
        else if (payload.startsWith(PhotoshopHeader))
            keep(blocks.iptc, payload.mid(PhotoshopHeader.size()));
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

void pngText(Blocks &blocks, const QByteArray &type, const QByteArray &data)
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
        keep(blocks.xmp, text);
        return;
    }
    if (!keyword.startsWith("Raw profile type "))
        return;
    const QByteArray kind = keyword.mid(17).toLower();
    const QByteArray profile = rawProfile(text);
    if (kind == "exif" || kind == "app1") {
        // Written with its APP1 header, or as the TIFF structure alone.
        if (kind == "exif" && !profile.startsWith(ExifHeader) && !profile.startsWith(XmpHeader))
            keep(blocks.exif, profile);
        else
            app1(blocks, profile);
    } else if (kind == "iptc" || kind == "8bim") {
        keep(blocks.iptc, profile);
    } else if (kind == "xmp") {
        keep(blocks.xmp, profile);
    }
}

void readPng(QIODevice &file, Blocks &blocks)
{
    if (file.read(7) != QByteArray("PNG\r\n\x1A\n", 7))
        return;
    for (int chunk = 0; chunk < MaxChunks; ++chunk) {
        const QByteArray header = file.read(8);
        if (header.size() < 8)
            return;
        const qint64 length = bigEndian(header, 0, 4);
        const QByteArray type = header.mid(4);
        if (type == "IEND" || length > 0x7FFFFFFF)
            return;
        const bool wanted = type == "eXIf" || type == "tEXt" || type == "zTXt" || type == "iTXt";
        if (wanted && length <= MaxBlock) {
            const QByteArray data = file.read(length);
            if (data.size() < length)
                return;
            if (type == "eXIf")
                keep(blocks.exif, data);
            else
                pngText(blocks, type, data);
        } else if (!skip(file, length)) {
            return;
        }
        // The checksum.
        if (!skip(file, 4))
            return;
    }
}

// Text in an 8-bit field: UTF-8 when it reads as such, else Latin-1.
QString decoded(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    return utf8.hasError() ? QString::fromLatin1(bytes) : text;
}

QString iptcCaption(const IptcBlock::Fields &fields)
{
    bool utf8 = false;
    QByteArray caption;
    for (const IptcBlock::Dataset &dataset : fields.kept) {
        // 1:90 holds the escape sequence of the character set; ESC % G is UTF-8.
        if (dataset.record == 1 && dataset.number == 90)
            utf8 = dataset.value.contains("\x1B%G");
        else if (dataset.record == 2 && dataset.number == 120 && caption.isEmpty())
            caption = dataset.value;
    }
    return utf8 ? QString::fromUtf8(caption) : decoded(caption);
}

} // namespace

QString PhotoCaption::read(QIODevice &file)
{
    Blocks blocks;
    char first = 0;
    if (!file.getChar(&first))
        return {};
    char second = 0;
    if (uint8_t(first) == 0xFF && file.getChar(&second) && uint8_t(second) == 0xD8)
        readJpeg(file, blocks);
    else if (uint8_t(first) == 0x89)
        readPng(file, blocks);

    auto shown = [](const QString &text) {
        const QString line = oneLine(text);
        return isBoilerplate(line) ? QString() : line;
    };
    if (!blocks.exif.isEmpty()) {
        if (const std::optional<ExifBlock::Fields> exif = ExifBlock::read(blocks.exif)) {
            const QString caption = shown(decoded(exif->description));
            if (!caption.isEmpty())
                return caption;
        }
    }
    if (!blocks.iptc.isEmpty()) {
        if (const std::optional<IptcBlock::Fields> iptc = IptcBlock::read(blocks.iptc)) {
            const QString caption = shown(iptcCaption(*iptc));
            if (!caption.isEmpty())
                return caption;
        }
    }
    if (!blocks.xmp.isEmpty()) {
        if (const std::optional<XmpPacket::Fields> xmp = XmpPacket::read(blocks.xmp))
            return shown(xmp->description);
    }
    return {};
}

QString PhotoCaption::ofFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return read(file);
}

QString PhotoCaption::oneLine(const QString &text)
{
    QString line = text;
    for (QChar &c : line) {
        if (c.category() == QChar::Other_Control)
            c = u' ';
    }
    line = line.simplified();
    if (line.size() > MaxLength) {
        // Never half of a surrogate pair, nor a blank at the end.
        line.truncate(line[MaxLength - 1].isHighSurrogate() ? MaxLength - 1 : MaxLength);
        line = line.trimmed();
    }
    return line;
}

bool PhotoCaption::isBoilerplate(const QString &line)
{
    static const QStringList defaults{u"OLYMPUS DIGITAL CAMERA"_s,
                                      u"SANYO DIGITAL CAMERA"_s,
                                      u"MINOLTA DIGITAL CAMERA"_s,
                                      u"KONICA MINOLTA DIGITAL CAMERA"_s,
                                      u"SONY DSC"_s,
                                      u"DIGITAL CAMERA"_s,
                                      u"DCF 1.0"_s,
                                      u"Exif JPEG"_s};
    // Folders, then a file name with a picture's extension: "DCIM\100GOPRO\GOPR0482.JPG".
    static const QRegularExpression path(
        uR"(^(?:[a-z]:)?[\\/]?(?:[^\\/]+[\\/])+[^\\/]+\.(?:jpe?g|png|gif|bmp|tiff?|heic|heif|webp|dng|cr2|nef|arw|orf|rw2|raf)$)"_s,
        QRegularExpression::CaseInsensitiveOption);
    const QString text = line.simplified();
    return text.isEmpty() || defaults.contains(text, Qt::CaseInsensitive) || path.match(text).hasMatch();
}
