#include "WebCopyEditor.h"

#include "ExifBlock.h"
#include "IptcBlock.h"
#include "XmpPacket.h"

#include <Magick++.h>
#include <QStringList>

#include <cmath>
#include <lcms2.h>
#include <memory>

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

// Plain text properties come from PNG text chunks and the like ("Make", "Software", "Source");
// these are the ones that name the author or describe the picture.
bool isKeptText(const QString &name)
{
    static const QStringList kept{u"title"_s,     u"author"_s,      u"artist"_s,
                                  u"copyright"_s, u"description"_s, u"comment"_s};
    return name.contains(u':') || kept.contains(name.toLower());
}

QStringList droppedTexts(const Magick::Image &image)
{
    QStringList names;
    MagickCore::ResetImagePropertyIterator(image.constImage());
    while (const char *name = MagickCore::GetNextImageProperty(image.constImage())) {
        const QString text = QString::fromUtf8(name);
        if (!isKeptText(text))
            names.append(text);
    }
    return names;
}

using Profile = std::unique_ptr<void, decltype(&cmsCloseProfile)>;

} // namespace

WebCopyEditor::KeptMetadata WebCopyEditor::keptMetadata(const Magick::Image &image, bool upright)
{
    KeptMetadata kept;
    for (const QString &name : profileNames(image)) {
        if (!isColourProfile(name) && name != u"exif"_s && name != u"iptc"_s && name != u"8bim"_s &&
            name != u"xmp"_s)
            kept.removes = true;
    }
    if (!droppedTexts(image).isEmpty())
        kept.removes = true;

    const QByteArray exif = profileOf(image, "exif");
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
    const QByteArray iptcProfile = profileOf(image, "iptc");
    if (!photoshop.isEmpty() || !iptcProfile.isEmpty()) {
        const std::optional<IptcBlock::Fields> fields =
            IptcBlock::read(photoshop.isEmpty() ? iptcProfile : photoshop);
        if (fields)
            kept.iptc = IptcBlock::write(*fields);
        kept.removes = kept.removes || !fields || fields->more;
    }

    const QByteArray xmp = profileOf(image, "xmp");
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
    for (const QString &name : droppedTexts(image))
        MagickCore::DeleteImageProperty(image.image(), name.toUtf8().constData());
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
}
