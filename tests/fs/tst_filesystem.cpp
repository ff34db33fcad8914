#include "DestinationPath.h"
#include "FileSystem.h"
#include "RunTimeError.h"
#include "TemporaryName.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <limits>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

class TestFileSystem : public QObject
{
    Q_OBJECT

private slots:
    void copyReplacesTargetAndLeavesNoTemporaryFile();
    void copyIntoFolderKeepsTheFileName();
    void failedCopyLeavesNoTruncatedTarget();
    void sizesAndListings();
    void makeFolderReportsExistingFolderAs75();
    void readingAHeadNeverCreatesTheFile();
    void folderLinksAreToldApartFromFolders();
    void longAndUnreadableNames();
    void staleTemporariesOfDeadProgramsOnlyAreRemoved();
    void temporaryNamesTellTheirWriter_data();
    void temporaryNamesTellTheirWriter();
    void destinationJoinsRootsWithOneSeparator_data();
    void destinationJoinsRootsWithOneSeparator();

private:
    static void writeFile(const QString &path, const QByteArray &bytes);
};

void TestFileSystem::longAndUnreadableNames()
{
    QTemporaryDir dir;
    // A name near the 255-byte limit: the temporary name beside it must still fit.
    const QString name = QString(246, u'n') + u".jpg"_s;
    writeFile(dir.filePath(u"in.jpg"_s), "photo");
    QVERIFY(QDir().mkpath(dir.filePath(u"out"_s)));
    FileSystem::CopyFile(dir.filePath(u"in.jpg"_s), dir.filePath(u"out/"_s) + name, true);
    QCOMPARE(QDir(dir.filePath(u"out"_s)).entryList(QDir::Files | QDir::Hidden), QStringList{name});
    QVERIFY(QFileInfo(FileSystem::temporarySibling(dir.filePath(u"out/"_s) + name)).fileName().size() < 40);

    // A name in another code page is no text: it is told apart, with its bytes written out.
    const QByteArray latin1 = QFile::encodeName(dir.path()) + "/caf\xe9.jpg";
    const int fd = ::open(latin1.constData(), O_CREAT | O_WRONLY, 0644);
    QVERIFY(fd >= 0);
    ::close(fd);
    QStringList unreadable;
    QStringList names = FileSystem::ListFolder(dir.path(), &unreadable);
    names.sort();
    QCOMPARE(names, (QStringList{u"in.jpg"_s, u"out"_s}));
    QCOMPARE(unreadable, QStringList{u"caf\\xE9.jpg"_s});
}

void TestFileSystem::staleTemporariesOfDeadProgramsOnlyAreRemoved()
{
    QTemporaryDir dir;
    const QString ours = QFileInfo(FileSystem::temporarySibling(dir.filePath(u"a.jpg"_s))).fileName();
    // The highest process number the system hands out is never in use.
    const QString dead = u".pexa-%1-7.part"_s.arg(std::numeric_limits<int>::max());
    const QStringList kept = {ours, u".pexa-1-3.part"_s, u".pexa-x-1.part"_s, u"photo.part"_s, u"a.jpg"_s};
    for (const QString &name : kept + QStringList{dead})
        writeFile(dir.filePath(name), "x");
    QCOMPARE(FileSystem::removeStaleTemporaries(dir.path()), 1);
    QStringList left = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
    left.sort();
    QStringList expected = kept;
    expected.sort();
    QCOMPARE(left, expected);
}

void TestFileSystem::temporaryNamesTellTheirWriter_data()
{
    QTest::addColumn<QString>("name");
    // -1: not a temporary name at all.
    QTest::addColumn<qint64>("writer");
    QTest::newRow("this program's") << TemporaryName::of(7) << QCoreApplication::applicationPid();
    QTest::newRow("another program's") << u".pexa-4242-17.part"_s << qint64(4242);
    QTest::newRow("process too long to read") << u".pexa-99999999999999999999-1.part"_s << qint64(0);
    QTest::newRow("not hidden") << u"pexa-1-1.part"_s << qint64(-1);
    QTest::newRow("no process") << u".pexa-x-1.part"_s << qint64(-1);
    QTest::newRow("no number") << u".pexa-1-.part"_s << qint64(-1);
    QTest::newRow("more after it") << u".pexa-1-1.part.jpg"_s << qint64(-1);
}

void TestFileSystem::temporaryNamesTellTheirWriter()
{
    QFETCH(QString, name);
    QFETCH(qint64, writer);
    QCOMPARE(TemporaryName::writer(name).value_or(-1), writer);
}

void TestFileSystem::writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

void TestFileSystem::copyReplacesTargetAndLeavesNoTemporaryFile()
{
    QTemporaryDir dir;
    const QString source = dir.filePath(u"a.jpg"_s);
    const QString target = dir.filePath(u"out/a.jpg"_s);
    QDir().mkpath(dir.filePath(u"out"_s));
    writeFile(source, QByteArray(3 << 20, 'x'));
    writeFile(target, "old and longer than nothing");
    FileSystem::CopyFile(source, target, true);
    QFile copied(target);
    QVERIFY(copied.open(QIODevice::ReadOnly));
    QCOMPARE(copied.readAll(), QByteArray(3 << 20, 'x'));
    QCOMPARE(QDir(dir.filePath(u"out"_s)).entryList(QDir::Files | QDir::Hidden), QStringList{u"a.jpg"_s});

    bool refused = false;
    try {
        FileSystem::CopyFile(source, target, false);
    } catch (const RunTimeError &) {
        refused = true;
    }
    QVERIFY(refused);
}

void TestFileSystem::copyIntoFolderKeepsTheFileName()
{
    QTemporaryDir dir;
    writeFile(dir.filePath(u"bild ä.png"_s), "png");
    QDir().mkpath(dir.filePath(u"dest"_s));
    FileSystem::CopyFile(dir.filePath(u"bild ä.png"_s), dir.filePath(u"dest/"_s), true);
    QVERIFY(FileSystem::FileExists(dir.filePath(u"dest/bild ä.png"_s)));
}

void TestFileSystem::failedCopyLeavesNoTruncatedTarget()
{
    QTemporaryDir dir;
    try {
        FileSystem::CopyFile(dir.filePath(u"missing.jpg"_s), dir.filePath(u"t.jpg"_s), true);
        QFAIL("copying a missing file must fail");
    } catch (const RunTimeError &error) {
        QCOMPARE(error.number(), int(RunTimeError::FileNotFound));
    }
    writeFile(dir.filePath(u"s.jpg"_s), "data");
    try {
        FileSystem::CopyFile(dir.filePath(u"s.jpg"_s), dir.filePath(u"no/such/folder/t.jpg"_s), true);
        QFAIL("copying into a missing folder must fail");
    } catch (const RunTimeError &) {
    }
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"s.jpg"_s});
}

void TestFileSystem::sizesAndListings()
{
    QTemporaryDir dir;
    QCOMPARE(FileSystem::FileSize(QString()), 0.0);
    writeFile(dir.filePath(u"f.bin"_s), QByteArray(1536, 0));
    QCOMPARE(FileSystem::FileSize(dir.filePath(u"f.bin"_s)), 1536.0);
    try {
        FileSystem::FileSize(dir.filePath(u"gone.bin"_s));
        QFAIL("the size of a missing file must fail");
    } catch (const RunTimeError &error) {
        QCOMPARE(error.number(), int(RunTimeError::FileNotFound));
    }

    QDir().mkpath(dir.filePath(u"empty"_s));
    QVERIFY(FileSystem::ListFolder(dir.filePath(u"empty"_s)).isEmpty());
    writeFile(dir.filePath(u".hidden.gif"_s), "g");
    QStringList names = FileSystem::ListFolder(dir.path());
    names.sort();
    QCOMPARE(names, (QStringList{u".hidden.gif"_s, u"empty"_s, u"f.bin"_s}));
    try {
        FileSystem::ListFolder(dir.filePath(u"nope"_s));
        QFAIL("listing a missing folder must fail");
    } catch (const RunTimeError &) {
    }
}

void TestFileSystem::makeFolderReportsExistingFolderAs75()
{
    QTemporaryDir dir;
    FileSystem::MakeFolder(dir.filePath(u"new"_s));
    QVERIFY(FileSystem::FolderExists(dir.filePath(u"new"_s)));
    try {
        FileSystem::MakeFolder(dir.filePath(u"new"_s));
        QFAIL("making an existing folder must raise 75");
    } catch (const RunTimeError &error) {
        QCOMPARE(error.number(), int(RunTimeError::PathFileAccessError));
    }
    try {
        FileSystem::MakeFolder(dir.filePath(u"a/b"_s));
        QFAIL("making a folder below a missing one must fail");
    } catch (const RunTimeError &error) {
        QVERIFY(error.number() != RunTimeError::PathFileAccessError);
    }
}

void TestFileSystem::readingAHeadNeverCreatesTheFile()
{
    QTemporaryDir dir;
    writeFile(dir.filePath(u"short"_s), "GIF8");
    QCOMPARE(FileSystem::ReadFileHead(dir.filePath(u"short"_s), 65536), QByteArray("GIF8"));
    try {
        FileSystem::ReadFileHead(dir.filePath(u"absent"_s), 65536);
        QFAIL("reading a missing file must fail");
    } catch (const RunTimeError &) {
    }
    QVERIFY(!QFile::exists(dir.filePath(u"absent"_s)));
}

void TestFileSystem::folderLinksAreToldApartFromFolders()
{
    QTemporaryDir dir;
    QDir().mkpath(dir.filePath(u"sub"_s));
    writeFile(dir.filePath(u"file.jpg"_s), "j");
    QVERIFY(QFile::link(dir.path(), dir.filePath(u"sub/up"_s)));
    QVERIFY(QFile::link(dir.filePath(u"file.jpg"_s), dir.filePath(u"link.jpg"_s)));
    QCOMPARE(FileSystem::entryType(dir.filePath(u"sub"_s)), FileSystem::EntryType::Folder);
    QCOMPARE(FileSystem::entryType(dir.filePath(u"sub/up"_s)), FileSystem::EntryType::FolderLink);
    QCOMPARE(FileSystem::entryType(dir.filePath(u"link.jpg"_s)), FileSystem::EntryType::FileLink);
    QCOMPARE(FileSystem::entryType(dir.filePath(u"file.jpg"_s)), FileSystem::EntryType::File);
    QCOMPARE(FileSystem::entryType(dir.filePath(u"nothing"_s)), FileSystem::EntryType::Missing);
}

void TestFileSystem::destinationJoinsRootsWithOneSeparator_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("imageRoot");
    QTest::addColumn<QString>("destinationRoot");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << u"/photos/2008/a.jpg"_s << u"/photos"_s << u"/web"_s << u"/web/2008/a.jpg"_s;
    QTest::newRow("root with separator")
        << u"/photos/2008/a.jpg"_s << u"/photos/"_s << u"/web/"_s << u"/web/2008/a.jpg"_s;
    QTest::newRow("filesystem root as image root")
        << u"/home/x/a.jpg"_s << u"/"_s << u"/out"_s << u"/out/home/x/a.jpg"_s;
    QTest::newRow("filesystem root as destination")
        << u"/photos/a/b.jpg"_s << u"/photos"_s << u"/"_s << u"/a/b.jpg"_s;
    QTest::newRow("root text recurs further on")
        << u"/p/x/p/y.jpg"_s << u"/p"_s << u"/d"_s << u"/d/x/p/y.jpg"_s;
    QTest::newRow("image directly in root")
        << u"/photos/a.jpg"_s << u"/photos"_s << u"/web"_s << u"/web/a.jpg"_s;
}

void TestFileSystem::destinationJoinsRootsWithOneSeparator()
{
    QFETCH(QString, entry);
    QFETCH(QString, imageRoot);
    QFETCH(QString, destinationRoot);
    QFETCH(QString, expected);
    QCOMPARE(DestinationPath::forEntry(entry, imageRoot, destinationRoot), expected);
}

QTEST_MAIN(TestFileSystem)
#include "tst_filesystem.moc"
