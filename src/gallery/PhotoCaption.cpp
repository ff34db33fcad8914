#include "PhotoCaption.h"

#include "ExifBlock.h"
#include "IptcBlock.h"
#include "PhotoMetadata.h"
#include "XmpPacket.h"

#include <QFile>
#include <QIODevice>
#include <QRegularExpression>
#include <QStringDecoder>

using namespace Qt::Literals::StringLiterals;

namespace {

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
    const PhotoMetadata blocks = PhotoMetadata::read(file);

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
