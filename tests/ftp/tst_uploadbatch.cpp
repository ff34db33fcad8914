#include "Catalog.h"
#include "FakeFtpClient.h"
#include "FakeFtpServer.h"
#include "PartJournal.h"
#include "PublishMemory.h"
#include "RunState.h"
#include "TransferClients.h"
#include "UploadBatch.h"
#include "UploadHost.h"
#include "UploadProgress.h"
#include "VsftpdServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <functional>

using namespace Qt::Literals::StringLiterals;

namespace {

class RecordingProgress : public UploadProgress
{
public:
    void startRun() override { lines.clear(); }
    void addLine(const QString &line) override { lines.append(line); }
    void setFileInProgress(const QString &text) override { fileInProgress = text; }
    void repaintNow() override {}
    void showTransfer(qint64, qint64) override {}
    void showFileCount(int done, int) override { filesDone = done; }
    void finishRun() override {}

    QStringList lines;
    QString fileInProgress;
    int filesDone = 0;
};

// The window around the batch: each yield runs the test's look at the run, and questions get the
// answer the test set.
class TestHost : public UploadHost
{
public:
    explicit TestHost(RunState &run) : m_run(run) {}

    bool yieldCancelled() override
    {
        if (onYield)
            onYield();
        return m_run.cancelRequested();
    }
    void restoreControls() override {}
    void clearUploadedList() override { listCleared = true; }
    UploadProgress &openProgress() override { return progress; }
    void showBox(const QString &text, const QString &, MessageBoxService::Icon) override
    {
        boxes.append(text);
    }
    bool askYesNo(const QString &text, const QString &, MessageBoxService::Icon, bool noByDefault) override
    {
        questions.append(text);
        askedWithNoByDefault = noByDefault;
        return answer;
    }

    std::function<void()> onYield;
    RecordingProgress progress;
    QStringList boxes;
    QStringList questions;
    bool answer = false;
    bool askedWithNoByDefault = false;
    bool listCleared = false;

private:
    RunState &m_run;
};

// The files put since the log held so many lines, by their local names, sorted, leaving out the
// empty file that reads the server's clock.
QStringList sentFiles(const FakeFtpServer &server, qsizetype since = 0)
{
    QStringList puts = server.log().mid(since).filter(QRegularExpression(u"^put (?!pexa-clock-)"_s));
    puts.sort();
    return puts;
}

} // namespace

class tst_UploadBatch : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void linesKeepTheListsOrderWhateverOrderFilesArriveIn();
    void aServerWithFewerConnectionsGetsEveryFileOverThoseItTakes();
    void cancelEndsEveryTransferInFlight();
    void onlyNewAndChangedFilesAreSent();
    void serverTimesThatAreNotUtcMissNoChange_data();
    void serverTimesThatAreNotUtcMissNoChange();
    void vsftpdInItsLocalTimeGetsExactlyWhatChanged_data();
    void vsftpdInItsLocalTimeGetsExactlyWhatChanged();
    void aFolderListedWithoutTimesIsSentWhole();
    void removalsStayWithinTheMirroredImages();
    void galleryPagesGoLastAndAMissingOrRefusedOneFails();
    void staleTemporariesGoWhenTheirFolderIsListed();
    void aPartLeftWhenTheServerDiedGoesWithTheNextRun();
    void partsOfAKilledProgramGoWithTheNextUploadThere();
    void aServerThatStopsAnsweringFailsTheRestAtOnce_data();
    void aServerThatStopsAnsweringFailsTheRestAtOnce();

private:
    // Makes the image, its counterpart and thumbnail; "2008/a.jpg".
    void addImage(const QString &relative, const QByteArray &bytes = "photo");
    UploadBatch::Outcome upload(TestHost &host, FakeFtpServer &server);
    QString local(const QString &relative) const { return m_dir.filePath(u"Web/"_s + relative); }

    QTemporaryDir m_dir;
    RunState m_run;
    UploadInputs m_inputs;
    Catalog m_catalog;
    int m_failed = 0;
    UploadResult m_result;
};

void tst_UploadBatch::init()
{
    QVERIFY(m_dir.isValid());
    QDir(m_dir.path()).removeRecursively();
    m_run = RunState{};
    m_inputs = UploadInputs{};
    m_inputs.server.address = u"fake"_s;
    m_inputs.server.username = u"u"_s;
    m_inputs.server.password = u"p"_s;
    m_inputs.server.port = u"21"_s;
    m_inputs.server.root = u"/"_s;
    m_inputs.imageRoot = m_dir.filePath(u"Photos"_s);
    m_inputs.destinationRoot = m_dir.filePath(u"Web"_s);
    m_inputs.thumbnailPrefix = u"tn_"_s;
    m_inputs.thumbnailSize = u"50x50"_s;
    m_catalog.clear();
    m_catalog.setWholeTree(true);
}

void tst_UploadBatch::addImage(const QString &relative, const QByteArray &bytes)
{
    for (const QString &path : {local(relative), local(OutputLayout::folderOf(relative) + u"/tn_"_s +
                                                       OutputLayout::fileName(relative))}) {
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    m_catalog.addEntry(m_inputs.imageRoot + u'/' + relative);
    const QString folder = OutputLayout::folderOf(relative);
    if (!folder.isEmpty() && !m_catalog.folders().contains(m_inputs.imageRoot + u'/' + folder))
        m_catalog.addFolder(m_inputs.imageRoot + u'/' + folder);
}

UploadBatch::Outcome tst_UploadBatch::upload(TestHost &host, FakeFtpServer &server)
{
    UploadBatch batch(m_inputs, m_catalog, m_run, host,
                      [&server] { return std::make_unique<FakeFtpClient>(server); });
    const UploadBatch::Outcome outcome = batch.run();
    m_failed = batch.failedFiles();
    m_result = batch.result();
    return outcome;
}

void tst_UploadBatch::linesKeepTheListsOrderWhateverOrderFilesArriveIn()
{
    addImage(u"a.jpg"_s);
    addImage(u"gone.jpg"_s);
    addImage(u"2008/b.jpg"_s);
    addImage(u"2008/c.jpg"_s);
    QVERIFY(QFile::remove(local(u"gone.jpg"_s)));
    const auto run = [&](int connections, bool holdFirst) {
        m_inputs.server.connections = connections;
        FakeFtpServer server;
        server.script(u"put"_s, u"c.jpg"_s, FakeFtpServer::Trouble::Refuse);
        TestHost host(m_run);
        QStringList whileHeld;
        if (holdFirst) {
            server.hold(u"a.jpg"_s);
            // Let the first file go once everything after it has ended.
            host.onYield = [&] {
                if (server.log().contains(u"put c.jpg"_s) && whileHeld.isEmpty()) {
                    whileHeld = host.progress.lines;
                    server.release(u"a.jpg"_s);
                }
            };
        }
        [&] { QCOMPARE(upload(host, server), UploadBatch::Outcome::CompleteWithErrors); }();
        if (holdFirst) {
            // The entries after the held one had ended, yet none of their lines showed.
            [&] { QCOMPARE(whileHeld.constLast(), u" - Working on Root Folder"_s); }();
            [&] { QCOMPARE(server.mostConnections(), 3); }();
        }
        return host.progress.lines;
    };
    const QStringList oneByOne = run(1, false);
    QCOMPARE(oneByOne.mid(5), QStringList({u"ERROR: "_s + local(u"gone.jpg"_s) + u" does not exist!!"_s,
                                           u" - Working on /2008"_s,
                                           u"ERROR: Failed to upload image file "_s + local(u"2008/c.jpg"_s),
                                           u"2 files failed to upload!!"_s}));
    QCOMPARE(run(3, true), oneByOne);
}

void tst_UploadBatch::aServerWithFewerConnectionsGetsEveryFileOverThoseItTakes()
{
    for (const QString &name : {u"a.jpg"_s, u"b.jpg"_s, u"c.jpg"_s, u"d.jpg"_s, u"e.jpg"_s})
        addImage(u"2008/"_s + name, name.toUtf8());
    m_inputs.server.connections = 4;
    FakeFtpServer server;
    server.setConnectionLimit(2);
    TestHost host(m_run);
    QCOMPARE(upload(host, server), UploadBatch::Outcome::Complete);
    QVERIFY(host.progress.lines.contains(u" - The server accepts 2 connections; going on with 2."_s));
    QCOMPARE(server.mostConnections(), 2);
    QCOMPARE(server.files().size(), 10);
    QCOMPARE(server.files().value(u"2008/tn_e.jpg"_s).bytes, QByteArray("e.jpg"));
    QCOMPARE(host.progress.filesDone, 5);
    QVERIFY(host.listCleared);
}

void tst_UploadBatch::cancelEndsEveryTransferInFlight()
{
    const QStringList names{u"a.jpg"_s, u"b.jpg"_s, u"c.jpg"_s, u"d.jpg"_s};
    for (const QString &name : names)
        addImage(name);
    m_inputs.server.connections = 3;
    FakeFtpServer server;
    for (const QString &name : names)
        server.hold(name);
    TestHost host(m_run);
    host.onYield = [&] {
        if (server.waitUntilHeld(u"a.jpg"_s, 0) && server.waitUntilHeld(u"b.jpg"_s, 0) &&
            server.waitUntilHeld(u"c.jpg"_s, 0))
            m_run.setCancelRequested(true);
    };
    QCOMPARE(upload(host, server), UploadBatch::Outcome::Cancelled);
    QCOMPARE(host.progress.lines.mid(5), QStringList({u"Operation cancelled."_s}));
    QCOMPARE(host.progress.fileInProgress, u"Operation Cancelled!!"_s);
    QCOMPARE(m_failed, 0);
    // Every put in flight was cut, and the parts it left were taken away.
    QCOMPARE(server.files().keys(), QStringList());
    QVERIFY(!server.log().contains(u"put d.jpg"_s));
}

void tst_UploadBatch::onlyNewAndChangedFilesAreSent()
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    // The scan lists a sub-folder among its parent's images: the root comes back after 2008.
    addImage(u"2008/same.jpg"_s, "same");
    addImage(u"2008/older.jpg"_s, "older");
    addImage(u"top.jpg"_s, "top");
    addImage(u"2008/resized.jpg"_s, "resized");
    addImage(u"end.jpg"_s, "end");
    m_inputs.server.onlyChanged = true;
    m_inputs.server.connections = 2;
    // An earlier run of the session learnt that the server speaks UTC.
    m_inputs.memory = std::make_shared<PublishMemory>();
    m_inputs.memory->setClock(m_inputs.server, ServerClock());
    FakeFtpServer server;
    server.addFolder(u"2008"_s);
    const auto modified = [&](const QString &relative) { return QFileInfo(local(relative)).lastModified(); };
    server.addFile(u"2008/same.jpg"_s, "same", now.addSecs(60));
    server.addFile(u"2008/tn_same.jpg"_s, "same", modified(u"2008/tn_same.jpg"_s));
    server.addFile(u"2008/older.jpg"_s, "older", modified(u"2008/older.jpg"_s).addSecs(-5));
    server.addFile(u"2008/resized.jpg"_s, "before", now.addSecs(60));
    for (const QString &name : {u"top.jpg"_s, u"tn_top.jpg"_s, u"end.jpg"_s, u"tn_end.jpg"_s})
        server.addFile(name, name.endsWith(u"top.jpg"_s) ? "top" : "end", now.addSecs(60));
    TestHost host(m_run);
    QCOMPARE(upload(host, server), UploadBatch::Outcome::Complete);
    QVERIFY(host.progress.lines.contains(u"6 files already on the server were not sent."_s));
    QCOMPARE(sentFiles(server), QStringList({u"put older.jpg"_s, u"put resized.jpg"_s, u"put tn_older.jpg"_s,
                                             u"put tn_resized.jpg"_s}));
    // The result names them, as paths below the FTP root.
    m_result.sent.sort();
    m_result.skipped.sort();
    QCOMPARE(m_result.sent, QStringList({u"2008/older.jpg"_s, u"2008/resized.jpg"_s, u"2008/tn_older.jpg"_s,
                                         u"2008/tn_resized.jpg"_s}));
    QCOMPARE(m_result.skipped, QStringList({u"2008/same.jpg"_s, u"2008/tn_same.jpg"_s, u"end.jpg"_s,
                                            u"tn_end.jpg"_s, u"tn_top.jpg"_s, u"top.jpg"_s}));
    // Each folder is listed once; what was sent carries the local time, to the second.
    QCOMPARE(server.log().filter(u"list "_s), QStringList({u"list 2008"_s, u"list "_s}));
    const auto files = server.files();
    for (const QString &name : {u"older.jpg"_s, u"tn_older.jpg"_s, u"resized.jpg"_s, u"tn_resized.jpg"_s})
        QCOMPARE(files.value(u"2008/"_s + name).modified.toSecsSinceEpoch(),
                 modified(u"2008/"_s + name).toSecsSinceEpoch());
    QCOMPARE(files.value(u"2008/resized.jpg"_s).bytes, QByteArray("resized"));

    TestHost again(m_run);
    QCOMPARE(upload(again, server), UploadBatch::Outcome::Complete);
    QVERIFY(again.progress.lines.contains(u"10 files already on the server were not sent."_s));
    QCOMPARE(sentFiles(server).size(), 4);
}

// A server whose listings speak its local time, or that keeps the time a file arrived, is read
// through its clock: learnt from the files sent with their times where it takes them, else from
// an empty file sent to learn it. An edited picture of the same size is sent again, in the same
// program session and in a new one, and an unchanged one is not.
void tst_UploadBatch::serverTimesThatAreNotUtcMissNoChange_data()
{
    QTest::addColumn<qint64>("offset");
    QTest::addColumn<bool>("takesTimes");
    QTest::newRow("ahead, takes times") << qint64(10 * 3600) << true;
    QTest::newRow("ahead, keeps arrival") << qint64(10 * 3600) << false;
    QTest::newRow("behind, keeps arrival") << qint64(-10 * 3600) << false;
    QTest::newRow("UTC+5:45, keeps arrival") << qint64(5 * 3600 + 45 * 60) << false;
}

void tst_UploadBatch::serverTimesThatAreNotUtcMissNoChange()
{
    QFETCH(qint64, offset);
    QFETCH(bool, takesTimes);
    addImage(u"2008/a.jpg"_s, "aaaa");
    addImage(u"2008/b.jpg"_s, "bbbb");
    m_inputs.server.onlyChanged = true;
    m_inputs.memory = std::make_shared<PublishMemory>();
    // Made a while before the upload.
    for (const QString &name : {u"2008/a.jpg"_s, u"2008/tn_a.jpg"_s, u"2008/b.jpg"_s, u"2008/tn_b.jpg"_s}) {
        QFile file(local(name));
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(QDateTime::currentDateTimeUtc().addSecs(-100),
                                 QFileDevice::FileModificationTime));
    }
    FakeFtpServer server;
    server.setClock(offset, takesTimes);
    const auto publish = [&] {
        const qsizetype before = server.log().size();
        TestHost host(m_run);
        [&] { QCOMPARE(upload(host, server), UploadBatch::Outcome::Complete); }();
        return sentFiles(server, before);
    };
    QCOMPARE(publish().size(), 4);
    QCOMPARE(publish(), QStringList());
    // Re-saved with the same size a minute after the upload, and published a minute later.
    QFile edited(local(u"2008/b.jpg"_s));
    QVERIFY(edited.open(QIODevice::ReadWrite));
    QVERIFY(
        edited.setFileTime(QDateTime::currentDateTimeUtc().addSecs(60), QFileDevice::FileModificationTime));
    edited.close();
    server.advanceClock(120);
    QCOMPARE(publish(), QStringList({u"put b.jpg"_s}));
    m_inputs.memory = std::make_shared<PublishMemory>();
    QCOMPARE(publish(), QStringList());
    // Only a server that keeps the time of arrival needed a file sent to tell its clock.
    QCOMPARE(server.log().filter(u"put pexa-clock-"_s).size(), takesTimes ? 0 : 2);
}

// Debian's vsftpd speaks its local time and sets times only by MDTM with a time (or, told so, not
// at all): over real FTP, a picture re-saved with the same size after an upload is sent again, and
// an unchanged tree sends nothing, in a zone ahead of UTC or behind it.
void tst_UploadBatch::vsftpdInItsLocalTimeGetsExactlyWhatChanged_data()
{
    QTest::addColumn<QString>("zone");
    QTest::addColumn<bool>("setsTimes");
    QTest::newRow("10 h ahead") << u"UTC-10"_s << true;
    QTest::newRow("10 h behind") << u"UTC+10"_s << true;
    QTest::newRow("10 h ahead, setting no times") << u"UTC-10"_s << false;
}

void tst_UploadBatch::vsftpdInItsLocalTimeGetsExactlyWhatChanged()
{
    QFETCH(QString, zone);
    QFETCH(bool, setsTimes);
    if (const QString missing = VsftpdServer::missing(); !missing.isEmpty())
        QSKIP(qPrintable(missing));
    VsftpdServer daemon;
    QVERIFY2(daemon.start({.timeZone = zone, .useLocalTime = true, .mdtmWrite = setsTimes}),
             qPrintable(daemon.errorText()));
    for (const QString &name : {u"a.jpg"_s, u"2008/b.jpg"_s, u"2008/c.jpg"_s})
        addImage(name, name.toUtf8());
    m_inputs.server.address = u"127.0.0.1"_s;
    m_inputs.server.port = QString::number(daemon.port());
    m_inputs.server.username = daemon.userName();
    m_inputs.server.password = daemon.password();
    m_inputs.server.onlyChanged = true;
    m_inputs.memory = std::make_shared<PublishMemory>();
    const auto publish = [&] {
        const qsizetype before = daemon.logs().count(u"\"RNTO "_s);
        TestHost host(m_run);
        UploadBatch batch(m_inputs, m_catalog, m_run, host, [] { return TransferClients::make({}); });
        [&] {
            QVERIFY2(batch.run() == UploadBatch::Outcome::Complete,
                     qPrintable(host.progress.lines.join(u'\n')));
        }();
        QStringList renamed;
        const QRegularExpression rename(u"\"RNTO ([^\"]+)\""_s);
        for (auto it = rename.globalMatch(daemon.logs()); it.hasNext();)
            renamed.append(it.next().captured(1));
        return renamed.mid(before);
    };
    QCOMPARE(publish().size(), 6);
    QCOMPARE(publish(), QStringList());
    // Re-saved with the same size after the upload: a second later, as no server tells less.
    const qint64 sent = QDateTime::currentSecsSinceEpoch();
    QTRY_VERIFY(QDateTime::currentSecsSinceEpoch() > sent);
    QFile edited(local(u"2008/b.jpg"_s));
    QVERIFY(edited.open(QIODevice::ReadWrite));
    QVERIFY(edited.setFileTime(QDateTime::currentDateTimeUtc(), QFileDevice::FileModificationTime));
    edited.close();
    QCOMPARE(publish(), QStringList({u"b.jpg"_s}));
    QCOMPARE(publish(), QStringList());
    m_inputs.memory = std::make_shared<PublishMemory>();
    QCOMPARE(publish(), QStringList());
}

void tst_UploadBatch::aFolderListedWithoutTimesIsSentWhole()
{
    addImage(u"2008/a.jpg"_s);
    m_inputs.server.onlyChanged = true;
    FakeFtpServer server;
    server.addFolder(u"2008"_s);
    server.addFile(u"2008/a.jpg"_s, "photo", QDateTime::currentDateTimeUtc().addDays(1));
    server.setListsSizesAndTimes(false);
    TestHost host(m_run);
    QCOMPARE(upload(host, server), UploadBatch::Outcome::Complete);
    QCOMPARE(host.progress.lines.mid(5, 2),
             QStringList({u" - Working on /2008"_s,
                          u" - The server gives no sizes or times in /2008; every file there is sent."_s}));
    QCOMPARE(sentFiles(server), QStringList({u"put a.jpg"_s, u"put tn_a.jpg"_s}));
}

void tst_UploadBatch::removalsStayWithinTheMirroredImages()
{
    addImage(u"keep.jpg"_s);
    addImage(u"ticked.jpg"_s);
    addImage(u"2008/b.jpg"_s);
    m_catalog.setTicked(1, true);
    m_inputs.server.removeMissing = true;
    const auto serverWithLeftovers = [](FakeFtpServer &server) {
        for (const QString &folder : {u"2008"_s, u"2008/deep"_s, u"other"_s})
            server.addFolder(folder);
        const QDateTime time = QDateTime::currentDateTimeUtc();
        for (const QString &path :
             {u"old.jpg"_s, u"OLD.PNG"_s, u"tn_old.jpg"_s, u"notes.txt"_s, u"ticked.jpg"_s,
              u"tn_ticked.jpg"_s, u"2008/gone.gif"_s, u"2008/deep/y.jpg"_s, u"other/x.jpg"_s, u"2008.jpg/"_s})
            server.addFile(path, "x", time);
    };
    const QStringList doomed{u"OLD.PNG"_s, u"old.jpg"_s, u"tn_old.jpg"_s, u"2008/gone.gif"_s};

    // Asked first, with No the default: No keeps everything.
    FakeFtpServer kept;
    serverWithLeftovers(kept);
    TestHost no(m_run);
    QCOMPARE(upload(no, kept), UploadBatch::Outcome::Complete);
    QCOMPARE(no.questions,
             QStringList({u"Remove 4 files from the server?\n\n/OLD.PNG\n/old.jpg\n/tn_old.jpg\n"
                          u"/2008/gone.gif"_s}));
    QVERIFY(no.askedWithNoByDefault);
    for (const QString &path : doomed)
        QVERIFY(kept.files().contains(path));

    // Yes removes those and nothing else; one the server refuses is a failure.
    FakeFtpServer server;
    serverWithLeftovers(server);
    server.script(u"remove"_s, u"tn_old.jpg"_s, FakeFtpServer::Trouble::Refuse);
    TestHost yes(m_run);
    yes.answer = true;
    QCOMPARE(upload(yes, server), UploadBatch::Outcome::CompleteWithErrors);
    QCOMPARE(
        yes.progress.lines.mid(yes.progress.lines.size() - 5),
        QStringList({u"Removed /OLD.PNG"_s, u"Removed /old.jpg"_s, u"ERROR: Failed to remove /tn_old.jpg"_s,
                     u"Removed /2008/gone.gif"_s, u"1 file failed to upload!!"_s}));
    QCOMPARE(m_result.removed, QStringList({u"OLD.PNG"_s, u"old.jpg"_s, u"2008/gone.gif"_s}));
    QCOMPARE(m_result.failed, QStringList{u"tn_old.jpg"_s});
    QStringList left = server.files().keys();
    QCOMPARE(left, QStringList({u"2008.jpg/"_s, u"2008/b.jpg"_s, u"2008/deep/y.jpg"_s, u"2008/tn_b.jpg"_s,
                                u"keep.jpg"_s, u"notes.txt"_s, u"other/x.jpg"_s, u"ticked.jpg"_s,
                                u"tn_keep.jpg"_s, u"tn_old.jpg"_s, u"tn_ticked.jpg"_s}));

    // A scan that did not see the whole tree offers nothing.
    m_catalog.setWholeTree(false);
    FakeFtpServer partial;
    serverWithLeftovers(partial);
    TestHost unasked(m_run);
    QCOMPARE(upload(unasked, partial), UploadBatch::Outcome::Complete);
    QVERIFY(unasked.questions.isEmpty());
    QVERIFY(unasked.progress.lines.contains(
        u" - The last scan did not cover the whole image root, so nothing was removed."_s));
    QVERIFY(partial.files().contains(u"old.jpg"_s));
}

void tst_UploadBatch::galleryPagesGoLastAndAMissingOrRefusedOneFails()
{
    addImage(u"a.jpg"_s);
    addImage(u"2008/b.jpg"_s);
    m_inputs.server.connections = 2;
    m_inputs.pageWaves = {{u"pexa-gallery.css"_s}, {u"2008/index.html"_s}, {u"index.html"_s}};
    for (const QString &page : {u"pexa-gallery.css"_s, u"2008/index.html"_s}) {
        QFile file(local(page));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("page");
    }
    FakeFtpServer server;
    server.script(u"put"_s, u"pexa-gallery.css"_s, FakeFtpServer::Trouble::Refuse);
    TestHost host(m_run);
    QCOMPARE(upload(host, server), UploadBatch::Outcome::CompleteWithErrors);
    QCOMPARE(host.progress.lines.mid(host.progress.lines.indexOf(u" - Working on /2008"_s) + 1),
             QStringList({u" - Working on gallery pages"_s,
                          u"ERROR: Failed to upload gallery file "_s + local(u"pexa-gallery.css"_s),
                          u"ERROR: "_s + local(u"index.html"_s) + u" does not exist!!"_s,
                          u"2 files failed to upload!!"_s}));
    QCOMPARE(m_result.failed, QStringList({u"pexa-gallery.css"_s, u"index.html"_s}));
    QCOMPARE(server.files().value(u"2008/index.html"_s).bytes, QByteArray("page"));
    const QStringList puts = server.log().filter(u"put "_s);
    QCOMPARE(puts.size(), 6);
    QVERIFY2(puts.at(4).endsWith(u"pexa-gallery.css"_s) && puts.at(5).endsWith(u"index.html"_s),
             qPrintable(puts.join(u", "_s)));
}

// A part an earlier run of this program left, or a day-old one of another, would stand in the
// way of a put on a server that refuses to overwrite; a fresh one of another program is its own.
void tst_UploadBatch::staleTemporariesGoWhenTheirFolderIsListed()
{
    addImage(u"a.jpg"_s);
    m_inputs.server.onlyChanged = true;
    FakeFtpServer server;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    server.addFile(u".pexa-%1-7.part"_s.arg(QCoreApplication::applicationPid()), "ours", now);
    server.addFile(u".pexa-1-1.part"_s, "old", now.addDays(-2));
    server.addFile(u".pexa-1-2.part"_s, "fresh", now);
    TestHost host(m_run);
    QCOMPARE(upload(host, server), UploadBatch::Outcome::Complete);
    QCOMPARE(server.files().keys(), QStringList({u".pexa-1-2.part"_s, u"a.jpg"_s, u"tn_a.jpg"_s}));
}

// The server dies during a put and keeps its part. The next run of the same program session puts
// under another temporary name, so a server that will not overwrite a file takes it, and removes
// the part without listing the folder.
void tst_UploadBatch::aPartLeftWhenTheServerDiedGoesWithTheNextRun()
{
    addImage(u"a.jpg"_s);
    m_inputs.memory = std::make_shared<PublishMemory>();
    FakeFtpServer server;
    server.setReplacesFiles(false);
    server.hold(u"a.jpg"_s);
    TestHost host(m_run);
    host.onYield = [&server] {
        if (server.log().contains(u"put a.jpg"_s)) {
            server.vanish();
            server.release(u"a.jpg"_s);
        }
    };
    QCOMPARE(upload(host, server), UploadBatch::Outcome::CompleteWithErrors);
    const QStringList parts = server.files().keys().filter(u".part"_s);
    QCOMPARE(parts.size(), 1);

    server.setReachable(true);
    TestHost again(m_run);
    QCOMPARE(upload(again, server), UploadBatch::Outcome::Complete);
    QCOMPARE(server.files().keys(), QStringList({u"a.jpg"_s, u"tn_a.jpg"_s}));
    QCOMPARE(server.files().value(u"a.jpg"_s).bytes, QByteArray("photo"));
    QCOMPARE(server.log().filter(u"list "_s), QStringList());
}

// A program killed during a put leaves its journal behind. The next upload to that server removes
// the part it noted without listing the folder, and leaves alone the part of a program that is
// still running, and what the journal noted for another server.
void tst_UploadBatch::partsOfAKilledProgramGoWithTheNextUploadThere()
{
    addImage(u"a.jpg"_s);
    QTemporaryDir journals;
    const QString server = PublishMemory::keyOf(m_inputs.server);
    const auto write = [&journals](const QString &name, const QByteArray &bytes) {
        QFile file(journals.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    };
    const QByteArray killed = "+\t" + server.toUtf8() + "\t.pexa-9-1.part\n+\t" + server.toUtf8() +
                              "\t.pexa-9-2.part\n-\t" + server.toUtf8() +
                              "\t.pexa-9-2.part\n+\tsftp other 22 u\tx.part\n";
    write(u"killed.journal"_s, killed);
    // No process has that number.
    write(u"killed.lock"_s, "999999999\nPexaResizer\n\n");
    write(u"running.journal"_s, "+\t" + server.toUtf8() + "\t.pexa-8-1.part\n");
    QLockFile running(journals.filePath(u"running.lock"_s));
    QVERIFY(running.tryLock(0));
    m_inputs.memory = std::make_shared<PublishMemory>(std::make_shared<PartJournal>(journals.path()));
    FakeFtpServer fake;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (const QString &part : {u".pexa-9-1.part"_s, u".pexa-9-2.part"_s, u".pexa-8-1.part"_s})
        fake.addFile(part, "half", now);
    TestHost host(m_run);
    QCOMPARE(upload(host, fake), UploadBatch::Outcome::Complete);
    QCOMPARE(fake.files().keys(),
             QStringList({u".pexa-8-1.part"_s, u".pexa-9-2.part"_s, u"a.jpg"_s, u"tn_a.jpg"_s}));
    QCOMPARE(fake.log().filter(u"list "_s), QStringList());
    QFile rest(journals.filePath(u"killed.journal"_s));
    QVERIFY(rest.open(QIODevice::ReadOnly));
    QCOMPARE(rest.readAll(), QByteArray("+\tsftp other 22 u\tx.part\n"));
    // This program's journal goes before its folder.
    m_inputs.memory.reset();
}

void tst_UploadBatch::aServerThatStopsAnsweringFailsTheRestAtOnce_data()
{
    QTest::addColumn<int>("connections");
    QTest::addColumn<bool>("stalls");
    QTest::newRow("gone, one connection") << 1 << false;
    QTest::newRow("gone, three connections") << 3 << false;
    QTest::newRow("a stall after a stall") << 1 << true;
}

void tst_UploadBatch::aServerThatStopsAnsweringFailsTheRestAtOnce()
{
    QFETCH(int, connections);
    QFETCH(bool, stalls);
    for (const QString &name : {u"a.jpg"_s, u"b.jpg"_s, u"c.jpg"_s, u"d.jpg"_s, u"e.jpg"_s, u"f.jpg"_s})
        addImage(u"2008/"_s + name);
    m_inputs.server.connections = connections;
    FakeFtpServer server;
    TestHost host(m_run);
    if (stalls) {
        server.script(u"put"_s, u"b.jpg"_s, FakeFtpServer::Trouble::Stall);
        server.script(u"put"_s, u"c.jpg"_s, FakeFtpServer::Trouble::Stall);
    } else {
        // The server goes away after b.jpg dropped its connection, and takes no login any more;
        // the files after it are in flight then, or not yet sent.
        const QStringList later{u"c.jpg"_s, u"d.jpg"_s, u"e.jpg"_s, u"f.jpg"_s};
        for (const QString &name : later)
            server.hold(name);
        server.script(u"put"_s, u"b.jpg"_s, FakeFtpServer::Trouble::Drop);
        host.onYield = [&server, later] {
            if (server.log().contains(u"put b.jpg"_s)) {
                server.vanish();
                for (const QString &name : later)
                    server.release(name);
            }
        };
    }
    QCOMPARE(upload(host, server), UploadBatch::Outcome::CompleteWithErrors);
    const QStringList lines = host.progress.lines;
    QVERIFY2(!lines.contains(u"Operation cancelled."_s), qPrintable(lines.join(u'\n')));
    QVERIFY2(lines.contains(u"ERROR: Failed to upload image file "_s + local(u"2008/b.jpg"_s)),
             qPrintable(lines.join(u"\n")));
    const int imagesFailed = static_cast<int>(lines.filter(u"ERROR: Failed to upload image"_s).size());
    const int thumbnailsFailed =
        static_cast<int>(lines.filter(u"ERROR: Failed to upload thumbnail"_s).size());
    const int notSent = m_failed - imagesFailed - thumbnailsFailed;
    QVERIFY(notSent > 0);
    QCOMPARE(lines.at(lines.size() - 2),
             u"ERROR: The server stopped answering; %1 files were not sent."_s.arg(notSent));
    QCOMPARE(lines.constLast(), UploadBatch::failureText(m_failed));
    // Each of the twelve files was sent whole, failed with a line (an image's thumbnail with it),
    // or was counted as not sent. Parts of the puts the server dropped may stay behind.
    const QStringList whole = server.files().keys().filter(QRegularExpression(u"^2008/[a-z_]+\\.jpg$"_s));
    QCOMPARE(static_cast<int>(whole.size()) + imagesFailed * 2 + thumbnailsFailed + notSent, 12);
    QVERIFY(!server.log().contains(u"put f.jpg"_s));
}

QTEST_GUILESS_MAIN(tst_UploadBatch)
#include "tst_uploadbatch.moc"
