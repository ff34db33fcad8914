#include "CatalogHelpers.h"
#include "ErrorRecorder.h"
#include "ExifBlock.h"
#include "JpegSegments.h"
#include "MagickImageProcessor.h"
#include "PngChunks.h"
#include "QuietResizeHost.h"
#include "ResizeBatch.h"
#include "RunState.h"
#include "TestFiles.h"

#include <Magick++.h>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <lcms2.h>

using namespace Qt::Literals::StringLiterals;

namespace {

// Debian's tools by their full paths: a `convert` earlier on PATH may be a stand-in.
const QString Convert = u"/usr/bin/convert"_s;
const QString Exiftool = u"/usr/bin/exiftool"_s;
const QString Transicc = u"/usr/bin/transicc"_s;
// From colord-data.
const QString AdobeRgb = u"/usr/share/color/icc/colord/AdobeRGB1998.icc"_s;
const QString Srgb = u"/usr/share/color/icc/colord/sRGB.icc"_s;

// A JPEG marker segment: the marker, the length and the payload.
QByteArray segment(char marker, const QByteArray &payload)
{
    const qsizetype length = payload.size() + 2;
    return QByteArray(1, '\xFF') + marker + char(length >> 8) + char(length & 0xFF) + payload;
}
} // namespace

// Web copies made by the real processor from files that Debian's tools wrote, read back with
// exiftool, ImageMagick and littleCMS.
class TestWebCopies : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void everyOrientationIsTurnedUpright_data();
    void everyOrientationIsTurnedUpright();
    void privateDetailsGoAndAuthorshipStays_data();
    void privateDetailsGoAndAuthorshipStays();
    void plainCopyIsWrittenOnlyWhenItHasSomethingToRemove();
    void corruptExifIsDroppedAndTheBatchGoesOn();
    void jpegSegmentsEndWhereTheFileStopsBeingOne_data();
    void jpegSegmentsEndWhereTheFileStopsBeingOne();
    void exifIsTakenOnlyFromAWholeSegment();
    void wideGamutColoursAreConvertedToSrgb_data();
    void wideGamutColoursAreConvertedToSrgb();
    void greyPictureIsConvertedAndKeepsItsProfileInEverySize();
    void pngPrivateDetailsGoFromEveryChunkAndAuthorshipStays_data();
    void pngPrivateDetailsGoFromEveryChunkAndAuthorshipStays();
    void imagesWithNothingToChangeComeOutAsTheCommandWritesThem();
    void fastDecodeKeepsTwiceTheLargestOutput();
    void previewsAreUprightBareAndNoLargerThanTheirPicture_data();
    void previewsAreUprightBareAndNoLargerThanTheirPicture();

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QByteArray run(const QString &program, const QStringList &arguments, const QByteArray &input = {});
    void tag(const QString &file, const QStringList &assignments);
    QJsonObject tags(const QString &file);
    QJsonObject groupedTags(const QString &file);
    QList<double> littleCmsToSrgb(const QString &profile, const QByteArray &values);
    QString cameraPhoto(const QString &name);

    QTemporaryDir m_dir;
    MagickImageProcessor m_processor;
};

QByteArray TestWebCopies::run(const QString &program, const QStringList &arguments, const QByteArray &input)
{
    QProcess process;
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        qFatal("%s %s: %s", qPrintable(program), qPrintable(arguments.join(u' ')),
               process.readAllStandardError().constData());
    return process.readAllStandardOutput();
}

void TestWebCopies::tag(const QString &file, const QStringList &assignments)
{
    run(Exiftool, QStringList{u"-q"_s, u"-overwrite_original"_s} + assignments + QStringList{file});
}

QJsonObject TestWebCopies::tags(const QString &file)
{
    // Every tag, by its name alone, numbers as numbers.
    const QJsonDocument json = QJsonDocument::fromJson(run(Exiftool, {u"-j"_s, u"-n"_s, u"-a"_s, file}));
    return json.array().at(0).toObject();
}

QJsonObject TestWebCopies::groupedTags(const QString &file)
{
    // "Group:Name", so that the same tag in two blocks is seen twice.
    const QJsonDocument json = QJsonDocument::fromJson(run(Exiftool, {u"-j"_s, u"-G1"_s, u"-a"_s, file}));
    return json.array().at(0).toObject();
}

QList<double> TestWebCopies::littleCmsToSrgb(const QString &profile, const QByteArray &values)
{
    // littleCMS's own answer, from the command line.
    const QByteArray answer =
        run(Transicc, {u"-i"_s, profile, u"-o"_s, u"*sRGB"_s, u"-t"_s, u"0"_s, u"-n"_s}, values + '\n');
    QList<double> numbers;
    for (const QByteArray &number : answer.trimmed().split('\n').last().simplified().split(' '))
        numbers.append(number.toDouble());
    return numbers;
}

QString TestWebCopies::cameraPhoto(const QString &name)
{
    // What a camera leaves in a photo: a position, serial numbers, a maker note, a preview, the
    // editing history; and what its owner added: author, copyright, captions, a colour profile.
    const QString file = path(name);
    run(Convert, {u"-size"_s, u"640x480"_s, u"-seed"_s, u"4"_s, u"plasma:fractal"_s, u"-profile"_s, AdobeRgb,
                  u"-quality"_s, u"83"_s, file});
    const QString preview = path(u"preview.jpg"_s);
    run(Convert, {u"-size"_s, u"160x120"_s, u"plasma:fractal"_s, preview});
    tag(file, {u"-GPSLatitude=48.8583"_s,
               u"-GPSLatitudeRef=N"_s,
               u"-GPSLongitude=2.2945"_s,
               u"-GPSLongitudeRef=E"_s,
               u"-Make=Camera Maker"_s,
               u"-Model=Model 7"_s,
               u"-SerialNumber=SN123456"_s,
               u"-LensSerialNumber=LS987"_s,
               u"-MakerNoteUnknownText=owner and lens details"_s,
               u"-ThumbnailImage<="_s + preview,
               u"-Artist=Ann Author"_s,
               u"-Copyright=(c) Ann Author"_s,
               u"-ImageDescription=Harbour at dawn"_s,
               u"-IPTC:ObjectName=Harbour"_s,
               u"-IPTC:By-line=Ann Author"_s,
               u"-IPTC:CopyrightNotice=(c) Ann"_s,
               u"-IPTC:Caption-Abstract=Boats at dawn"_s,
               u"-IPTC:City=Paris"_s,
               u"-XMP-dc:Title=Harbour"_s,
               u"-XMP-dc:Creator=Ann Author"_s,
               u"-XMP-dc:Rights=(c) Ann"_s,
               u"-XMP-dc:Description=Boats"_s,
               u"-XMP-xmpMM:HistoryAction=saved"_s,
               u"-XMP-xmpMM:HistorySoftwareAgent=Editor 2"_s,
               u"-XMP-exif:GPSLatitude=48.8583"_s});
    return file;
}

void TestWebCopies::initTestCase()
{
    QVERIFY(m_dir.isValid());
    for (const QString &needed : {Convert, Exiftool, Transicc, AdobeRgb, Srgb})
        QVERIFY2(QFile::exists(needed), qPrintable(needed + u" is missing: run scripts/install-deps.sh"_s));
    m_processor.ensureAvailable();
}

void TestWebCopies::everyOrientationIsTurnedUpright_data()
{
    // How the picture is stored so that a viewer applying the tag sees it upright.
    QTest::addColumn<int>("orientation");
    QTest::addColumn<QStringList>("stored");
    QTest::newRow("1") << 1 << QStringList();
    QTest::newRow("2 mirrored") << 2 << QStringList{u"-flop"_s};
    QTest::newRow("3 upside down") << 3 << QStringList{u"-rotate"_s, u"180"_s};
    QTest::newRow("4 flipped") << 4 << QStringList{u"-flip"_s};
    QTest::newRow("5 transposed") << 5 << QStringList{u"-transpose"_s};
    QTest::newRow("6 on its left side") << 6 << QStringList{u"-rotate"_s, u"270"_s};
    QTest::newRow("7 transversed") << 7 << QStringList{u"-transverse"_s};
    QTest::newRow("8 on its right side") << 8 << QStringList{u"-rotate"_s, u"90"_s};
}

void TestWebCopies::everyOrientationIsTurnedUpright()
{
    QFETCH(int, orientation);
    QFETCH(QStringList, stored);
    // Upright, 60x40: a red block at the top left, the rest white.
    const QString source = path(u"turned-%1.jpg"_s.arg(orientation));
    run(Convert, QStringList{u"-size"_s, u"60x40"_s, u"xc:white"_s, u"-fill"_s, u"red"_s, u"-draw"_s,
                             u"rectangle 0,0 19,9"_s} +
                     stored + QStringList{source});
    tag(source, {u"-Orientation#=%1"_s.arg(orientation), u"-Artist=Ann"_s});
    const WebCopyOptions upright{false, true, false, false};

    auto checkUpright = [&](const QString &file, QSize size) {
        const QImage image(file);
        QCOMPARE(image.size(), size);
        const QRgb corner = image.pixel(1, 1);
        const QRgb far = image.pixel(size.width() - 2, size.height() - 2);
        QVERIFY2(qRed(corner) > 200 && qGreen(corner) < 60, qPrintable(file));
        QVERIFY2(qGreen(far) > 200 && qBlue(far) > 200, qPrintable(file));
        // Viewers must not turn it again; the author stays.
        QCOMPARE(tags(file).value(u"Orientation"_s).toInt(1), 1);
        QCOMPARE(tags(file).value(u"Artist"_s).toString(), u"Ann"_s);
    };
    const QString resized = path(u"turned-%1-out.jpg"_s.arg(orientation));
    QVERIFY(m_processor.convertForWeb(u"-resize=50%x50%"_s, source, resized, upright));
    checkUpright(resized, QSize(30, 20));
    // A width limit is the width a viewer sees.
    QVERIFY(m_processor.convertForWeb(u"-resize=30x20"_s, source, resized, upright));
    QCOMPARE(QImage(resized).size(), QSize(30, 20));

    const QString copy = path(u"turned-%1-copy.jpg"_s.arg(orientation));
    const ImageProcessor::CopyResult result = m_processor.copyForWeb(source, copy, upright);
    if (orientation == 1) {
        QCOMPARE(result, ImageProcessor::CopyResult::Unchanged);
        QVERIFY(!QFile::exists(copy));
    } else {
        QCOMPARE(result, ImageProcessor::CopyResult::Written);
        checkUpright(copy, QSize(60, 40));
    }
}

void TestWebCopies::privateDetailsGoAndAuthorshipStays_data()
{
    QTest::addColumn<QString>("extension");
    QTest::newRow("jpeg") << u"jpg"_s;
    QTest::newRow("png") << u"png"_s;
}

void TestWebCopies::privateDetailsGoAndAuthorshipStays()
{
    QFETCH(QString, extension);
    const QString source = cameraPhoto(u"camera."_s + extension);
    const WebCopyOptions strip{true, false, false, false};
    const QString thumbnail = path(u"tn_camera."_s + extension);
    const QString plainThumbnail = path(u"tn_plain_camera."_s + extension);
    QVERIFY(m_processor.convertForWeb(u"-resize=100x100"_s, source, plainThumbnail, WebCopyOptions()));
    QVERIFY(m_processor.convertForWeb(u"-resize=100x100"_s, source, thumbnail, strip));
    qInfo("%s thumbnail 100x100: %lld bytes as the command writes it, %lld without private details",
          qPrintable(extension), QFileInfo(plainThumbnail).size(), QFileInfo(thumbnail).size());
    // ImageMagick reads no eXIf or XMP chunk, so only a JPEG's plain thumbnail is sure to carry more.
    if (extension == u"jpg"_s)
        QVERIFY(QFileInfo(thumbnail).size() < QFileInfo(plainThumbnail).size());

    const QJsonObject kept = tags(thumbnail);
    for (const QString &gone : {u"GPSLatitude"_s, u"GPSLongitude"_s, u"Make"_s, u"Model"_s, u"SerialNumber"_s,
                                u"LensSerialNumber"_s, u"MakerNoteUnknownText"_s, u"ThumbnailImage"_s,
                                u"HistoryAction"_s, u"HistorySoftwareAgent"_s, u"City"_s})
        QVERIFY2(!kept.contains(gone), qPrintable(gone + u" is still in the copy"_s));
    // A PNG keeps what a JPEG keeps, from whichever chunk exiftool put it in.
    const QStringList expected{u"Artist=Ann Author"_s,
                               u"Copyright=(c) Ann Author"_s,
                               u"ImageDescription=Harbour at dawn"_s,
                               u"ObjectName=Harbour"_s,
                               u"By-line=Ann Author"_s,
                               u"CopyrightNotice=(c) Ann"_s,
                               u"Caption-Abstract=Boats at dawn"_s,
                               u"Title=Harbour"_s,
                               u"Creator=Ann Author"_s,
                               u"Rights=(c) Ann"_s,
                               u"Description=Boats"_s};
    for (const QString &pair : std::as_const(expected)) {
        const QString name = pair.section(u'=', 0, 0);
        QCOMPARE(kept.value(name).toVariant().toString(), pair.section(u'=', 1));
    }
    QVERIFY2(kept.value(u"ProfileDescription"_s).toString().contains(u"Adobe RGB"_s),
             qPrintable(kept.value(u"ProfileDescription"_s).toString()));
    // The source still has them all: the test could fail.
    QVERIFY(tags(source).contains(u"GPSLatitude"_s));
}

void TestWebCopies::plainCopyIsWrittenOnlyWhenItHasSomethingToRemove()
{
    const QString clean = path(u"clean.jpg"_s);
    run(Convert, {u"-size"_s, u"120x90"_s, u"plasma:fractal"_s, u"-quality"_s, u"77"_s, clean});
    const QString target = path(u"clean-copy.jpg"_s);
    for (const WebCopyOptions &web :
         {WebCopyOptions{true, false, false, false}, WebCopyOptions{false, true, false, false},
          WebCopyOptions{true, true, true, true}})
        QCOMPARE(m_processor.copyForWeb(clean, target, web), ImageProcessor::CopyResult::Unchanged);
    QVERIFY(!QFile::exists(target));

    // Re-encoded at the quality ImageMagick estimates from the source's tables.
    const QString camera = cameraPhoto(u"camera-copy-source.jpg"_s);
    const QString copy = path(u"camera-copy.jpg"_s);
    QCOMPARE(m_processor.copyForWeb(camera, copy, {true, false, false, false}),
             ImageProcessor::CopyResult::Written);
    QCOMPARE(run(Convert, {copy, u"-format"_s, u"%Q %wx%h"_s, u"info:"_s}), QByteArray("83 640x480"));
    QVERIFY(!tags(copy).contains(u"GPSLatitude"_s));
    QCOMPARE(tags(copy).value(u"Artist"_s).toString(), u"Ann Author"_s);
    // What it wrote has nothing more to remove.
    QCOMPARE(m_processor.copyForWeb(copy, path(u"again.jpg"_s), {true, true, false, false}),
             ImageProcessor::CopyResult::Unchanged);
}

void TestWebCopies::corruptExifIsDroppedAndTheBatchGoesOn()
{
    QVERIFY(QDir().mkpath(path(u"corrupt/in"_s)));
    const QString good = path(u"corrupt/in/b.jpg"_s);
    run(Convert, {u"-size"_s, u"80x60"_s, u"plasma:fractal"_s, good});
    tag(good, {u"-GPSLatitude=10"_s, u"-GPSLatitudeRef=N"_s});
    // An EXIF block whose first directory lies far past its end, put right after the start marker.
    const QByteArray exif = QByteArray("Exif\0\0MM\0\x2A\x7F\xFF\xFF\xF0", 14) + QByteArray(20, '\x01');
    QByteArray bytes = readFile(good);
    bytes.insert(2, segment('\xE1', exif));
    const QString corrupt = path(u"corrupt/in/a.jpg"_s);
    {
        QFile file(corrupt);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    ErrorRecorder errors;
    RunState run;
    QuietResizeHost host;
    // Ticked: both are plain copies, which decode the whole file.
    const ResizeInputs inputs{
        u"All to Pct"_s,        u"50"_s,  u"600W"_s, u"20x20"_s, u"tn_"_s, true, path(u"corrupt/in"_s),
        path(u"corrupt/out"_s), u"1000"_s};
    ResizeBatch batch(inputs, catalogOf({corrupt, good}, {true, true}), run, host, m_processor);
    batch.setWebOptions({true, false, false, false});
    QCOMPARE(batch.run(), ResizeBatch::Outcome::Finished);
    QCOMPARE(batch.processed(), 2);
    QCOMPARE(errors.summary(), QStringList());
    for (const QString &name : {u"a.jpg"_s, u"tn_a.jpg"_s, u"b.jpg"_s, u"tn_b.jpg"_s}) {
        const QString output = path(u"corrupt/out/"_s + name);
        QVERIFY2(!QImage(output).isNull(), qPrintable(name));
        const QJsonObject found = tags(output);
        QVERIFY2(!found.contains(u"GPSLatitude"_s) && !found.contains(u"ExifByteOrder"_s), qPrintable(name));
    }
    QCOMPARE(QImage(path(u"corrupt/out/a.jpg"_s)).size(), QSize(80, 60));
}

void TestWebCopies::jpegSegmentsEndWhereTheFileStopsBeingOne_data()
{
    QTest::addColumn<QByteArray>("afterStart");
    // Each segment walked as marker:payload, with every payload read.
    QTest::addColumn<QString>("walked");
    const QByteArray app0 = segment('\xE0', "ab");
    const QByteArray app1 = segment('\xE1', "cd");
    const QByteArray restart("\xFF\xD0", 2);
    QTest::newRow("up to the scan") << app0 + app1 + segment('\xDA', "ef") + app0 << u"E0:ab E1:cd"_s;
    QTest::newRow("up to the end of image") << app0 + "\xFF\xD9" + app1 << u"E0:ab"_s;
    QTest::newRow("markers without a length") << restart + "\xFF\x01" + app1 << u"E1:cd"_s;
    QTest::newRow("fill bytes") << QByteArray(15, '\xFF') + app1 << u"E1:cd"_s;
    QTest::newRow("too many fill bytes") << QByteArray(16, '\xFF') + app1 << QString();
    QTest::newRow("length below two") << app0 + QByteArray("\xFF\xE1\0\x01", 4) + app1 << u"E0:ab"_s;
    QTest::newRow("no marker") << app0 + "x" + app1 << u"E0:ab"_s;
    QTest::newRow("cut short") << app0 + app1.chopped(1) << u"E0:ab E1:c"_s;
    QTest::newRow("markers up to the bound") << restart.repeated(4095) + app1 << u"E1:cd"_s;
    QTest::newRow("markers past the bound") << restart.repeated(4096) + app1 << QString();
}

void TestWebCopies::jpegSegmentsEndWhereTheFileStopsBeingOne()
{
    QFETCH(QByteArray, afterStart);
    QFETCH(QString, walked);
    QBuffer file;
    file.setData(afterStart);
    QVERIFY(file.open(QIODevice::ReadOnly));
    JpegSegments segments(file);
    QStringList found;
    while (const std::optional<JpegSegments::Segment> each = segments.next())
        found.append(QString::number(each->marker, 16).toUpper() + u':' +
                     QString::fromLatin1(segments.payload()));
    QCOMPARE(found.join(u' '), walked);
}

void TestWebCopies::exifIsTakenOnlyFromAWholeSegment()
{
    ExifBlock::Fields turned;
    turned.orientation = 6;
    const QByteArray jpeg = "\xFF\xD8" + segment('\xE0', "JFIF") + segment('\xE1', ExifBlock::write(turned));
    QCOMPARE(ExifBlock::jpegOrientation(jpeg), 6);
    QCOMPARE(ExifBlock::jpegOrientation(jpeg.chopped(1)), 0);
}

void TestWebCopies::wideGamutColoursAreConvertedToSrgb_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("profile");
    QTest::newRow("jpeg in Adobe RGB") << u"wide.jpg"_s << AdobeRgb;
    QTest::newRow("png in Adobe RGB") << u"wide.png"_s << AdobeRgb;
    QTest::newRow("gif in Adobe RGB") << u"wide.gif"_s << AdobeRgb;
    QTest::newRow("jpeg in sRGB stays") << u"srgb.jpg"_s << Srgb;
    QTest::newRow("png without a profile stays") << u"plain.png"_s << QString();
}

void TestWebCopies::wideGamutColoursAreConvertedToSrgb()
{
    QFETCH(QString, name);
    QFETCH(QString, profile);
    const int red = 180, green = 40, blue = 40;
    const QString source = path(name);
    QStringList arguments{u"-size"_s, u"24x24"_s, u"xc:rgb(%1,%2,%3)"_s.arg(red).arg(green).arg(blue)};
    if (!profile.isEmpty())
        arguments += {u"-profile"_s, profile};
    run(Convert, arguments + QStringList{u"-quality"_s, u"100"_s, source});

    QList<double> expected{double(red), double(green), double(blue)};
    if (profile == AdobeRgb) {
        expected = littleCmsToSrgb(profile, QByteArray::number(red) + ' ' + QByteArray::number(green) + ' ' +
                                                QByteArray::number(blue));
        QCOMPARE(expected.size(), 3);
        // Far enough from the stored values that an unconverted copy fails.
        QVERIFY(std::abs(expected[0] - red) > 15);
    }

    const QString output = path(u"srgb-out-"_s + name);
    QVERIFY(m_processor.convertForWeb(u"-resize=50%x50%"_s, source, output, {false, false, true, false}));
    Magick::Image image(QFile::encodeName(output).toStdString());
    const Magick::ColorRGB pixel = image.pixelColor(6, 6);
    const double seen[] = {pixel.red() * 255, pixel.green() * 255, pixel.blue() * 255};
    for (int c = 0; c < 3; ++c)
        QVERIFY2(std::abs(seen[c] - expected[c]) < 2.5,
                 qPrintable(u"channel %1: %2, littleCMS %3"_s.arg(c).arg(seen[c]).arg(expected[c])));
    const QString description = tags(output).value(u"ProfileDescription"_s).toString();
    if (profile == AdobeRgb)
        QVERIFY2(description.contains(u"sRGB"_s), qPrintable(description));
    else if (profile.isEmpty())
        QVERIFY(description.isEmpty());
    else
        QCOMPARE(description, tags(source).value(u"ProfileDescription"_s).toString());
}

void TestWebCopies::greyPictureIsConvertedAndKeepsItsProfileInEverySize()
{
    // A grey PNG in a linear grey profile, whose middle grey is a lighter grey in sRGB.
    const QString profile = path(u"linear-grey.icc"_s);
    cmsToneCurve *linear = cmsBuildGamma(nullptr, 1.0);
    cmsHPROFILE grey = cmsCreateGrayProfile(cmsD50_xyY(), linear);
    QVERIFY(cmsSaveProfileToFile(grey, QFile::encodeName(profile).constData()));
    cmsCloseProfile(grey);
    cmsFreeToneCurve(linear);
    const QString source = path(u"grey.png"_s);
    run(Convert, {u"-size"_s, u"200x150"_s, u"xc:gray(128)"_s, u"-colorspace"_s, u"Gray"_s, u"-profile"_s,
                  profile, source});
    const QList<double> expected = littleCmsToSrgb(profile, "128");
    QCOMPARE(expected.size(), 3);
    QVERIFY(expected[0] > 150);

    // The copy and its thumbnail alike.
    for (const QString &geometry : {u"50%x50%"_s, u"40x40"_s}) {
        const QString output = path(u"grey-out-%1.png"_s.arg(geometry.size()));
        QVERIFY(
            m_processor.convertForWeb(u"-resize="_s + geometry, source, output, {false, false, true, false}));
        Magick::Image image(QFile::encodeName(output).toStdString());
        const double seen = Magick::ColorRGB(image.pixelColor(5, 5)).red() * 255;
        QVERIFY2(std::abs(seen - expected[0]) < 2.5,
                 qPrintable(u"%1: %2, littleCMS %3"_s.arg(geometry).arg(seen).arg(expected[0])));
        const QString description = tags(output).value(u"ProfileDescription"_s).toString();
        QVERIFY2(description.contains(u"sRGB"_s), qPrintable(geometry + u": "_s + description));
    }
}

void TestWebCopies::pngPrivateDetailsGoFromEveryChunkAndAuthorshipStays_data()
{
    QTest::addColumn<QString>("chunk");
    QTest::addColumn<QString>("author");
    QTest::addColumn<QString>("caption");
    QTest::newRow("raw profile") << u"raw"_s << u"IFD0:Artist"_s << u"IFD0:ImageDescription"_s;
    QTest::newRow("eXIf") << u"exif"_s << u"IFD0:Artist"_s << u"IFD0:ImageDescription"_s;
    QTest::newRow("XMP iTXt") << u"xmp"_s << u"XMP-dc:Creator"_s << u"XMP-dc:Description"_s;
    QTest::newRow("text chunks") << u"text"_s << u"PNG:Author"_s << u"PNG:Description"_s;
}

void TestWebCopies::pngPrivateDetailsGoFromEveryChunkAndAuthorshipStays()
{
    QFETCH(QString, chunk);
    QFETCH(QString, author);
    QFETCH(QString, caption);
    // A position, a camera and its maker note, an author and a caption, all in one kind of chunk.
    const QString source = path(u"chunk-%1.png"_s.arg(chunk));
    run(Convert, {u"-size"_s, u"160x120"_s, u"-seed"_s, u"6"_s, u"plasma:fractal"_s, source});
    const QString tagged = path(u"chunk-%1-tagged.png"_s.arg(chunk));
    QVERIFY(QFile::copy(source, tagged));
    if (chunk == u"xmp"_s)
        tag(tagged, {u"-XMP-exif:GPSLatitude=48.8583 N"_s, u"-XMP-exif:GPSLongitude=2.2945 E"_s,
                     u"-XMP-tiff:Make=Camera Maker"_s, u"-XMP-tiff:Model=Model 7"_s,
                     u"-XMP-dc:Creator=Ann Author"_s, u"-XMP-dc:Description=Harbour at dawn"_s});
    else if (chunk == u"text"_s)
        tag(tagged, {u"-PNG:Make=Camera Maker"_s, u"-PNG:Model=Model 7"_s, u"-PNG:Author=Ann Author"_s});
    else
        tag(tagged,
            {u"-EXIF:GPSLatitude=48.8583"_s, u"-EXIF:GPSLatitudeRef=N"_s, u"-EXIF:GPSLongitude=2.2945"_s,
             u"-EXIF:GPSLongitudeRef=E"_s, u"-EXIF:Make=Camera Maker"_s, u"-EXIF:Model=Model 7"_s,
             u"-EXIF:MakerNoteUnknownText=owner and lens details"_s, u"-EXIF:Artist=Ann Author"_s,
             u"-EXIF:ImageDescription=Harbour at dawn"_s});
    QByteArray bytes = readFile(tagged);
    if (chunk == u"raw"_s) {
        // The block exiftool put in an eXIf chunk, with the header an APP1 segment gives it.
        const QByteArray exif = QByteArray("Exif\0\0", 6) + run(Exiftool, {u"-b"_s, u"-EXIF"_s, tagged});
        bytes = PngChunks::inserted(readFile(source), PngChunks::rawProfile("exif", exif));
    } else if (chunk == u"text"_s) {
        // exiftool writes plain text as tEXt; this caption is iTXt.
        bytes = PngChunks::inserted(
            bytes, PngChunks::chunk("iTXt", QByteArray("Description\0\0\0\0\0", 16) + "Harbour at dawn"));
    }
    QFile written(source);
    QVERIFY(written.open(QIODevice::WriteOnly) && written.write(bytes) == bytes.size());
    written.close();

    const WebCopyOptions strip{true, false, false, false};
    const QString resized = path(u"chunk-%1-copy.png"_s.arg(chunk));
    const QString thumbnail = path(u"tn_chunk-%1.png"_s.arg(chunk));
    const QString copied = path(u"chunk-%1-plain.png"_s.arg(chunk));
    QVERIFY(m_processor.convertForWeb(u"-resize=50%x50%"_s, source, resized, strip));
    QVERIFY(m_processor.convertForWeb(u"-resize=40x40"_s, source, thumbnail, strip));
    QCOMPARE(m_processor.copyForWeb(source, copied, strip), ImageProcessor::CopyResult::Written);
    for (const QString &file : {source, resized, thumbnail, copied}) {
        const QJsonObject found = groupedTags(file);
        QStringList leaks;
        for (const QString &key : found.keys()) {
            const QString name = key.section(u':', -1);
            if (name.contains(u"GPS"_s) || name.contains(u"Make"_s) || name.contains(u"Model"_s))
                leaks.append(key);
        }
        // The source has them: the test could fail.
        if (file == source)
            QVERIFY2(leaks.size() >= 2, qPrintable(leaks.join(u", "_s)));
        else
            QVERIFY2(leaks.isEmpty(), qPrintable(QFileInfo(file).fileName() + u": "_s + leaks.join(u", "_s)));
        QCOMPARE(found.value(author).toString(), u"Ann Author"_s);
        QCOMPARE(found.value(caption).toString(), u"Harbour at dawn"_s);
    }
    // What was written has nothing more to remove.
    QCOMPARE(m_processor.copyForWeb(resized, path(u"chunk-%1-again.png"_s.arg(chunk)), strip),
             ImageProcessor::CopyResult::Unchanged);
}

void TestWebCopies::imagesWithNothingToChangeComeOutAsTheCommandWritesThem()
{
    // No metadata, no profile, no orientation: each option leaves the bytes as they were.
    const QString clean = path(u"nothing.jpg"_s);
    run(Convert, {u"-size"_s, u"300x200"_s, u"-seed"_s, u"3"_s, u"plasma:fractal"_s, clean});
    const QString plain = path(u"nothing-plain.jpg"_s);
    QVERIFY(m_processor.convert(u"-resize=100x100"_s, clean, plain));
    for (const WebCopyOptions &web :
         {WebCopyOptions{true, false, false, false}, WebCopyOptions{false, true, false, false},
          WebCopyOptions{false, false, true, false}, WebCopyOptions{true, true, true, true}}) {
        const QString output = path(u"nothing-"_s + web.key() + u".jpg"_s);
        QVERIFY(m_processor.convertForWeb(u"-resize=100x100"_s, clean, output, web));
        QVERIFY2(readFile(output) == readFile(plain), qPrintable(web.key()));
    }

    // A CMYK JPEG without a profile stays CMYK.
    const QString cmyk = path(u"cmyk.jpg"_s);
    run(Convert, {u"-size"_s, u"40x30"_s, u"xc:red"_s, u"-colorspace"_s, u"CMYK"_s, cmyk});
    const QString cmykOut = path(u"cmyk-out.jpg"_s);
    QVERIFY(m_processor.convertForWeb(u"-resize=50%x50%"_s, cmyk, cmykOut, {true, true, true, true}));
    QCOMPARE(run(Convert, {cmykOut, u"-format"_s, u"%[colorspace] %wx%h"_s, u"info:"_s}),
             QByteArray("CMYK 20x15"));
}

void TestWebCopies::fastDecodeKeepsTwiceTheLargestOutput()
{
    // Twice the largest output, or a full decode when that is not smaller than the picture.
    QCOMPARE(MagickImageProcessor::reducedDecodeSize({4000, 3000}, {{1000, 750}, {100, 75}}),
             QSize(2000, 1500));
    QCOMPARE(MagickImageProcessor::reducedDecodeSize({1601, 1201}, {{400, 300}}), QSize(800, 600));
    QVERIFY(!MagickImageProcessor::reducedDecodeSize({799, 601}, {{400, 300}}).isValid());
    QVERIFY(!MagickImageProcessor::reducedDecodeSize({800, 600}, {{400, 300}}).isValid());
    QVERIFY(!MagickImageProcessor::reducedDecodeSize({800, 600}, {}).isValid());

    // libjpeg takes the hint at the smallest of its fractions that holds it, odd sizes rounded up.
    const QString odd = path(u"odd.jpg"_s);
    run(Convert,
        {u"-size"_s, u"1601x1201"_s, u"-seed"_s, u"5"_s, u"plasma:fractal"_s, u"-quality"_s, u"92"_s, odd});
    Magick::Image hinted;
    hinted.defineValue("jpeg", "size", "800x600");
    hinted.read(QFile::encodeName(odd).toStdString());
    QVERIFY(hinted.columns() >= 800 && hinted.rows() >= 600);
    QVERIFY(hinted.columns() < 1601);

    const WebCopyOptions fast{false, false, false, true};
    struct Case
    {
        QString geometry;
        QString name;
    };
    for (const Case &each : {Case{u"25%x25%"_s, u"quarter"_s}, Case{u"100x100"_s, u"thumbnail"_s},
                             Case{u"1000x750"_s, u"large"_s}}) {
        const QString output = path(u"fast-"_s + each.name + u".jpg"_s);
        const QString reference = path(u"reference-"_s + each.name + u".jpg"_s);
        QVERIFY(m_processor.convertForWeb(u"-resize="_s + each.geometry, odd, output, fast));
        run(Convert, {odd, u"-resize"_s, each.geometry, reference});
        Magick::Image mine(QFile::encodeName(output).toStdString());
        Magick::Image theirs(QFile::encodeName(reference).toStdString());
        QCOMPARE(mine.columns(), theirs.columns());
        QCOMPARE(mine.rows(), theirs.rows());
        const double psnr = mine.compare(theirs, Magick::PeakSignalToNoiseRatioMetric);
        qInfo("%s: %.1f dB", qPrintable(each.name), psnr);
        QVERIFY2(psnr >= 30, qPrintable(u"%1: %2 dB"_s.arg(each.name).arg(psnr)));
    }
    // More than half the picture: the full decode, so the bytes of the default conversion.
    const QString plain = path(u"plain-large.jpg"_s);
    QVERIFY(m_processor.convert(u"-resize=1000x750"_s, odd, plain));
    QCOMPARE(readFile(path(u"fast-large.jpg"_s)), readFile(plain));
}

void TestWebCopies::previewsAreUprightBareAndNoLargerThanTheirPicture_data()
{
    // The picture's resize option; empty when the picture is the source as it is.
    QTest::addColumn<QString>("picture");
    QTest::addColumn<QSize>("large");
    QTest::addColumn<QSize>("small");
    // Upright the source is 800x1200.
    QTest::newRow("picture copied") << QString() << QSize(600, 900) << QSize(300, 450);
    QTest::newRow("picture resized") << u"-resize=50%x50%"_s << QSize(400, 600) << QSize(300, 450);
}

void TestWebCopies::previewsAreUprightBareAndNoLargerThanTheirPicture()
{
    QFETCH(QString, picture);
    QFETCH(QSize, large);
    QFETCH(QSize, small);
    // Stored on its left side with a red block at the viewer's top left, a wide-gamut profile,
    // a position and an author.
    const QString source = path(u"standing.jpg"_s);
    run(Convert, {u"-size"_s, u"800x1200"_s, u"xc:white"_s, u"-fill"_s, u"red"_s, u"-draw"_s,
                  u"rectangle 0,0 199,199"_s, u"-rotate"_s, u"270"_s, u"-profile"_s, AdobeRgb, source});
    tag(source, {u"-Orientation#=6"_s, u"-GPSLatitude=48.8583"_s, u"-Artist=Ann Author"_s});

    // The user's choices are all off; previews are upright and bare whatever they are.
    const WebCopyOptions preview = WebCopyOptions().forPreview(picture);
    QList<ImageProcessor::Conversion> conversions{{u"-resize=600x1800>"_s, path(u"large.jpg"_s), preview},
                                                  {u"-resize=300x900>"_s, path(u"small.jpg"_s), preview}};
    if (!picture.isEmpty())
        conversions.prepend({picture, path(u"picture.jpg"_s)});
    m_processor.prepareForWeb(source, conversions, WebCopyOptions());
    for (const ImageProcessor::Conversion &conversion : std::as_const(conversions))
        QVERIFY(m_processor.convertForWeb(conversion.option, source, conversion.target,
                                          conversion.web.value_or(WebCopyOptions())));

    for (const auto &[name, size] : {std::pair(u"large.jpg"_s, large), std::pair(u"small.jpg"_s, small)}) {
        const QImage image(path(name));
        QCOMPARE(image.size(), size);
        QVERIFY2(qRed(image.pixel(5, 5)) > 200 && qGreen(image.pixel(5, 5)) < 60, qPrintable(name));
        QVERIFY2(qGreen(image.pixel(size.width() - 5, size.height() - 5)) > 200, qPrintable(name));
        const QJsonObject found = tags(path(name));
        for (const QString &gone : {u"Orientation"_s, u"GPSLatitude"_s, u"Artist"_s})
            QVERIFY2(!found.contains(gone), qPrintable(name + u": "_s + gone));
        QCOMPARE(found.value(u"ProfileDescription"_s).toString(),
                 tags(source).value(u"ProfileDescription"_s));
        QCOMPARE(run(Convert, {path(name), u"-format"_s, u"%Q"_s, u"info:"_s}).toInt(),
                 MagickImageProcessor::PreviewQuality);
    }
}

QTEST_GUILESS_MAIN(TestWebCopies)
#include "tst_webcopies.moc"
