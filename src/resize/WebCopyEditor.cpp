#include "WebCopyEditor.h"

#include "ExifBlock.h"
#include "IptcBlock.h"
#include "PhotoMetadata.h"
#include "XmpPacket.h"

#include <Magick++.h>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <lcms2.h>
#include <memory>
#include <optional>

using namespace Qt::Literals::StringLiterals;

namespace {

QByteArray profileOf(const Magick::Image &image, const char *name)
{
    const MagickCore::StringInfo *profile = MagickCore::GetImageProfile(image.constImage(), name);
    if (!profile)
        return QByteArray();
    return QByteArray(reinterpret_cast<const char *>(MagickCore::GetStringInfoDatum(profile)),
                      qsizetype(MagickCore::GetStringInfoLength(profile)));
}

void setProfile(Magick::Image &image, const char *name, const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    MagickCore::StringInfo *profile = MagickCore::AcquireStringInfo(size_t(bytes.size()));
    MagickCore::SetStringInfoDatum(profile, reinterpret_cast<const unsigned char *>(bytes.constData()));
    MagickCore::SetImageProfile(image.image(), name, profile);
    MagickCore::DestroyStringInfo(profile);
}

bool isColourProfile(const QString &name)
{
    return name == u"icc"_s || name == u"icm"_s;
}

QStringList profileNames(const Magick::Image &image)
{
    QStringList names;
    MagickCore::ResetImageProfileIterator(image.constImage());
    while (const char *name = MagickCore::GetNextImageProfile(image.constImage()))
        names.append(QString::fromUtf8(name).toLower());
    return names;
}

QStringList propertyNames(const Magick::Image &image)
{
    QStringList names;
    MagickCore::ResetImagePropertyIterator(image.constImage());
    while (const char *name = MagickCore::GetNextImageProperty(image.constImage()))
        names.append(QString::fromUtf8(name));
    return names;
}

// The texts that name the author or describe the picture: PNG's keywords and ImageMagick's
// name for a JPEG's or GIF's comment.
bool isKeptText(const QByteArray &name)
{
    static const QList<QByteArray> kept{"title", "author", "artist", "copyright", "description", "comment"};
    return kept.contains(name.toLower());
}

// How the JPEG writer encodes the copy as the source was encoded; never written out.
const QStringList EncoderSettings{u"jpeg:colorspace"_s, u"jpeg:sampling-factor"_s};

// A tEXt chunk holds Latin-1; text that does not fit goes as UTF-8, as ImageMagick writes any.
QByteArray textBytes(const QString &text)
{
    const bool latin1 = std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 256; });
    return latin1 ? text.toLatin1() : text.toUtf8();
}

using Profile = std::unique_ptr<void, decltype(&cmsCloseProfile)>;

} // namespace

WebCopyEditor::KeptMetadata WebCopyEditor::keptMetadata(const Magick::Image &image, const PhotoMetadata &file,
                                                        bool upright)
{
    KeptMetadata kept;
    kept.removes = file.repeated;
    for (const QString &name : profileNames(image)) {
        if (!isColourProfile(name) && name != u"exif"_s && name != u"iptc"_s && name != u"8bim"_s &&
            name != u"xmp"_s)
            kept.removes = true;
    }
    // A PNG's texts come from the file, as ImageMagick reads no iTXt; other files have at most
    // a comment.
    for (const PhotoMetadata::Text &text : file.texts) {
        if (isKeptText(text.keyword) && !text.text.isEmpty())
            kept.texts.append({text.keyword, textBytes(text.text)});
        else
            kept.removes = true;
    }
    if (file.texts.isEmpty()) {
        if (const char *comment = MagickCore::GetImageProperty(image.constImage(), "comment"))
            kept.texts.append({"comment", QByteArray(comment)});
    }

    // ImageMagick's blocks first, then those it did not read: a PNG's eXIf and XMP chunks.
    auto either = [&](const char *name, const QByteArray &inFile) {
        const QByteArray profile = profileOf(image, name);
        return profile.isEmpty() ? inFile : profile;
    };
    const QByteArray exif = either("exif", file.exif);
    if (!exif.isEmpty()) {
        std::optional<ExifBlock::Fields> fields = ExifBlock::read(exif);
        if (fields) {
            if (upright && fields->orientation != 0)
                fields->orientation = 1;
            kept.exif = ExifBlock::write(*fields);
        }
        kept.removes = kept.removes || !fields || fields->more;
    }

    // The Photoshop block holds the IPTC data and maybe a preview; ImageMagick also gives the
    // IPTC data alone.
    const QByteArray photoshop = profileOf(image, "8bim");
    const QByteArray iptc = photoshop.isEmpty() ? either("iptc", file.iptc) : photoshop;
    if (!iptc.isEmpty()) {
        const std::optional<IptcBlock::Fields> fields = IptcBlock::read(iptc);
        if (fields)
            kept.iptc = IptcBlock::write(*fields);
        kept.removes = kept.removes || !fields || fields->more;
    }

    const QByteArray xmp = either("xmp", file.xmp);
    if (!xmp.isEmpty()) {
        const std::optional<XmpPacket::Fields> fields = XmpPacket::read(xmp);
        if (fields)
            kept.xmp = XmpPacket::write(*fields);
        kept.removes = kept.removes || !fields || fields->more;
    }
    return kept;
}

void WebCopyEditor::replaceMetadata(Magick::Image &image, const KeptMetadata &kept)
{
    image.modifyImage();
    for (const QString &name : profileNames(image)) {
        if (!isColourProfile(name))
            MagickCore::DeleteImageProfile(image.image(), name.toUtf8().constData());
    }
    // The PNG writer writes every property but its own notes as text, so none is left but
    // the encoder's settings.
    for (const QString &name : propertyNames(image)) {
        if (!EncoderSettings.contains(name))
            MagickCore::DeleteImageProperty(image.image(), name.toUtf8().constData());
    }
    for (const auto &[name, text] : kept.texts)
        MagickCore::SetImageProperty(image.image(), name.constData(), text.constData());
    setProfile(image, "exif", kept.exif);
    setProfile(image, "iptc", kept.iptc);
    setProfile(image, "xmp", kept.xmp);
}

bool WebCopyEditor::swapsSides(int orientation)
{
    return orientation >= 5 && orientation <= 8;
}

void WebCopyEditor::turnUpright(Magick::Image &image, int orientation)
{
    switch (orientation) {
    case 2:
        image.flop();
        break;
    case 3:
        image.rotate(180);
        break;
    case 4:
        image.flip();
        break;
    case 5:
        image.transpose();
        break;
    case 6:
        image.rotate(90);
        break;
    case 7:
        image.transverse();
        break;
    case 8:
        image.rotate(270);
        break;
    default:
        break;
    }
    image.orientation(Magick::TopLeftOrientation);
}

bool WebCopyEditor::isSrgb(const QByteArray &icc)
{
    const Profile embedded(cmsOpenProfileFromMem(icc.constData(), cmsUInt32Number(icc.size())),
                           &cmsCloseProfile);
    if (!embedded || cmsGetColorSpace(embedded.get()) != cmsSigRgbData)
        return false;
    const Profile srgb(cmsCreate_sRGBProfile(), &cmsCloseProfile);
    cmsHTRANSFORM transform = cmsCreateTransform(embedded.get(), TYPE_RGB_16, srgb.get(), TYPE_RGB_16,
                                                 INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE);
    if (!transform)
        return false;
    // The primaries, white, a grey and a mixed colour each come out as they went in, to less
    // than a tenth of an 8-bit step: the profile is sRGB whatever it is called.
    const cmsUInt16Number probes[][3] = {{65535, 0, 0},         {0, 65535, 0},         {0, 0, 65535},
                                         {65535, 65535, 65535}, {32768, 32768, 32768}, {50000, 20000, 8000}};
    bool same = true;
    for (const auto &probe : probes) {
        cmsUInt16Number out[3];
        cmsDoTransform(transform, probe, out, 1);
        for (int c = 0; c < 3; ++c)
            same = same && std::abs(int(out[c]) - int(probe[c])) < 2 * 257;
    }
    cmsDeleteTransform(transform);
    return same;
}

const QByteArray &WebCopyEditor::srgbProfile()
{
    static const QByteArray bytes = [] {
        const Profile profile(cmsCreate_sRGBProfile(), &cmsCloseProfile);
        cmsUInt32Number size = 0;
        cmsSaveProfileToMem(profile.get(), nullptr, &size);
        QByteArray out(qsizetype(size), '\0');
        cmsSaveProfileToMem(profile.get(), out.data(), &size);
        return out;
    }();
    return bytes;
}

void WebCopyEditor::convertToSrgb(Magick::Image &image)
{
    const QByteArray icc = profileOf(image, "icc");
    if (icc.isEmpty() || isSrgb(icc))
        return;
    const QByteArray &srgb = srgbProfile();
    // With a profile in place, ImageMagick converts the pixels from it to the new one.
    image.profile("ICC", Magick::Blob(srgb.constData(), size_t(srgb.size())));
    // The writers store a picture whose pixels all look grey as grey, which an RGB profile does
    // not fit (the PNG writer drops it), and whether they do can differ between a copy and its
    // thumbnail: a converted picture is written in colour, whatever its size.
    const bool alpha = image.matte();
    image.type(alpha ? Magick::TrueColorMatteType : Magick::TrueColorType);
    image.defineValue("png", "color-type", alpha ? "6" : "2");
}
