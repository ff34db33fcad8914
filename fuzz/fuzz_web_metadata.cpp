// The metadata of a photo is whatever its file says: EXIF, IPTC and XMP blocks are read from
// any image below the picked root when web copies keep only their author and caption fields,
// and gallery pages read a caption from the whole file.
#include "ExifBlock.h"
#include "FuzzSupport.h"
#include "IptcBlock.h"
#include "PhotoCaption.h"
#include "PhotoMetadata.h"
#include "XmpPacket.h"

#include <QBuffer>
#include <QByteArrayView>

#include <cstddef>
#include <cstdint>

namespace {

// What is kept reads back as it was from the block written for it, and nothing more.
void exif(QByteArrayView bytes)
{
    const std::optional<ExifBlock::Fields> fields = ExifBlock::read(bytes);
    if (!fields)
        return;
    ExifBlock::Fields kept = *fields;
    kept.more = false;
    const QByteArray written = ExifBlock::write(kept);
    const std::optional<ExifBlock::Fields> again = ExifBlock::read(written);
    if (written.isEmpty())
        FUZZ_CHECK(kept == ExifBlock::Fields());
    else
        FUZZ_CHECK(again && *again == kept);
}

void iptc(QByteArrayView bytes)
{
    const std::optional<IptcBlock::Fields> fields = IptcBlock::read(bytes);
    if (!fields)
        return;
    const QByteArray written = IptcBlock::write(*fields);
    if (written.isEmpty())
        return;
    const std::optional<IptcBlock::Fields> again = IptcBlock::read(written);
    FUZZ_CHECK(again && again->kept == fields->kept && !again->more);
}

void xmp(QByteArrayView bytes)
{
    const std::optional<XmpPacket::Fields> fields = XmpPacket::read(bytes);
    if (!fields)
        return;
    XmpPacket::Fields kept = *fields;
    kept.more = false;
    const QByteArray written = XmpPacket::write(kept);
    if (written.isEmpty())
        return;
    const std::optional<XmpPacket::Fields> again = XmpPacket::read(written);
    FUZZ_CHECK_DETAIL(again && *again == kept, QString::fromUtf8(written));
}

void jpeg(QByteArrayView bytes)
{
    const QByteArrayView block = ExifBlock::inJpeg(bytes);
    FUZZ_CHECK(block.isEmpty() ||
               (block.data() >= bytes.data() && block.data() + block.size() <= bytes.data() + bytes.size()));
    const int orientation = ExifBlock::jpegOrientation(bytes);
    FUZZ_CHECK(orientation >= 0 && orientation <= 8);
}

// A JPEG's or PNG's caption, whatever the file holds, is one clean line of valid text and never
// a camera's boilerplate; the blocks and texts found on the way stay within their caps.
void caption(QByteArrayView bytes)
{
    QBuffer file;
    file.setData(bytes.toByteArray());
    file.open(QIODevice::ReadOnly);
    const QString text = PhotoCaption::read(file);
    FUZZ_CHECK(text.size() <= PhotoCaption::MaxLength);
    FUZZ_CHECK_DETAIL(PhotoCaption::oneLine(text) == text, codes(text));
    FUZZ_CHECK_DETAIL(QString::fromUtf8(text.toUtf8()) == text, codes(text));
    FUZZ_CHECK_DETAIL(text.isEmpty() || !PhotoCaption::isBoilerplate(text), codes(text));

    const PhotoMetadata found = PhotoMetadata::read(bytes.toByteArray());
    constexpr qsizetype Cap = 1 << 20;
    qsizetype texts = 0;
    for (const PhotoMetadata::Text &each : found.texts)
        texts += each.text.size();
    FUZZ_CHECK(found.exif.size() <= Cap && found.iptc.size() <= Cap && found.xmp.size() <= Cap &&
               texts <= Cap);
}

} // namespace

// The first byte picks the reader; the rest is its input.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const QByteArrayView bytes(reinterpret_cast<const char *>(data) + 1, static_cast<qsizetype>(size - 1));
    switch (data[0] % 5) {
    case 0:
        exif(bytes);
        break;
    case 1:
        iptc(bytes);
        break;
    case 2:
        xmp(bytes);
        break;
    case 3:
        jpeg(bytes);
        break;
    default:
        caption(bytes);
        break;
    }
    return 0;
}
