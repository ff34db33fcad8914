#include "CatalogHelpers.h"
#include "ErrorRecorder.h"
#include "ImageProcessor.h"
#include "QuietResizeHost.h"
#include "ResizeBatch.h"
#include "RunState.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

// The resize batch with the real image processor against damaged photos, long names, and a
// destination that is read-only or fills up: no crash, nothing truncated or half-written left
// behind, and every failure reported. The disk faults need a file system of their own, mounted
// in the private mount namespace the test runs in.
class TestResizeFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void damagedPhotosAmongGoodOnes();
    void longestNamesResizeAndGetThumbnails();
    void readOnlyDestinationChangesNothing();
    void fullDiskLeavesOnlyWholeFiles();

private:
    ResizeInputs inputs(const QString &destination);
    QString photo(const QString &name, int width, int height, int quality = 90);
    bool mountTmpfs(const QString &folder, const QString &options);

    QTemporaryDir m_dir;
    QStringList m_mounts;
    ErrorRecorder m_errors;
};

void TestResizeFaults::initTestCase()
{
    QDir().mkpath(m_dir.filePath(u"in"_s));
}

void TestResizeFaults::cleanup()
{
    for (const QString &mount : std::as_const(m_mounts))
        QProcess::execute(u"umount"_s, {mount});
    m_mounts.clear();
    const QStringList left = m_errors.leftovers();
    QVERIFY2(left.isEmpty(), qPrintable(left.join(u"; "_s)));
}

QString TestResizeFaults::photo(const QString &name, int width, int height, int quality)
{
    // Noise does not compress, so the sizes are those of real photographs.
    QImage image(width, height, QImage::Format_RGB32);
    quint32 seed = 7;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            image.setPixel(x, y, seed >> 8);
        }
    }
    const QString path = m_dir.filePath(u"in/"_s + name);
    if (!image.save(path, nullptr, quality))
        qWarning("could not write %s", qPrintable(path));
    return path;
}

ResizeInputs TestResizeFaults::inputs(const QString &destination)
{
    return {u"All to Pct"_s,         u"90"_s,     u"600W"_s, u"20x20"_s, u"tn_"_s, true,
            m_dir.filePath(u"in"_s), destination, u"1000"_s};
}

bool TestResizeFaults::mountTmpfs(const QString &folder, const QString &options)
{
    QDir().mkpath(folder);
    if (QProcess::execute(u"mount"_s, {u"-t"_s, u"tmpfs"_s, u"-o"_s, options, u"tmpfs"_s, folder}) != 0)
        return false;
    m_mounts.append(folder);
    return true;
}

void TestResizeFaults::damagedPhotosAmongGoodOnes()
{
    const QString good = photo(u"good.jpg"_s, 200, 150);
    const QString truncated = photo(u"truncated.jpg"_s, 200, 150);
    {
        QFile file(truncated);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.resize(file.size() / 2));
    }
    {
        QFile file(m_dir.filePath(u"in/corrupt.jpg"_s));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("\xff\xd8\xff\xe0") + QByteArray(4000, '\x5a'));
    }
    ResizeInputs in = inputs(m_dir.filePath(u"out"_s));
    const Catalog catalog = catalogOf({good, truncated, m_dir.filePath(u"in/corrupt.jpg"_s)});
    RunState run;
    QuietResizeHost host;
    ResizeBatch batch(in, catalog, run, host);
    QCOMPARE(batch.run(), ResizeBatch::Outcome::Finished);
    QCOMPARE(batch.processed(), 3);
    // The corrupt photo has no output: its size step reports it, and the batch goes on.
    QCOMPARE(m_errors.take(), QStringList{u"frmMain/GetFSize/53"_s});
    QCOMPARE(filesBelow(m_dir.filePath(u"out"_s)),
             (QStringList{u"good.jpg"_s, u"tn_corrupt.jpg"_s, u"tn_good.jpg"_s, u"tn_truncated.jpg"_s,
                          u"truncated.jpg"_s}));
    // A truncated JPEG converts as the command converts it: the part that is there.
    QCOMPARE(QImageReader(m_dir.filePath(u"out/truncated.jpg"_s)).size(), QSize(180, 135));
    QCOMPARE(QImageReader(m_dir.filePath(u"out/good.jpg"_s)).size(), QSize(180, 135));
    QDir(m_dir.filePath(u"in"_s)).removeRecursively();
    QDir().mkpath(m_dir.filePath(u"in"_s));
}

void TestResizeFaults::longestNamesResizeAndGetThumbnails()
{
    // 251 bytes, and its thumbnail's name the 255 a folder allows.
    const QString name = QString(247, u'p') + u".jpg"_s;
    ResizeInputs in = inputs(m_dir.filePath(u"long"_s));
    in.thumbnailPrefix = u"tn_"_s;
    const Catalog catalog = catalogOf({photo(name, 120, 80)});
    RunState run;
    QuietResizeHost host;
    ResizeBatch batch(in, catalog, run, host);
    QCOMPARE(batch.run(), ResizeBatch::Outcome::Finished);
    QCOMPARE(filesBelow(m_dir.filePath(u"long"_s)), (QStringList{name, u"tn_"_s + name}));
    QCOMPARE(QImageReader(m_dir.filePath(u"long/"_s + name)).size(), QSize(108, 72));
    QCOMPARE(QImageReader(m_dir.filePath(u"long/tn_"_s + name)).size(), QSize(20, 13));
}

void TestResizeFaults::readOnlyDestinationChangesNothing()
{
    const QString destination = m_dir.filePath(u"readonly"_s);
    if (!mountTmpfs(destination, u"ro,size=1m"_s))
        QSKIP("needs root in a private mount namespace (the test command runs it in one)");
    ResizeInputs in = inputs(destination + u"/gallery"_s);
    const Catalog catalog = catalogOf({photo(u"a.jpg"_s, 120, 80), photo(u"b.jpg"_s, 120, 80)});
    RunState run;
    QuietResizeHost host;
    ResizeBatch batch(in, catalog, run, host);
    QCOMPARE(batch.run(), ResizeBatch::Outcome::Failed);
    QCOMPARE(batch.processed(), 0);
    const QStringList reports = m_errors.take();
    QCOMPARE(reports.size(), 1);
    QVERIFY2(reports.first().startsWith(u"frmMain/cmdResize_Click/"_s), qPrintable(reports.first()));
    QCOMPARE(filesBelow(destination), QStringList());
}

void TestResizeFaults::fullDiskLeavesOnlyWholeFiles()
{
    const QString destination = m_dir.filePath(u"full"_s);
    if (!mountTmpfs(destination, u"size=160k"_s))
        QSKIP("needs root in a private mount namespace (the test command runs it in one)");
    ResizeInputs in = inputs(destination);
    in.thumbnailSize = u"Disabled"_s;
    Catalog catalog;
    for (int i = 0; i < 6; ++i) {
        catalog.addEntry(photo(u"p%1.jpg"_s.arg(i), 240, 180, 95));
        catalog.setTicked(i, i % 2 == 1);
    }
    RunState run;
    QuietResizeHost host;
    ResizeBatch batch(in, catalog, run, host);
    batch.run();
    const QStringList reports = m_errors.take();
    QVERIFY2(!reports.isEmpty(), "a full disk went unreported");
    // Whatever is there is whole: no temporary file, no truncated photo.
    const QStringList left = filesBelow(destination);
    QVERIFY(left.size() < catalog.size());
    for (const QString &file : left) {
        QVERIFY2(!file.startsWith(u'.'), qPrintable(file));
        QImageReader reader(destination + u'/' + file);
        QVERIFY2(!reader.read().isNull(), qPrintable(file + u": "_s + reader.errorString()));
    }
}

QTEST_GUILESS_MAIN(TestResizeFaults)
#include "tst_resizefaults.moc"
