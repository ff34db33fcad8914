#include "ImageHeader.h"
#include "RunTimeError.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace Qt::Literals::StringLiterals;

namespace {

struct Size
{
    int32_t height = -1;
    int32_t width = -1;
    int32_t bits = -1;
    bool operator==(const Size &other) const = default;
};

char *toString(const Size &size)
{
    return QTest::toString(u"%1x%2x%3"_s.arg(size.height).arg(size.width).arg(size.bits));
}

Size parsed(const QByteArray &bytes)
{
    ImageHeader header;
    header.parse(bytes);
    return {header.height(), header.width(), header.bitsPerPixel()};
}

int errorNumberOf(const QByteArray &bytes)
{
    try {
        parsed(bytes);
    } catch (const RunTimeError &error) {
        return error.number();
    }
    return 0;
}

QByteArray zeros(qsizetype size)
{
    return QByteArray(size, '\0');
}

void put(QByteArray &bytes, qsizetype at, std::initializer_list<int> values)
{
    for (int value : values)
        bytes[at++] = static_cast<char>(value);
}

// A PNG start: signature, IHDR with a 32-bit width and height, bit depth and colour type.
QByteArray pngHead(quint32 width, quint32 height, int depth, int colourType)
{
    QByteArray bytes = zeros(33);
    put(bytes, 0, {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R'});
    put(bytes, 16, {int(width >> 24), int(width >> 16 & 0xFF), int(width >> 8 & 0xFF), int(width & 0xFF)});
    put(bytes, 20,
        {int(height >> 24), int(height >> 16 & 0xFF), int(height >> 8 & 0xFF), int(height & 0xFF)});
    put(bytes, 24, {depth, colourType});
    return bytes;
}

// SOI, then the given segments, then a baseline frame header.
QByteArray jpegWithFrame(const QByteArray &before, int height, int width, int components, int code = 0xC0)
{
    QByteArray bytes;
    bytes += QByteArray::fromHex("FFD8");
    bytes += before;
    QByteArray frame = QByteArray::fromHex("FF");
    frame += char(code);
    frame += QByteArray::fromHex("0011");
    frame += char(8);
    put(frame += zeros(5), 5, {height >> 8, height & 0xFF, width >> 8, width & 0xFF, components});
    return bytes + frame;
}

QByteArray appSegment(int payload)
{
    QByteArray segment = QByteArray::fromHex("FFE1");
    const int length = payload + 2;
    segment += char(length >> 8);
    segment += char(length & 0xFF);
    return segment + QByteArray(payload, 'a');
}

} // namespace

class TestImageHeader : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void bytesToWord();
    void pngColourTypes_data();
    void pngColourTypes();
    void undefinedPngColourTypeFallsToJpegScan();
    void gifAndBmpLayouts();
    void shortFilesReadMissingBytesAsZero();
    void jpegWalkBounds();
    void depthAbove255IsOverflow();
    void secondReadKeepsNothingOfTheFirst();
    void hostileBuffersStayInBounds();

    void imageMagickFiles_data();
    void imageMagickFiles();
    void jpegAfterLargeApplicationSegment();
    void topDownBmp();
    void fileErrorsAndNoFileCreated();

private:
    QString make(const QString &name, const QStringList &arguments);
    QTemporaryDir m_dir;
};

void TestImageHeader::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY2(QFile::exists(u"/usr/bin/convert"_s), "ImageMagick's convert is needed for the real files");
}

QString TestImageHeader::make(const QString &name, const QStringList &arguments)
{
    const QString path = m_dir.filePath(name);
    QProcess convert;
    convert.start(u"/usr/bin/convert"_s, arguments + QStringList{path});
    if (!convert.waitForFinished(60000) || convert.exitCode() != 0)
        qWarning() << convert.readAllStandardError();
    return path;
}

void TestImageHeader::bytesToWord()
{
    QCOMPARE(ImageHeader::BytesToWord(0, 0), 0);
    QCOMPARE(ImageHeader::BytesToWord(0x02, 0x80), 640);
    QCOMPARE(ImageHeader::BytesToWord(0xFF, 0xFF), 65535);
}

void TestImageHeader::pngColourTypes_data()
{
    QTest::addColumn<int>("depth");
    QTest::addColumn<int>("colourType");
    QTest::addColumn<int>("bits");
    QTest::newRow("grey 8") << 8 << 0 << 8;
    QTest::newRow("grey 1") << 1 << 0 << 1;
    QTest::newRow("truecolour 8") << 8 << 2 << 24;
    QTest::newRow("truecolour 16") << 16 << 2 << 48;
    QTest::newRow("palette 4 reads 8") << 4 << 3 << 8;
    QTest::newRow("palette 1 reads 8") << 1 << 3 << 8;
    QTest::newRow("grey alpha 8") << 8 << 4 << 16;
    QTest::newRow("rgba 8") << 8 << 6 << 32;
    QTest::newRow("rgba 16") << 16 << 6 << 64;
}

void TestImageHeader::pngColourTypes()
{
    QFETCH(int, depth);
    QFETCH(int, colourType);
    QFETCH(int, bits);
    QCOMPARE(parsed(pngHead(640, 480, depth, colourType)), (Size{480, 640, bits}));

    // Wider than 16 bits: only the low 16 bits of the 32-bit fields count.
    QCOMPARE(parsed(pngHead(70000, 65536 + 480, depth, colourType)), (Size{480, 70000 - 65536, bits}));
}

void TestImageHeader::undefinedPngColourTypeFallsToJpegScan()
{
    QCOMPARE(parsed(pngHead(640, 480, 8, 5)), (Size{0, 0, 0}));

    QByteArray bytes = pngHead(640, 480, 8, 5) + jpegWithFrame(QByteArray(), 120, 160, 3);
    ImageHeader header;
    header.parse(bytes);
    QCOMPARE(header.ImageFormat(), ImageHeader::Jpeg);
    QCOMPARE((Size{header.height(), header.width(), header.bitsPerPixel()}), (Size{120, 160, 24}));
}

void TestImageHeader::gifAndBmpLayouts()
{
    QByteArray gif = zeros(13);
    put(gif, 0, {'G', 'I', 'F', '8', '9', 'a', 0x80, 0x02, 0xE0, 0x01, 0xF7});
    QCOMPARE(parsed(gif), (Size{480, 640, 8}));
    gif[10] = char(0x80);
    QCOMPARE(parsed(gif), (Size{480, 640, 1}));

    QByteArray bmp = zeros(54);
    put(bmp, 0, {'B', 'M'});
    put(bmp, 18, {0x70, 0x11, 0x01, 0x00}); // 70,000 wide
    put(bmp, 22, {0xA8, 0xFD, 0xFF, 0xFF}); // -600 high: top-down
    bmp[28] = char(24);
    QCOMPARE(parsed(bmp), (Size{64936, 70000 - 65536, 24}));
}

void TestImageHeader::shortFilesReadMissingBytesAsZero()
{
    QCOMPARE(parsed(QByteArray("GIF89a\x80\x02", 8)), (Size{0, 640, 1}));
    QCOMPARE(parsed(QByteArray()), (Size{0, 0, 0}));
    QCOMPARE(parsed(QByteArray("BM")), (Size{0, 0, 0}));
    // The frame header cut short after its height.
    QCOMPARE(parsed(jpegWithFrame(QByteArray(), 480, 640, 3).left(9)), (Size{480, 0, 0}));
}

void TestImageHeader::jpegWalkBounds()
{
    // Found past a segment, also when the start sits deep in the buffer.
    QCOMPARE(parsed(jpegWithFrame(appSegment(100), 480, 640, 3)), (Size{480, 640, 24}));
    QCOMPARE(parsed(zeros(1000) + jpegWithFrame(appSegment(100), 480, 640, 1, 0xC2)), (Size{480, 640, 8}));
    QCOMPARE(parsed(jpegWithFrame(appSegment(10), 480, 640, 4, 0xCF)), (Size{480, 640, 32}));

    // Markers that are not frames (DHT C4, JPG C8, DAC CC) are skipped like any segment.
    for (int code : {0xC4, 0xC8, 0xCC})
        QCOMPARE(parsed(jpegWithFrame(QByteArray(), 480, 640, 3, code)), (Size{0, 0, 0}));

    // Padding 0xFF bytes before a marker are stepped over.
    QCOMPARE(parsed(jpegWithFrame(QByteArray::fromHex("FFFFFF"), 48, 64, 3)), (Size{48, 64, 24}));

    // A frame whose marker lies at index 65,524 is still read: its fields end at 65,533.
    {
        const int markerAt = 65524;
        const QByteArray bytes = jpegWithFrame(appSegment(markerAt - 2 - 4), 7, 9, 3);
        QCOMPARE(bytes.indexOf(QByteArray::fromHex("FFC0")), markerAt);
        QCOMPARE(parsed(bytes), (Size{7, 9, 24}));
    }
    // One byte further it is past the bound, also when the file goes on.
    {
        QByteArray bytes = jpegWithFrame(appSegment(65525 - 2 - 4), 7, 9, 3) + zeros(100);
        QCOMPARE(bytes.indexOf(QByteArray::fromHex("FFC0")), 65525);
        QCOMPARE(parsed(bytes), (Size{0, 0, 0}));
    }
    // A start of image found at the very end of the search.
    {
        QByteArray bytes = zeros(65536);
        put(bytes, 65522, {0xFF, 0xD8, 0xFF, 0xC0});
        QCOMPARE(parsed(bytes), (Size{0, 0, 0}));
    }
    // A segment length pointing far beyond the buffer.
    QCOMPARE(parsed(QByteArray::fromHex("FFD8FFE1FFFF") + zeros(70000)), (Size{0, 0, 0}));
    // Zero-length segments still move on.
    QCOMPARE(parsed(jpegWithFrame(QByteArray::fromHex("FFE10000FFE20000"), 5, 6, 3)), (Size{5, 6, 24}));
    // A frame in the second 64K of a file is never seen.
    QCOMPARE(parsed(zeros(70000) + jpegWithFrame(QByteArray(), 5, 6, 3)), (Size{0, 0, 0}));
}

void TestImageHeader::depthAbove255IsOverflow()
{
    QCOMPARE(parsed(jpegWithFrame(QByteArray(), 5, 6, 31)), (Size{5, 6, 248}));
    QCOMPARE(errorNumberOf(jpegWithFrame(QByteArray(), 5, 6, 32)), int(RunTimeError::Overflow));
    QCOMPARE(errorNumberOf(pngHead(1, 1, 86, 2)), int(RunTimeError::Overflow));
    QCOMPARE(errorNumberOf(pngHead(1, 1, 64, 6)), int(RunTimeError::Overflow));
    QCOMPARE(errorNumberOf(pngHead(1, 1, 128, 4)), int(RunTimeError::Overflow));
    QCOMPARE(parsed(pngHead(1, 1, 255, 0)), (Size{1, 1, 255}));
    QCOMPARE(parsed(pngHead(1, 1, 255, 3)), (Size{1, 1, 8}));
}

void TestImageHeader::secondReadKeepsNothingOfTheFirst()
{
    ImageHeader header;
    header.parse(pngHead(640, 480, 8, 2));
    QCOMPARE(header.ImageFormat(), ImageHeader::Png);
    header.parse(QByteArray("GIF"));
    QCOMPARE(header.ImageFormat(), ImageHeader::Gif);
    QCOMPARE((Size{header.height(), header.width(), header.bitsPerPixel()}), (Size{0, 0, 1}));
    header.parse(QByteArray("plain text"));
    QCOMPARE(header.ImageFormat(), ImageHeader::Unknown);
    QCOMPARE((Size{header.height(), header.width(), header.bitsPerPixel()}), (Size{0, 0, 0}));
}

void TestImageHeader::hostileBuffersStayInBounds()
{
    // Random JPEG-like bytes of every size around the bounds: run under the sanitizers, any
    // read outside the buffer fails the build's test run.
    QRandomGenerator random(20081);
    for (int round = 0; round < 400; ++round) {
        const qsizetype size = round % 2 ? 65536 - round : random.bounded(65600);
        QByteArray bytes(size, '\0');
        for (qsizetype k = 0; k < size; ++k)
            bytes[k] = char(random.bounded(8) == 0 ? 0xFF : random.bounded(256));
        if (size >= 3)
            put(bytes, random.bounded(size - 2), {0xFF, 0xD8, 0xFF});
        try {
            parsed(bytes);
        } catch (const RunTimeError &error) {
            QCOMPARE(error.number(), int(RunTimeError::Overflow));
        }
    }
}

void TestImageHeader::imageMagickFiles_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("bits");
    const QStringList rose = {u"-seed"_s, u"7"_s, u"-size"_s, u"640x480"_s, u"plasma:fractal"_s};
    const QStringList flat = {u"-size"_s, u"640x480"_s, u"xc:#336699"_s};
    QTest::newRow("png grey") << u"grey.png"_s
                              << rose + QStringList{u"-colorspace"_s, u"Gray"_s,    u"-depth"_s,
                                                    u"8"_s,           u"-define"_s, u"png:color-type=0"_s}
                              << int(ImageHeader::Png) << 8;
    QTest::newRow("png truecolour") << u"rgb.png"_s
                                    << rose + QStringList{u"-depth"_s, u"8"_s, u"-define"_s,
                                                          u"png:color-type=2"_s}
                                    << int(ImageHeader::Png) << 24;
    QTest::newRow("png palette") << u"palette.png"_s
                                 << flat + QStringList{u"-define"_s, u"png:color-type=3"_s}
                                 << int(ImageHeader::Png) << 8;
    QTest::newRow("png grey alpha") << u"greyalpha.png"_s
                                    << rose + QStringList{u"-colorspace"_s, u"Gray"_s,
                                                          u"-alpha"_s,      u"on"_s,
                                                          u"-depth"_s,      u"8"_s,
                                                          u"-define"_s,     u"png:color-type=4"_s}
                                    << int(ImageHeader::Png) << 16;
    QTest::newRow("png rgba") << u"rgba.png"_s
                              << rose + QStringList{u"-alpha"_s, u"on"_s,      u"-depth"_s,
                                                    u"8"_s,      u"-define"_s, u"png:color-type=6"_s}
                              << int(ImageHeader::Png) << 32;
    QTest::newRow("png 16 bit") << u"rgb16.png"_s
                                << rose +
                                       QStringList{u"-depth"_s, u"16"_s, u"-define"_s, u"png:color-type=2"_s}
                                << int(ImageHeader::Png) << 48;
    QTest::newRow("gif") << u"image.gif"_s << rose << int(ImageHeader::Gif) << 8;
    QTest::newRow("bmp") << u"image.bmp"_s << rose + QStringList{u"-type"_s, u"TrueColor"_s}
                         << int(ImageHeader::Bmp) << 24;
    QTest::newRow("jpeg baseline") << u"baseline.jpg"_s << rose << int(ImageHeader::Jpeg) << 24;
    QTest::newRow("jpeg progressive")
        << u"progressive.jpg"_s << rose + QStringList{u"-interlace"_s, u"Plane"_s} << int(ImageHeader::Jpeg)
        << 24;
    QTest::newRow("jpeg grey") << u"grey.jpg"_s << rose + QStringList{u"-colorspace"_s, u"Gray"_s}
                               << int(ImageHeader::Jpeg) << 8;
    QTest::newRow("jpeg cmyk") << u"cmyk.jpg"_s << rose + QStringList{u"-colorspace"_s, u"CMYK"_s}
                               << int(ImageHeader::Jpeg) << 32;
}

void TestImageHeader::imageMagickFiles()
{
    QFETCH(QString, name);
    QFETCH(QStringList, arguments);
    QFETCH(int, format);
    QFETCH(int, bits);
    const QString path = make(name, arguments);
    ImageHeader header;
    header.ReadImageHeader(path);
    QCOMPARE(header.ImageFormat(), format);
    QCOMPARE((Size{header.height(), header.width(), header.bitsPerPixel()}), (Size{480, 640, bits}));

    Size out;
    ImageHeader::ReadImageSize(path, out.height, out.width, out.bits);
    QCOMPARE(out, (Size{480, 640, bits}));
}

void TestImageHeader::jpegAfterLargeApplicationSegment()
{
    const QString path = make(u"plain.jpg"_s, {u"-size"_s, u"320x200"_s, u"gradient:red-blue"_s});
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray original = file.readAll();
    file.close();
    QVERIFY(original.startsWith(QByteArray::fromHex("FFD8")));
    const QByteArray padded = original.left(2) + appSegment(30000) + original.mid(2);
    QFile out(m_dir.filePath(u"app30000.jpg"_s));
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(padded);
    out.close();

    Size size;
    ImageHeader::ReadImageSize(out.fileName(), size.height, size.width, size.bits);
    QCOMPARE(size, (Size{200, 320, 24}));
}

void TestImageHeader::topDownBmp()
{
    // ImageMagick writes bottom-up rows; a negative height in the header marks top-down ones.
    const QString path =
        make(u"bottomup.bmp"_s, {u"-size"_s, u"800x600"_s, u"xc:white"_s, u"-type"_s, u"TrueColor"_s});
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    put(bytes, 22, {0xA8, 0xFD, 0xFF, 0xFF});
    file.seek(0);
    file.write(bytes);
    file.close();
    Size size;
    ImageHeader::ReadImageSize(path, size.height, size.width, size.bits);
    QCOMPARE(size, (Size{64936, 800, 24}));
}

void TestImageHeader::fileErrorsAndNoFileCreated()
{
    const QString missing = m_dir.filePath(u"missing.jpg"_s);
    Size size;
    try {
        ImageHeader::ReadImageSize(missing, size.height, size.width, size.bits);
        QFAIL("a missing file reads without error");
    } catch (const RunTimeError &error) {
        QCOMPARE(error.number(), int(RunTimeError::FileNotFound));
    }
    QVERIFY(!QFile::exists(missing));

    // A pipe named like an image would block a reader for ever.
    const QString pipe = m_dir.filePath(u"pipe.jpg"_s);
    QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    try {
        ImageHeader::ReadImageSize(pipe, size.height, size.width, size.bits);
        QFAIL("a pipe was read");
    } catch (const RunTimeError &error) {
        QCOMPARE(error.number(), int(RunTimeError::PathFileAccessError));
    }

    // An empty file reads as unknown.
    QFile empty(m_dir.filePath(u"empty.png"_s));
    QVERIFY(empty.open(QIODevice::WriteOnly));
    empty.close();
    ImageHeader::ReadImageSize(empty.fileName(), size.height, size.width, size.bits);
    QCOMPARE(size, (Size{0, 0, 0}));
}

QTEST_GUILESS_MAIN(TestImageHeader)
#include "tst_imageheader.moc"
