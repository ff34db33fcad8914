#include "CatalogHelpers.h"
#include "ExifBlock.h"
#include "GalleryPlan.h"
#include "GallerySurvey.h"
#include "GalleryWriter.h"
#include "OutputLayout.h"
#include "PhotoCaption.h"
#include "PhotoTime.h"
#include "PngChunks.h"
#include "TestFiles.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

// Debian's tools by their full paths: another exiftool or convert on PATH may be something else.
const QString Exiftool = u"/usr/bin/exiftool"_s;
const QString Python = u"/usr/bin/python3"_s;
const QString CheckHtml5 = QStringLiteral(PEXA_TEST_SCRIPTS_DIR "/check_html5.py");

QString captionOf(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return PhotoCaption::read(buffer);
}

} // namespace

// Gallery pages from real files: captions read from photos that exiftool tagged, sizes read from
// the copies, pages written only when they change, and every page valid HTML5 for html5lib.
class TestGalleryWriter : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void captionComesFromExifThenIptcThenXmp_data();
    void captionComesFromExifThenIptcThenXmp();
    void hostileBytesGiveACaptionOrNoneAndNeverFault();
    void captionIsOneBoundedLine();
    void sizesAreReadFromTheWrittenFilesAsABrowserShowsThem();
    void timeTakenComesFromExifDateTimeOriginal();
    void surveyOrdersByTimeTakenElseFileTimeAndFindsPreviews();
    void shownEntriesLeaveOutTickedImagesAndMissingCopies();
    void pagesAreRewrittenOnlyWhenTheyChange();
    void everyPageParsesAsHtml5();

private:
    QString image(const QString &path, int width, int height);
    void tag(const QString &file, const QStringList &assignments);
    QString taggedPhoto();

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestGalleryWriter::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

QString TestGalleryWriter::image(const QString &relative, int width, int height)
{
    const QString path = m_dir->filePath(relative);
    QDir().mkpath(QFileInfo(path).path());
    QImage picture(width, height, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    if (!picture.save(path))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void TestGalleryWriter::tag(const QString &file, const QStringList &assignments)
{
    QProcess exiftool;
    exiftool.start(Exiftool,
                   QStringList{u"-q"_s, u"-q"_s, u"-overwrite_original"_s} + assignments + QStringList{file});
    if (!exiftool.waitForFinished(60000) || exiftool.exitCode() != 0)
        qFatal("exiftool %s: %s", qPrintable(assignments.join(u' ')),
               exiftool.readAllStandardError().constData());
}

QString TestGalleryWriter::taggedPhoto()
{
    const QString photo = image(u"tagged.jpg"_s, 64, 48);
    tag(photo, {u"-ImageDescription=Exif text"_s, u"-IPTC:Caption-Abstract=Iptc text"_s,
                u"-XMP-dc:Description=Xmp text"_s, u"-DateTimeOriginal=2008:06:14 18:42:05"_s});
    return photo;
}

void TestGalleryWriter::captionComesFromExifThenIptcThenXmp_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QStringList>("assignments");
    QTest::addColumn<QString>("caption");
    const QString exif = u"-ImageDescription=Exif text"_s;
    const QString iptc = u"-IPTC:Caption-Abstract=Iptc text"_s;
    const QString xmp = u"-XMP-dc:Description=Xmp text"_s;
    for (const QString &format : {u"jpg"_s, u"png"_s}) {
        const QByteArray name = format.toLatin1();
        QTest::newRow(name + " all three") << format << QStringList{xmp, iptc, exif} << u"Exif text"_s;
        QTest::newRow(name + " iptc before xmp") << format << QStringList{xmp, iptc} << u"Iptc text"_s;
        QTest::newRow(name + " xmp alone") << format << QStringList{xmp} << u"Xmp text"_s;
        QTest::newRow(name + " none") << format << QStringList{u"-Artist=Ann"_s} << QString();
    }
    QTest::newRow("blank exif passes on")
        << u"jpg"_s << QStringList{u"-ImageDescription=   "_s, xmp} << u"Xmp text"_s;
    // A camera's boilerplate, or a file's path, is no caption: the next block's is, else none.
    for (const QString &boilerplate : {u"OLYMPUS DIGITAL CAMERA         "_s, u"DCF 1.0"_s, u"  exif jpeg"_s,
                                       u"DCIM\\100GOPRO\\GOPR0482.JPG"_s, u"/DCIM/100MSDCF/DSC00042.jpeg"_s})
        QTest::newRow(qPrintable(boilerplate.trimmed()))
            << u"jpg"_s << QStringList{u"-ImageDescription="_s + boilerplate} << QString();
    QTest::newRow("sanyo boilerplate passes on")
        << u"jpg"_s << QStringList{u"-ImageDescription=SANYO DIGITAL CAMERA"_s, xmp} << u"Xmp text"_s;
    QTest::newRow("sony in iptc passes on")
        << u"jpg"_s << QStringList{u"-IPTC:Caption-Abstract=SONY DSC  "_s, xmp} << u"Xmp text"_s;
    QTest::newRow("minolta in png xmp")
        << u"png"_s << QStringList{u"-XMP-dc:Description=Konica Minolta Digital Camera"_s} << QString();
    QTest::newRow("words about a camera stay")
        << u"jpg"_s << QStringList{u"-ImageDescription=My Olympus digital camera"_s}
        << u"My Olympus digital camera"_s;
    QTest::newRow("words with a slash stay")
        << u"jpg"_s << QStringList{u"-ImageDescription=Before/after the storm"_s}
        << u"Before/after the storm"_s;
    QTest::newRow("exif in utf-8") << u"jpg"_s << QStringList{u"-ImageDescription=Fjörd ☀"_s} << u"Fjörd ☀"_s;
    QTest::newRow("iptc in latin-1") << u"jpg"_s << QStringList{u"-IPTC:Caption-Abstract=Café"_s}
                                     << u"Café"_s;
    QTest::newRow("iptc said to be utf-8")
        << u"jpg"_s << QStringList{u"-IPTC:CodedCharacterSet=UTF8"_s, u"-IPTC:Caption-Abstract=Café ☀"_s}
        << u"Café ☀"_s;
}

void TestGalleryWriter::captionComesFromExifThenIptcThenXmp()
{
    QFETCH(QString, format);
    QFETCH(QStringList, assignments);
    QFETCH(QString, caption);
    const QString photo = image(u"photo."_s + format, 64, 48);
    tag(photo, assignments);
    QCOMPARE(PhotoCaption::ofFile(photo), caption);
}

void TestGalleryWriter::hostileBytesGiveACaptionOrNoneAndNeverFault()
{
    const QByteArray whole = readFile(taggedPhoto());
    QCOMPARE(captionOf(whole), u"Exif text"_s);
    const QStringList possible{QString(), u"Exif text"_s, u"Iptc text"_s, u"Xmp text"_s};
    // Cut anywhere: a block that is not whole is passed over for the next, and gives no time.
    const QDateTime taken(QDate(2008, 6, 14), QTime(18, 42, 5), Qt::UTC);
    for (qsizetype cut = 0; cut < whole.size(); cut += 3) {
        QVERIFY2(possible.contains(captionOf(whole.left(cut))), qPrintable(QString::number(cut)));
        QBuffer buffer;
        buffer.setData(whole.left(cut));
        buffer.open(QIODevice::ReadOnly);
        const QDateTime read = PhotoTime::read(buffer);
        QVERIFY2(!read.isValid() || read == taken, qPrintable(QString::number(cut)));
    }

    // The time sits in a directory of its own that the first one points to: the pointer and the
    // text are checked against the block's end like every other offset.
    auto withTime = [](quint32 pointer) {
        // Header; the first directory: one entry, the pointer; the Exif directory at 26: one
        // entry, DateTimeOriginal as 20 characters at 44.
        return QByteArray::fromHex("4D4D002A00000008"
                                   "00018769000400000001" +
                                   QByteArray::number(pointer, 16).rightJustified(8, '0') +
                                   "00000000"
                                   "000190030002000000140000002C00000000") +
               QByteArray("2008:06:14 18:42:05", 20);
    };
    QCOMPARE(ExifBlock::read(withTime(26))->dateTaken, QByteArray("2008:06:14 18:42:05"));
    for (const quint32 pointer : {0u, 43u, 0xFFFFFFF0u})
        QCOMPARE(ExifBlock::read(withTime(pointer))->dateTaken, QByteArray());
    QCOMPARE(ExifBlock::read(withTime(26).chopped(2))->dateTaken, QByteArray());
    // Any byte of the metadata changed: whatever is read is still one bounded line.
    for (qsizetype at = 2; at < std::min<qsizetype>(whole.size(), 3000); ++at) {
        for (const char value : {'\0', '\xFF', '\x7F'}) {
            QByteArray bytes = whole;
            bytes[at] = value;
            const QString caption = captionOf(bytes);
            QVERIFY(caption.size() <= PhotoCaption::MaxLength);
            QVERIFY2(!caption.contains(u'\n') && !caption.contains(QChar(0)),
                     qPrintable(QString::number(at)));
        }
    }

    // A segment longer than the file, a chunk of 2 GB, a profile that says it is huge.
    QCOMPARE(captionOf(QByteArray("\xFF\xD8\xFF\xE1\xFF\xFF"
                                  "Exif\0\0MM",
                                  14)),
             QString());
    const QByteArray png("\x89PNG\r\n\x1A\n", 8);
    QCOMPARE(captionOf(png + QByteArray("\x7F\xFF\xFF\xFFtEXt", 8)), QString());
    QCOMPARE(captionOf(png +
                       PngChunks::chunk("tEXt",
                                        QByteArray("Raw profile type exif\0\nexif\n999999999999\n4d4d", 44))),
             QString());
    // Text compressed a thousand times is cut at a bound, not inflated whole.
    const QByteArray bomb = PngChunks::chunk("iTXt", QByteArray("XML:com.adobe.xmp\0\x01\0\0\0", 22) +
                                                         PngChunks::zlib(QByteArray(64 << 20, ' ')));
    QCOMPARE(captionOf(png + bomb), QString());
    // The same chunk holding a real packet is read.
    const QByteArray packet =
        "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
        "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"><rdf:Description "
        "xmlns:dc=\"http://purl.org/dc/elements/1.1/\"><dc:description><rdf:Alt><rdf:li "
        "xml:lang=\"x-default\">Packed</rdf:li></rdf:Alt></dc:description></rdf:Description>"
        "</rdf:RDF></x:xmpmeta>";
    QCOMPARE(captionOf(png + PngChunks::chunk("iTXt", QByteArray("XML:com.adobe.xmp\0\x01\0\0\0", 22) +
                                                          PngChunks::zlib(packet))),
             u"Packed"_s);
    QCOMPARE(captionOf(png + PngChunks::rawProfile("xmp", packet)), u"Packed"_s);
    QCOMPARE(captionOf(QByteArray("GIF89a")), QString());
    QCOMPARE(PhotoCaption::ofFile(m_dir->filePath(u"missing.jpg"_s)), QString());
}

void TestGalleryWriter::captionIsOneBoundedLine()
{
    QCOMPARE(PhotoCaption::oneLine(u"  one\n\ttwo\u0085three\r\n "_s), u"one two three"_s);
    QCOMPARE(PhotoCaption::oneLine(QString(1500, u'a')).size(), PhotoCaption::MaxLength);
    // A cut never leaves half of a character that takes two.
    const QString emoji = QString(PhotoCaption::MaxLength - 1, u'a') + u"😀"_s;
    QCOMPARE(PhotoCaption::oneLine(emoji), QString(PhotoCaption::MaxLength - 1, u'a'));
    // Nor a blank at the end: a caption read once reads the same again.
    QCOMPARE(PhotoCaption::oneLine(QString(PhotoCaption::MaxLength - 1, u'a') + u"  b"_s),
             QString(PhotoCaption::MaxLength - 1, u'a'));
}

void TestGalleryWriter::sizesAreReadFromTheWrittenFilesAsABrowserShowsThem()
{
    const QString root = m_dir->filePath(u"photos"_s);
    const QString destination = m_dir->filePath(u"web"_s);
    const OutputLayout layout(root, destination, u"100x100"_s, u"tn_"_s);
    const QString source = image(u"photos/phone.jpg"_s, 40, 30);
    tag(source, {u"-ImageDescription=From the photo"_s, u"-DateTimeOriginal=2008:06:14 18:42:05"_s});
    // Stored 400 wide and 200 high and turned a quarter by its tag: a browser shows it standing.
    const QString copy = image(u"web/phone.jpg"_s, 400, 200);
    tag(copy, {u"-Orientation#=6"_s, u"-ImageDescription=From the copy"_s});
    image(u"web/tn_phone.jpg"_s, 100, 50);
    image(u"web/phone.jpg.300w.jpg"_s, 300, 150);
    image(u"web/phone.jpg.600w.jpg"_s, 400, 200);
    image(u"web/phone.jpg.1200w.jpg"_s, 400, 200);
    QCOMPARE(GalleryWriter::measure(source, layout),
             (GalleryPicture{u"From the photo"_s,
                             QSize(200, 400),
                             u"tn_phone.jpg"_s,
                             QSize(100, 50),
                             {{u"phone.jpg.300w.jpg"_s, QSize(300, 150)},
                              {u"phone.jpg.600w.jpg"_s, QSize(400, 200)},
                              {u"phone.jpg.1200w.jpg"_s, QSize(400, 200)}},
                             QDateTime(QDate(2008, 6, 14), QTime(18, 42, 5), Qt::UTC)}));

    // A copy that is no picture, no thumbnail and half a pair of previews: none has a size.
    const QString other = image(u"photos/other.png"_s, 10, 10);
    QFile garbage(m_dir->filePath(u"web/other.png"_s));
    QVERIFY(garbage.open(QIODevice::WriteOnly) && garbage.write("not a picture") > 0);
    garbage.close();
    image(u"web/other.png.300w.png"_s, 10, 10);
    QCOMPARE(GalleryWriter::measure(other, layout), (GalleryPicture{}));
}

void TestGalleryWriter::timeTakenComesFromExifDateTimeOriginal()
{
    // From a PNG's metadata as from a JPEG's (measured above); a camera's blank is no time.
    const QString png = image(u"photo.png"_s, 64, 48);
    tag(png, {u"-DateTimeOriginal=2008:06:14 18:42:05"_s});
    QCOMPARE(PhotoTime::ofFile(png), QDateTime(QDate(2008, 6, 14), QTime(18, 42, 5), Qt::UTC));
    const QString blank = image(u"blank.jpg"_s, 64, 48);
    tag(blank, {u"-DateTimeOriginal#=0000:00:00 00:00:00"_s});
    QCOMPARE(PhotoTime::ofFile(blank), QDateTime());
    QCOMPARE(PhotoTime::parsed("2008:02:30 10:00:00"), QDateTime());
    QCOMPARE(PhotoTime::parsed("2008-06-14 18:42:05"), QDateTime());
    QCOMPARE(PhotoTime::shown(QDateTime(QDate(2008, 6, 4), QTime(8, 2), Qt::UTC)), u"4 June 2008, 08:02"_s);
}

void TestGalleryWriter::surveyOrdersByTimeTakenElseFileTimeAndFindsPreviews()
{
    const OutputLayout layout(m_dir->filePath(u"photos"_s), m_dir->filePath(u"web"_s), u"Disabled"_s,
                              u"tn_"_s);
    // Taken in the order c, b, a: b by its file's time, between the others'.
    const QStringList entries{image(u"photos/a.jpg"_s, 8, 8), image(u"photos/b.jpg"_s, 8, 8),
                              image(u"photos/c.jpg"_s, 8, 8)};
    tag(entries[0], {u"-DateTimeOriginal=2008:01:03 12:00:00"_s});
    tag(entries[2], {u"-DateTimeOriginal=2008:01:01 12:00:00"_s});
    QFile b(entries[1]);
    QVERIFY(b.open(QIODevice::ReadWrite) &&
            b.setFileTime(QDateTime(QDate(2008, 1, 2), QTime(12, 0)), QFileDevice::FileModificationTime));
    b.close();
    // Both of a's previews, one of b's.
    image(u"web/a.jpg.300w.jpg"_s, 8, 8);
    image(u"web/a.jpg.600w.jpg"_s, 8, 8);
    image(u"web/a.jpg.1200w.jpg"_s, 8, 8);
    image(u"web/b.jpg.300w.jpg"_s, 8, 8);

    const GalleryPlan taken = GallerySurvey::plan(layout, GalleryOptions(), entries);
    QCOMPARE(taken.images(u""_s), (QStringList{entries[2], entries[1], entries[0]}));
    QCOMPARE(taken.waves().first(), (QStringList{u"pexa-gallery.css"_s, u"a.jpg.300w.jpg"_s,
                                                 u"a.jpg.600w.jpg"_s, u"a.jpg.1200w.jpg"_s}));
    GalleryOptions byName;
    byName.order = GalleryOptions::Order::Name;
    QCOMPARE(GallerySurvey::plan(layout, byName, entries).images(u""_s), entries);
}

void TestGalleryWriter::shownEntriesLeaveOutTickedImagesAndMissingCopies()
{
    const OutputLayout layout(m_dir->filePath(u"photos"_s), m_dir->filePath(u"web"_s), u"Disabled"_s,
                              u"tn_"_s);
    const QStringList entries{image(u"photos/a.png"_s, 4, 4), image(u"photos/b.png"_s, 4, 4),
                              image(u"photos/c.png"_s, 4, 4), image(u"photos/d.png"_s, 4, 4)};
    image(u"web/a.png"_s, 4, 4);
    image(u"web/b.png"_s, 4, 4);
    image(u"web/d.png"_s, 4, 4);
    QCOMPARE(GalleryPlan::shownEntries(catalogOf(entries, {false, true, false, false}), layout),
             (QStringList{entries[0], entries[3]}));
}

void TestGalleryWriter::pagesAreRewrittenOnlyWhenTheyChange()
{
    const QString root = m_dir->filePath(u"photos"_s);
    const QString destination = m_dir->filePath(u"web"_s);
    const OutputLayout layout(root, destination, u"100x100"_s, u"tn_"_s);
    QStringList entries;
    for (const QString &name : {u"top.jpg"_s, u"trip/one.jpg"_s, u"trip/two.jpg"_s}) {
        entries.append(image(u"photos/"_s + name, 64, 48));
        image(u"web/"_s + name, 32, 24);
        image(u"web/"_s + OutputLayout::folderOf(name) + u"/tn_"_s + OutputLayout::fileName(name), 16, 12);
    }
    // A folder of the tree with no image gets nothing.
    QVERIFY(QDir().mkpath(destination + u"/empty"_s));
    const GalleryPlan plan(layout, GalleryOptions(), entries);

    // Cancelled before it began: nothing is written.
    QCOMPARE(GalleryWriter(plan, u"Trip"_s).write([] { return true; }), 0);
    QVERIFY(!QFile::exists(destination + u"/index.html"_s));

    QCOMPARE(GalleryWriter(plan, u"Trip"_s).write(), 6);
    const QStringList pages{u"index.html"_s,      u"pexa-gallery.css"_s,        u"top.jpg.index.html"_s,
                            u"trip/index.html"_s, u"trip/one.jpg.index.html"_s, u"trip/two.jpg.index.html"_s};
    QCOMPARE(filesBelow(destination),
             (QStringList{u"index.html"_s, u"pexa-gallery.css"_s, u"tn_top.jpg"_s, u"top.jpg"_s,
                          u"top.jpg.index.html"_s, u"trip/index.html"_s, u"trip/one.jpg"_s,
                          u"trip/one.jpg.index.html"_s, u"trip/tn_one.jpg"_s, u"trip/tn_two.jpg"_s,
                          u"trip/two.jpg"_s, u"trip/two.jpg.index.html"_s}));
    QVERIFY(readFile(destination + u"/trip/index.html"_s)
                .contains("src=\"tn_one.jpg\" width=\"16\" height=\"12\""));

    // Written again unchanged: the same bytes and the old times.
    const QDateTime old(QDate(2001, 2, 3), QTime(4, 5, 6), Qt::UTC);
    QHash<QString, QByteArray> before;
    for (const QString &page : pages) {
        QFile file(destination + u'/' + page);
        QVERIFY(file.open(QIODevice::ReadWrite) && file.setFileTime(old, QFileDevice::FileModificationTime));
        before.insert(page, file.readAll());
    }
    QCOMPARE(GalleryWriter(plan, u"Trip"_s).write(), 0);
    for (const QString &page : pages) {
        QCOMPARE(readFile(destination + u'/' + page), before.value(page));
        QCOMPARE(QFileInfo(destination + u'/' + page).lastModified().toUTC(), old);
    }

    // A new caption changes only the pages that show it: the album's and the photo's own.
    tag(entries[1], {u"-ImageDescription=First day"_s});
    QCOMPARE(GalleryWriter(plan, u"Trip"_s).write(), 2);
    QVERIFY(
        readFile(destination + u"/trip/index.html"_s).contains("<span class=\"caption\">First day</span>"));
    QVERIFY(readFile(destination + u"/trip/one.jpg.index.html"_s).contains("<h1>First day</h1>"));
    QCOMPARE(QFileInfo(destination + u"/index.html"_s).lastModified().toUTC(), old);
    QCOMPARE(QFileInfo(destination + u"/trip/two.jpg.index.html"_s).lastModified().toUTC(), old);
    // A new title changes every page, not the stylesheet.
    QCOMPARE(GalleryWriter(plan, u"Journey"_s).write(), 5);
    QCOMPARE(QFileInfo(destination + u"/pexa-gallery.css"_s).lastModified().toUTC(), old);
    // A page made shorter or longer by hand is put right.
    QFile top(destination + u"/index.html"_s);
    QVERIFY(top.open(QIODevice::Append) && top.write("x") == 1);
    top.close();
    QCOMPARE(GalleryWriter(plan, u"Journey"_s).write(), 1);
    QVERIFY(!readFile(destination + u"/index.html"_s).endsWith("x"));
    // Every page went in under a temporary name that is gone.
    QCOMPARE(filesBelow(destination).filter(u".part"_s), QStringList());
}

void TestGalleryWriter::everyPageParsesAsHtml5()
{
    // Hostile names and captions, with thumbnails and without.
    const QString root = m_dir->filePath(u"photos"_s);
    QStringList entries;
    for (const QString &name : {u"a&b \"c\" <d>#1 é.jpg"_s, u"x&y <z>/100% c:d?.png"_s,
                                u"x&y <z>/bell\u0007.jpg"_s, u"only/folders/here/deep.jpg"_s}) {
        entries.append(image(u"photos/"_s + name, 64, 48));
        image(u"web/"_s + name, 64, 48);
        image(u"web/"_s + OutputLayout::folderOf(name) + u"/tn_"_s + OutputLayout::fileName(name), 16, 12);
    }
    tag(entries[0], {u"-ImageDescription=<script>alert(\"x\")</script> & more"_s});
    tag(entries[3], {u"-XMP-dc:Description=Bell \u0007 and tab\t"_s});
    QStringList pages;
    for (const QString &thumbnails : {u"100x100"_s, u"Disabled"_s}) {
        const OutputLayout layout(root, m_dir->filePath(u"web"_s), thumbnails, u"tn_"_s);
        // One way with previews and a web address, the other with neither.
        GalleryOptions options;
        options.pageName = thumbnails == u"Disabled"_s ? u"plain.htm"_s : u"index.html"_s;
        if (thumbnails != u"Disabled"_s) {
            options.webAddress = u"https://example.org/a%20b/"_s;
            for (const QString &entry : entries) {
                for (const int width : OutputLayout::PreviewWidths)
                    image(layout.previewPath(entry, width).mid(m_dir->path().size() + 1), width / 10,
                          width / 20);
            }
        }
        const GalleryPlan plan = GallerySurvey::plan(layout, options, entries);
        GalleryWriter(plan, u"<Tom> & \"Jerry\""_s).write();
        for (const QString &folder : plan.folders()) {
            pages.append(layout.destinationRoot() + u'/' + plan.pagePath(folder));
            for (const QString &entry : plan.images(folder))
                pages.append(layout.destinationRoot() + u'/' + plan.photoPagePath(entry));
        }
    }
    QCOMPARE(pages.size(), 18);
    QVERIFY(readFile(pages.first()).contains("srcset="));

    QProcess check;
    check.start(Python, QStringList{CheckHtml5} + pages);
    QVERIFY(check.waitForFinished(60000));
    QVERIFY2(check.exitCode() == 0, check.readAllStandardOutput().constData());

    // The check does fail on a page that is not valid.
    QFile broken(m_dir->filePath(u"broken.html"_s));
    QVERIFY(broken.open(QIODevice::WriteOnly) && broken.write("<!DOCTYPE html><title>t</title><p>a</b>") > 0);
    broken.close();
    check.start(Python, {CheckHtml5, broken.fileName()});
    QVERIFY(check.waitForFinished(60000));
    QCOMPARE(check.exitCode(), 1);
}

QTEST_MAIN(TestGalleryWriter)
#include "tst_gallerywriter.moc"
