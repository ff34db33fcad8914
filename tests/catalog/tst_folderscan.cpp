#include "CatalogActions.h"
#include "DimensionLine.h"
#include "ErrorRecorder.h"
#include "FileSystem.h"
#include "FolderScan.h"
#include "RunTimeError.h"
#include "ScanHost.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {

// Records what a scan hands over, in order, and can cancel at any yield.
class RecordingHost : public ScanHost
{
public:
    bool yieldCancelled() override
    {
        ++yields;
        if (yields == cancelAtYield)
            cancelled = true;
        return cancelled;
    }
    void requestCancel() override { cancelled = true; }
    double fileSize(const QString &path) override { return FileSystem::GetFSize(path); }
    void addImage(const QString &path) override
    {
        images.append(path);
        if (images.size() == cancelAtImage)
            cancelled = true;
    }
    void addFolder(const QString &path) override { folders.append(path); }
    // Every file the walk looks at is counted before it goes on.
    void showProgress(double imagesFound, double filesScanned) override
    {
        progress = u"%1/%2"_s.arg(imagesFound).arg(filesScanned);
        if (filesScanned > examined.size())
            examined.append(progress);
        if (cancelled && filesScanned > examinedBeforeCancel)
            examinedAfterCancel.append(progress);
        if (!cancelled)
            examinedBeforeCancel = filesScanned;
    }

    QStringList images;
    QStringList folders;
    QStringList examined;
    QStringList examinedAfterCancel;
    double examinedBeforeCancel = 0;
    QString progress;
    bool cancelled = false;
    int yields = 0;
    int cancelAtYield = -1;
    qsizetype cancelAtImage = -1;
};

QStringList sortedListing(const QString &folder, QStringList *unreadable)
{
    QStringList names = FileSystem::ListFolder(folder, unreadable);
    names.sort();
    return names;
}

} // namespace

class TestFolderScan : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void extensionMatching_data();
    void extensionMatching();
    void scanRootHasOneSeparator();
    void threeImagesOfTenAndSubFolderA();
    void extensionCasesFoldersAndPostOrder();
    void linksToFoldersAreNotWalked();
    void unreadableSizeIsReportedAndCounted();
    void missingRootIsEmptyAndSilent();
    void unlistableFolderEndsTheWalk();
    void unreadableFolderByPermissions();
    void cancelAtAnyYieldExaminesNoFurtherFile();
    void cancelAfterAnImageKeepsWhatWasListed();
    void limitStopsAtTheNextImage();
    void dimensionLineRoundsHalfToEven();

private:
    QString root() const { return m_dir->path() + u'/'; }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestFolderScan::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestFolderScan::extensionMatching_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("position");
    QTest::newRow("jpg") << u"/p/PHOTO.JPG"_s << 1;
    QTest::newRow("jpeg") << u"/p/photo.jpeg"_s << 2;
    QTest::newRow("bmp") << u"/p/a.Bmp"_s << 3;
    QTest::newRow("hidden gif") << u"/p/.h.gif"_s << 4;
    QTest::newRow("png") << u"/p/x.Png"_s << 5;
    QTest::newRow("non-ascii name") << u"/Bilder/Fähre über Zürich.jpg"_s << 1;
    QTest::newRow("upper-cased dotless i") << u"/p/x.g\u0131f"_s << 4;
    QTest::newRow("jpe") << u"/p/x.jpe"_s << 0;
    QTest::newRow("tif") << u"/p/x.tif"_s << 0;
    QTest::newRow("jpg.txt") << u"/p/x.jpg.txt"_s << 0;
    QTest::newRow("no dot") << u"/p/jpg"_s << 0;
    QTest::newRow("extension of a folder") << u"/p/y.jpg/z"_s << 0;
    QTest::newRow("empty") << QString() << 0;
}

void TestFolderScan::extensionMatching()
{
    QFETCH(QString, path);
    QFETCH(int, position);
    QCOMPARE(FolderScan::Chk_Extension(path), position);
}

void TestFolderScan::scanRootHasOneSeparator()
{
    QCOMPARE(FolderScan::scanRoot(u"/photos"_s), u"/photos/"_s);
    QCOMPARE(FolderScan::scanRoot(u"/photos/"_s), u"/photos/"_s);
    QCOMPARE(FolderScan::scanRoot(u"/"_s), u"/"_s);
}

void TestFolderScan::threeImagesOfTenAndSubFolderA()
{
    const QStringList rootFiles = {u"a.jpg"_s, u"b.txt"_s, u"c.gif"_s, u"d.doc"_s, u"e.png"_s,
                                   u"f.xmp"_s, u"g.mov"_s, u"h.cr2"_s, u"i.tif"_s, u"j.jp"_s};
    for (const QString &name : rootFiles)
        QVERIFY(writeFile(root() + name));
    QVERIFY(writeFile(root() + u"A/one.JPG"_s));
    QVERIFY(writeFile(root() + u"A/two.bmp"_s));

    // The platform's listing order decides where A's images fall among the root's.
    QStringList expected;
    for (const QString &name : FileSystem::ListFolder(root())) {
        if (name == u"A"_s) {
            for (const QString &inner : FileSystem::ListFolder(root() + u"A/"_s))
                expected.append(root() + u"A/"_s + inner);
        } else if (FolderScan::Chk_Extension(name) != 0) {
            expected.append(root() + name);
        }
    }

    ErrorRecorder errors;
    RecordingHost host;
    FolderScan scan(host, u"frmMain"_s);
    scan.GetFileList(m_dir->path());
    QCOMPARE(host.images, expected);
    QCOMPARE(host.images.size(), 5);
    QCOMPARE(host.folders, QStringList{root() + u"A"_s});
    QCOMPARE(host.progress, u"5/12"_s);
    QCOMPARE(scan.imagesFound(), 5.0);
    QCOMPARE(scan.filesScanned(), 12.0);
    QVERIFY(errors.reports.isEmpty());
}

void TestFolderScan::extensionCasesFoldersAndPostOrder()
{
    for (const QString &name :
         {u"photo.jpeg"_s, u"PHOTO.JPG"_s, u"x.Png"_s, u".h.gif"_s, u"x.jpe"_s, u"x.tif"_s, u"x.jpg.txt"_s,
          u"y.jpg/z.gif"_s, u"deep/inner/w.bmp"_s, u"with blank/Ärger ß.JPG"_s})
        QVERIFY(writeFile(root() + name));
    QVERIFY(QDir().mkpath(root() + u"empty"_s));

    ErrorRecorder errors;
    RecordingHost host;
    FolderScan scan(host, u"frmMain"_s);
    scan.setLister(&sortedListing);
    scan.GetFileList(root());
    QCOMPARE(host.images,
             (QStringList{root() + u".h.gif"_s, root() + u"PHOTO.JPG"_s, root() + u"deep/inner/w.bmp"_s,
                          root() + u"photo.jpeg"_s, root() + u"with blank/Ärger ß.JPG"_s, root() + u"x.Png"_s,
                          root() + u"y.jpg/z.gif"_s}));
    QCOMPARE(host.folders, (QStringList{root() + u"deep/inner"_s, root() + u"deep"_s, root() + u"empty"_s,
                                        root() + u"with blank"_s, root() + u"y.jpg"_s}));
    QCOMPARE(host.progress, u"7/10"_s);
    QVERIFY(errors.reports.isEmpty());
}

void TestFolderScan::linksToFoldersAreNotWalked()
{
    QVERIFY(writeFile(root() + u"sub/a.jpg"_s));
    QVERIFY(writeFile(root() + u"real.png"_s));
    QVERIFY(QFile::link(root(), root() + u"sub/loop"_s));
    QVERIFY(QFile::link(root() + u"sub"_s, root() + u"folder.jpg"_s));
    QVERIFY(QFile::link(root() + u"real.png"_s, root() + u"alias.png"_s));

    ErrorRecorder errors;
    RecordingHost host;
    FolderScan scan(host, u"frmMain"_s);
    scan.setLister(&sortedListing);
    scan.GetFileList(root());
    QCOMPARE(host.images,
             (QStringList{root() + u"alias.png"_s, root() + u"real.png"_s, root() + u"sub/a.jpg"_s}));
    QCOMPARE(host.folders, QStringList{root() + u"sub"_s});
    QCOMPARE(scan.filesScanned(), 3.0);
    QVERIFY(errors.reports.isEmpty());
}

void TestFolderScan::unreadableSizeIsReportedAndCounted()
{
    QVERIFY(writeFile(root() + u"good.jpg"_s, "x"));
    QVERIFY(QFile::link(root() + u"gone.jpg"_s, root() + u"broken.jpg"_s));

    ErrorRecorder errors;
    RecordingHost host;
    FolderScan scan(host, u"frmMain"_s);
    scan.setLister(&sortedListing);
    scan.GetFileList(root());
    QCOMPARE(errors.summary(), QStringList{u"frmMain/GetFSize/53"_s});
    QCOMPARE(host.images, (QStringList{root() + u"broken.jpg"_s, root() + u"good.jpg"_s}));
    QCOMPARE(host.progress, u"2/2"_s);
    QCOMPARE(FileSystem::GetFSize(QString()), 0.0);
    QCOMPARE(FileSystem::GetFSize(root() + u"good.jpg"_s), 1.0);
}

void TestFolderScan::missingRootIsEmptyAndSilent()
{
    ErrorRecorder errors;
    RecordingHost host;
    FolderScan scan(host, u"frmMain"_s);
    scan.GetFileList(root() + u"not there"_s);
    QVERIFY(host.images.isEmpty());
    QVERIFY(host.folders.isEmpty());
    QVERIFY(host.progress.isEmpty());
    QVERIFY(errors.reports.isEmpty());
}

void TestFolderScan::unlistableFolderEndsTheWalk()
{
    QVERIFY(writeFile(root() + u"a.jpg"_s));
    QVERIFY(writeFile(root() + u"b/in.jpg"_s));
    QVERIFY(writeFile(root() + u"c/locked/x.jpg"_s));
    QVERIFY(writeFile(root() + u"c/zz.jpg"_s));
    QVERIFY(writeFile(root() + u"d.jpg"_s));

    ErrorRecorder errors;
    RecordingHost host;
    FolderScan scan(host, u"frmMain"_s);
    scan.setLister([this](const QString &folder, QStringList *unreadable) {
        if (folder == root() + u"c/locked/"_s)
            throw RunTimeError(RunTimeError::PermissionDenied, u"Permission denied: "_s + folder);
        return sortedListing(folder, unreadable);
    });
    scan.GetFileList(root());
    QCOMPARE(errors.summary(), (QStringList{u"frmMain/FolderItems/70"_s, u"frmMain/GetFileList/70"_s}));
    // What was found before stays; nothing after the failure is walked or appended.
    QCOMPARE(host.images, (QStringList{root() + u"a.jpg"_s, root() + u"b/in.jpg"_s}));
    QCOMPARE(host.folders, QStringList{root() + u"b"_s});
}

void TestFolderScan::unreadableFolderByPermissions()
{
    if (::geteuid() == 0)
        QSKIP("permissions do not stop root; the injected failure covers this case");
    QVERIFY(writeFile(root() + u"a.jpg"_s));
    QVERIFY(writeFile(root() + u"locked/x.jpg"_s));
    QVERIFY(QFile::setPermissions(root() + u"locked"_s, QFileDevice::Permissions()));
    ErrorRecorder errors;
    RecordingHost host;
    FolderScan scan(host, u"frmMain"_s);
    scan.GetFileList(root());
    QFile::setPermissions(root() + u"locked"_s,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QCOMPARE(errors.summary(), (QStringList{u"frmMain/FolderItems/70"_s, u"frmMain/GetFileList/70"_s}));
}

void TestFolderScan::cancelAtAnyYieldExaminesNoFurtherFile()
{
    for (const QString &name :
         {u"a.jpg"_s, u"b.txt"_s, u"s/c.png"_s, u"s/d.txt"_s, u"s/t/e.gif"_s, u"f.bmp"_s})
        QVERIFY(writeFile(root() + name));
    RecordingHost full;
    FolderScan(full, u"frmMain"_s).GetFileList(root());
    QVERIFY(full.yields > 10);

    for (int at = 1; at <= full.yields; ++at) {
        RecordingHost host;
        host.cancelAtYield = at;
        FolderScan scan(host, u"frmMain"_s);
        scan.GetFileList(root());
        QVERIFY2(host.examinedAfterCancel.isEmpty(), qPrintable(u"cancel at yield %1"_s.arg(at)));
        // The walk stops at once: one more check per open folder level at most.
        QVERIFY2(host.yields <= at + 3,
                 qPrintable(u"cancel at yield %1 ran on to %2"_s.arg(at).arg(host.yields)));
        QVERIFY(host.examined.size() <= full.examined.size());
    }
}

void TestFolderScan::cancelAfterAnImageKeepsWhatWasListed()
{
    for (int k = 0; k < 6; ++k)
        QVERIFY(writeFile(root() + u"s/%1.jpg"_s.arg(k)));
    RecordingHost host;
    host.cancelAtImage = 3;
    FolderScan scan(host, u"frmMain"_s);
    scan.GetFileList(root());
    QCOMPARE(host.images.size(), 3);
    QCOMPARE(host.examined.size(), 3);
    QCOMPARE(host.progress, u"3/3"_s);
    // The folder whose walk was stopped is still appended.
    QCOMPARE(host.folders, QStringList{root() + u"s"_s});
}

void TestFolderScan::limitStopsAtTheNextImage()
{
    for (int k = 0; k < 5; ++k)
        QVERIFY(writeFile(root() + u"%1.jpg"_s.arg(k)));
    QVERIFY(writeFile(root() + u"note.txt"_s));
    RecordingHost host;
    FolderScan scan(host, u"frmMain"_s, 3);
    scan.setLister(&sortedListing);
    scan.GetFileList(root());
    QCOMPARE(host.images, (QStringList{root() + u"0.jpg"_s, root() + u"1.jpg"_s, root() + u"2.jpg"_s}));
    QVERIFY(host.cancelled);
    // The fourth image was examined and counted as found, but not listed.
    QCOMPARE(scan.imagesFound(), 4.0);
    QCOMPARE(scan.filesScanned(), 4.0);
    QCOMPARE(host.progress, u"4/4"_s);
}

void TestFolderScan::dimensionLineRoundsHalfToEven()
{
    QCOMPARE(DimensionLine(480, 640, 24, 58368), u"480x640x24  57K"_s);
    QCOMPARE(DimensionLine(480, 640, 24, 58880), u"480x640x24  58K"_s);
    QCOMPARE(DimensionLine(1, 2, 8, 1536), u"1x2x8  2K"_s);
    QCOMPARE(DimensionLine(1, 2, 8, 2560), u"1x2x8  2K"_s);
    QCOMPARE(DimensionLine(1, 2, 8, 2561), u"1x2x8  3K"_s);
    QCOMPARE(DimensionLine(0, 0, 0, 511), u"0x0x0  0K"_s);
    QCOMPARE(DimensionLine(0, 0, 0, 512), u"0x0x0  0K"_s);
    QCOMPARE(DimensionLine(64936, 65535, 255, 5e9), u"64936x65535x255  4882812K"_s);
}

QTEST_MAIN(TestFolderScan)
#include "tst_folderscan.moc"
