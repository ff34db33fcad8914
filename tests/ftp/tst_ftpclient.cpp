#include "AtomicPutClient.h"
#include "ClientWatch.h"
#include "DaemonFtpsServer.h"
#include "FtpTestServer.h"
#include "ProtocolUnderTest.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace std::chrono_literals;

namespace {

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Every file in a folder, hidden ones (a put's temporary file) too.
QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden);
}

bool writeFileAt(const QString &path, const QByteArray &bytes, const QDateTime &modified)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush() &&
           file.setFileTime(modified, QFileDevice::FileModificationTime);
}

// A listing as text, in name order, one entry a line: what a test compares at once. A folder's
// size and time are whatever its file system keeps, so only its name shows.
QStringList described(QList<RemoteEntry> entries)
{
    std::sort(entries.begin(), entries.end(),
              [](const RemoteEntry &a, const RemoteEntry &b) { return a.name < b.name; });
    QStringList lines;
    for (const RemoteEntry &entry : entries) {
        const QString time = entry.modified.isValid() ? entry.modified.toString(Qt::ISODate) : u"-"_s;
        const QString kind = !entry.kindKnown ? u"entry"_s : u"file"_s;
        lines << (entry.folder ? entry.name + u" folder"_s
                               : u"%1 %2 %3 %4"_s.arg(entry.name, kind).arg(entry.size).arg(time));
    }
    return lines;
}

// The commands the server received, without the connection numbers.
QStringList verbsAndArguments(const QStringList &commands)
{
    QStringList result;
    for (const QString &command : commands)
        result << command.section(u' ', 1);
    return result;
}

// The same with a put's temporary name, which differs from run to run, as PART.
QStringList withPart(const QStringList &commands)
{
    QStringList result = verbsAndArguments(commands);
    result.replaceInStrings(QRegularExpression(u"\\.pexa-\\d+-\\d+\\.part"_s), u"PART"_s);
    return result;
}

} // namespace

// Every case runs over plain FTP, FTPS and SFTP.
class tst_FtpClient : public QObject
{
    Q_OBJECT

public:
    explicit tst_FtpClient(ProtocolUnderTest &protocol) : m_protocol(protocol) {}

private slots:
    void initTestCase();

    void loginIsCheckedAtConnect();
    void foldersAreFoundAndMadeByPath();
    void putsStoreBinaryAndReplace();
    void namesWithBlanksAndNonAsciiLettersArriveByteForByte();
    void refusedOperationsGiveFalse();
    void stalledServerFailsTheOperationInHand();
    void silentServerFailsTheConnect();
    void cancelEndsTheOperationInHand();
    void interruptedPutsLeaveTheOldFileWhole();
    void serversThatWillNotRenameStillGetWholeFiles();
    void aWriteRefusedIsNeverFollowedByTheRename();
    void aRenameRefusedOntoAFileStillReplacesItWithItsTime();
    void aFileWhoseClosingFailedDoesNotStayUnderTheName();
    void theEndOfAPutIsOneWait();
    void aCancelWhileTheEndOfAPutIsAwaitedLeavesAWholeFile();
    void oneLoginServesAllAndADroppedConnectionReconnects();
    void listingsGiveNamesSizesAndTimesWithOrWithoutMlsd();
    void renameAndRemoveKeepTheServersReply();
    void setModifiedReachesTheDisk();
    void filesOfOneFolderCostFourCommandsAndAFolderChangeOne();
    void failedPutsCostOneAnswerOrOneStall();
    void aLateAnswerToARefusedPutIsNotTakenForTheNextOne();
    void ftpsPutsAllArriveAtADaemonThatRequiresTlsSessionReuse();
    void listingsGiveExactSizesAndTimes();
    void filesAreRenamedRemovedAndTimedByPath();
    void certificatesAreCheckedBeforeThePassword();
    void hostKeysAreCheckedBeforeThePassword();
    void hostKeysOfAKnownKindAreAskedForAndRevokedOnesRefused();
    void keyboardInteractiveLogsInWithThePassword();

private:
    bool connectAs(FtpClient &client, const QString &user, const QString &password);
    ConnectionOptions options(long connectSeconds = 30, long stallSeconds = 60) const
    {
        ConnectionOptions options = m_protocol.clientOptions();
        options.connectSeconds = connectSeconds;
        options.stallSeconds = stallSeconds;
        return options;
    }

    ProtocolUnderTest &m_protocol;
    FtpTestServer m_server;
    QTemporaryDir m_local;
};

void tst_FtpClient::initTestCase()
{
    m_server.setOptions(m_protocol.serverOptions({.stallName = u"stall-here"_s, .dropName = u"drop-here"_s}));
    QVERIFY2(m_server.start(
                 {{u"pexa"_s, u"p ä:ss"_s}, {u"reader"_s, u"r"_s, u"elr"_s}, {u"stall-here"_s, u"s"_s}}),
             qPrintable(m_server.errorText()));
    QVERIFY(m_local.isValid());
}

bool tst_FtpClient::connectAs(FtpClient &client, const QString &user, const QString &password)
{
    return client.open() && client.connect(u"127.0.0.1"_s, m_server.port(), user, password);
}

void tst_FtpClient::loginIsCheckedAtConnect()
{
    const auto client = m_protocol.makeClient(options());
    QVERIFY(connectAs(*client, u"pexa"_s, u"p ä:ss"_s));
    client->close();

    const auto wrongPassword = m_protocol.makeClient(options());
    QVERIFY(!connectAs(*wrongPassword, u"pexa"_s, u"wrong"_s));
    const auto unknownUser = m_protocol.makeClient(options());
    QVERIFY(!connectAs(*unknownUser, u"nobody"_s, u"p ä:ss"_s));

    // A port where nothing listens.
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost));
    const quint16 closedPort = probe.serverPort();
    probe.close();
    const auto closed = m_protocol.makeClient(options());
    QVERIFY(closed->open());
    QVERIFY(!closed->connect(u"127.0.0.1"_s, closedPort, u"pexa"_s, u"p ä:ss"_s));

    // An address that would read as another URL.
    const auto malformed = m_protocol.makeClient(options());
    QVERIFY(malformed->open());
    QVERIFY(!malformed->connect(u"evil@127.0.0.1"_s, m_server.port(), u"pexa"_s, u"p ä:ss"_s));
    QVERIFY(!malformed->connect(u"127.0.0.1/x"_s, m_server.port(), u"pexa"_s, u"p ä:ss"_s));

    const auto unresolved = m_protocol.makeClient(options());
    QVERIFY(unresolved->open());
    QVERIFY(!unresolved->connect(u"no-such-host.invalid"_s, m_server.port(), u"pexa"_s, u"p ä:ss"_s));
}

void tst_FtpClient::foldersAreFoundAndMadeByPath()
{
    const QString home = m_server.home(u"pexa"_s);
    QVERIFY(QDir(home).mkpath(u"www/photos"_s));
    const auto client = m_protocol.makeClient(options());
    QVERIFY(connectAs(*client, u"pexa"_s, u"p ä:ss"_s));

    QVERIFY(client->folderExists(QString()));
    QVERIFY(client->folderExists(u"www/photos"_s));
    QVERIFY(client->makeFolder(u"www/photos/2008"_s));
    QVERIFY(client->makeFolder(u"www/photos/2008/July"_s));
    QVERIFY(QFileInfo(home + u"/www/photos/2008/July"_s).isDir());
    QVERIFY(client->makeFolder(u"top"_s));
    QVERIFY(QFileInfo(home + u"/top"_s).isDir());
    QVERIFY(client->folderExists(u"www"_s));

    QCOMPARE(client->folderExists(u"missing"_s).failure, FtpClient::Failure::Refused);
    QCOMPARE(client->makeFolder(u"missing/x"_s).failure, FtpClient::Failure::Refused);
    // Paths never climb out of the login folder nor stay in place.
    QVERIFY(!client->folderExists(u"www/../www"_s));
    QVERIFY(!client->makeFolder(u"www/./new"_s));
    QVERIFY(client->folderExists(u"www/photos/2008"_s));
}

void tst_FtpClient::putsStoreBinaryAndReplace()
{
    const QString home = m_server.home(u"pexa"_s);
    QByteArray binary;
    for (int i = 0; i < 300000; ++i)
        binary.append(static_cast<char>((i * 7) % 256));
    binary.append("\r\n\n\r\0end", 8);
    const QString local = m_local.filePath(u"binary.jpg"_s);
    QVERIFY(writeFile(local, binary));

    const auto client = m_protocol.makeClient(options());
    QVERIFY(connectAs(*client, u"pexa"_s, u"p ä:ss"_s));
    QVERIFY(client->makeFolder(u"puts"_s));
    qint64 lastSent = 0;
    qint64 lastTotal = 0;
    QVERIFY(client->putFile(local, u"puts/a.jpg"_s, [&](qint64 sent, qint64 total) {
        lastSent = sent;
        lastTotal = total;
    }));
    QCOMPARE(fileBytes(home + u"/puts/a.jpg"_s), binary);
    QCOMPARE(lastTotal, binary.size());
    QCOMPARE(lastSent, binary.size());

    // A second put of the same name replaces the remote file, also by a shorter one.
    QVERIFY(writeFile(local, "short"));
    QVERIFY(client->putFile(local, u"puts/a.jpg"_s, {}));
    QCOMPARE(fileBytes(home + u"/puts/a.jpg"_s), QByteArray("short"));

    QVERIFY(writeFile(local, QByteArray()));
    QVERIFY(client->putFile(local, u"puts/empty.jpg"_s, {}));
    QCOMPARE(fileBytes(home + u"/puts/empty.jpg"_s), QByteArray());
}

void tst_FtpClient::namesWithBlanksAndNonAsciiLettersArriveByteForByte()
{
    const QString home = m_server.home(u"pexa"_s);
    const QString local = m_local.filePath(u"x.jpg"_s);
    QVERIFY(writeFile(local, "photo"));
    const auto client = m_protocol.makeClient(options());
    QVERIFY(connectAs(*client, u"pexa"_s, u"p ä:ss"_s));
    for (const QString &name : {u"Fête d'été 2008"_s, u"a #1 %20 100%"_s, u"東京 ?x;y"_s}) {
        QVERIFY2(client->makeFolder(name), qPrintable(name));
        QVERIFY2(client->putFile(local, name + u'/' + name + u".jpg"_s, {}), qPrintable(name));
        QCOMPARE(fileBytes(home + u'/' + name + u'/' + name + u".jpg"_s), QByteArray("photo"));
    }
}

void tst_FtpClient::refusedOperationsGiveFalse()
{
    const QString local = m_local.filePath(u"r.jpg"_s);
    QVERIFY(writeFile(local, "r"));
    QVERIFY(QDir(m_server.home(u"reader"_s)).mkpath(u"inside"_s));

    const auto reader = m_protocol.makeClient(options());
    QVERIFY(connectAs(*reader, u"reader"_s, u"r"_s));
    QVERIFY(!reader->makeFolder(u"new"_s));
    QCOMPARE(reader->putFile(local, u"r.jpg"_s, {}).failure, FtpClient::Failure::Refused);
    QVERIFY(reader->folderExists(u"inside"_s));
    QVERIFY(!QFileInfo::exists(m_server.home(u"reader"_s) + u"/new"_s));

    const auto client = m_protocol.makeClient(options());
    QVERIFY(connectAs(*client, u"pexa"_s, u"p ä:ss"_s));
    QCOMPARE(client->putFile(m_local.filePath(u"absent.jpg"_s), u"absent.jpg"_s, {}).failure,
             FtpClient::Failure::LocalFile);
    QVERIFY(!QFileInfo::exists(m_server.home(u"pexa"_s) + u"/absent.jpg"_s));
    // A line break in a name would smuggle in a command of its own.
    QVERIFY(!client->makeFolder(u"evil\r\nDELE x"_s));
    QVERIFY(!client->folderExists(u"evil\r\nDELE x"_s));
    QVERIFY(!client->putFile(local, u"evil\r\nDELE x"_s, {}));
    // The connection still serves after refusals.
    QVERIFY(client->putFile(local, u"after.jpg"_s, {}));

    const auto unopened = m_protocol.makeClient(options());
    QVERIFY(!unopened->folderExists(u"x"_s));
    QVERIFY(!unopened->putFile(local, u"x.jpg"_s, {}));
}

void tst_FtpClient::stalledServerFailsTheOperationInHand()
{
    const auto client = m_protocol.makeClient(options(30, 2));
    const ClientWatch watch(*client);
    QVERIFY(connectAs(*client, u"pexa"_s, u"p ä:ss"_s));
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(client->folderExists(u"stall-here"_s).failure, FtpClient::Failure::Stalled);
    QVERIFY2(timer.elapsed() < 10000, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(timer.elapsed() >= 1900);

    const QString local = m_local.filePath(u"s.jpg"_s);
    QVERIFY(writeFile(local, "s"));
    timer.restart();
    const TransferOutcome stalled = client->putFile(local, u"stall-here"_s, {});
    QVERIFY(timer.elapsed() < 10000);
    QCOMPARE(stalled.failure, FtpClient::Failure::Stalled);
    QVERIFY2(timer.elapsed() >= 1900, qPrintable(QString::number(timer.elapsed())));
    // The run goes on after a stall.
    QVERIFY(client->putFile(local, u"fine.jpg"_s, {}));

    // Replies held back: a folder made, the end of a put (libcurl waits for both inside one call).
    FtpTestServer held;
    held.setOptions(m_protocol.serverOptions({.replyDelay = 30}));
    QVERIFY2(held.start({{u"pexa"_s, u"p"_s}}), qPrintable(held.errorText()));
    AtomicPutClient heldClient(m_protocol.makeClient(options(30, 2)));
    const ClientWatch heldWatch(heldClient.inner());
    QVERIFY(heldClient.inner().open() &&
            heldClient.inner().connect(u"127.0.0.1"_s, held.port(), u"pexa"_s, u"p"_s));
    for (const auto &operation : std::initializer_list<std::function<TransferOutcome()>>{
             [&] { return heldClient.inner().makeFolder(u"made"_s); },
             [&] { return heldClient.putFile(local, u"s.jpg"_s, {}); }}) {
        timer.restart();
        QVERIFY(!operation());
        QVERIFY2(timer.elapsed() >= 1900 && timer.elapsed() < 10000,
                 qPrintable(QString::number(timer.elapsed())));
    }
    // The put was whole but not confirmed: it is not there under its name. Its part is not
    // waited for again now; a listing of its folder takes it away.
    QVERIFY(!QFileInfo::exists(held.home(u"pexa"_s) + u"/s.jpg"_s));
    QVERIFY(heldClient.listFolder(QString()).outcome);
    QCOMPARE(filesIn(held.home(u"pexa"_s)), QStringList());
}

void tst_FtpClient::silentServerFailsTheConnect()
{
    // Listening but never accepting: the connection is made and no greeting comes.
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    const auto client = m_protocol.makeClient(options(2, 60));
    QVERIFY(client->open());
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!client->connect(u"127.0.0.1"_s, silent.serverPort(), u"pexa"_s, u"x"_s));
    QVERIFY2(timer.elapsed() >= 1900 && timer.elapsed() < 10000,
             qPrintable(QString::number(timer.elapsed())));
}

void tst_FtpClient::cancelEndsTheOperationInHand()
{
    QElapsedTimer timer;
    const QString local = m_local.filePath(u"c.jpg"_s);
    QVERIFY(writeFile(local, "c"));

    // A login that gets no answer.
    const auto atLogin = m_protocol.makeClient(options());
    ClientWatch atLoginWatch(*atLogin);
    timer.start();
    atLoginWatch.cancelAfter(300ms);
    QVERIFY(!connectAs(*atLogin, u"stall-here"_s, u"s"_s));
    QVERIFY2(timer.elapsed() < 1300, qPrintable(QString::number(timer.elapsed())));

    // A folder change that gets no answer; after Cancel nothing more goes to the server.
    const auto later = m_protocol.makeClient(options());
    ClientWatch laterWatch(*later);
    timer.start();
    laterWatch.cancelAfter(300ms);
    QVERIFY(connectAs(*later, u"pexa"_s, u"p ä:ss"_s));
    QCOMPARE(later->folderExists(u"stall-here"_s).failure, FtpClient::Failure::Cancelled);
    QVERIFY2(timer.elapsed() < 1300, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(!later->putFile(local, u"after-cancel.jpg"_s, {}));
    QVERIFY(!QFileInfo::exists(m_server.home(u"pexa"_s) + u"/after-cancel.jpg"_s));
}

// Cancelled or cut off by the server's end, a put leaves the file that was there.
void tst_FtpClient::interruptedPutsLeaveTheOldFileWhole()
{
    FtpTestServer slow;
    slow.setOptions(m_protocol.serverOptions({.throttle = 256 * 1024}));
    QVERIFY2(slow.start({{u"pexa"_s, u"p"_s}}), qPrintable(slow.errorText()));
    const QString remote = slow.home(u"pexa"_s) + u"/a.jpg"_s;
    QVERIFY(writeFile(remote, "the old photo"));
    const QString local = m_local.filePath(u"big.jpg"_s);
    QVERIFY(writeFile(local, QByteArray(2 * 1024 * 1024, 'n')));

    QElapsedTimer sinceCancel;
    AtomicPutClient cancelled(m_protocol.makeClient(options()));
    ClientWatch watch(cancelled.inner());
    QVERIFY(cancelled.inner().open() &&
            cancelled.inner().connect(u"127.0.0.1"_s, slow.port(), u"pexa"_s, u"p"_s));
    QVERIFY(!cancelled.putFile(local, u"a.jpg"_s, [&](qint64 sent, qint64) {
        if (sent > 100 * 1024 && !sinceCancel.isValid()) {
            sinceCancel.start();
            watch.cancelAfter(0ms);
        }
    }));
    QVERIFY2(sinceCancel.elapsed() < 1000, qPrintable(QString::number(sinceCancel.elapsed())));
    QCOMPARE(fileBytes(remote), QByteArray("the old photo"));
    // The server was still there to remove the part sent.
    QCOMPARE(filesIn(slow.home(u"pexa"_s)), QStringList({u"a.jpg"_s}));

    AtomicPutClient cutOff(m_protocol.makeClient(options()));
    QVERIFY(cutOff.inner().open() && cutOff.inner().connect(u"127.0.0.1"_s, slow.port(), u"pexa"_s, u"p"_s));
    QVERIFY(!cutOff.putFile(local, u"a.jpg"_s, [&](qint64 sent, qint64) {
        if (sent > 100 * 1024)
            slow.kill();
    }));
    QCOMPARE(fileBytes(remote), QByteArray("the old photo"));
}

void tst_FtpClient::serversThatWillNotRenameStillGetWholeFiles()
{
    FtpTestServer server;
    server.setOptions(m_protocol.serverOptions({.noRenameOver = true}));
    QVERIFY2(server.start({{u"pexa"_s, u"p"_s}, {u"norename"_s, u"p"_s, u"elrwd"_s}}),
             qPrintable(server.errorText()));
    const QString local = m_local.filePath(u"n.jpg"_s);
    for (const QString &user : {u"pexa"_s, u"norename"_s}) {
        AtomicPutClient client(m_protocol.makeClient(options()));
        QVERIFY(client.inner().open() && client.inner().connect(u"127.0.0.1"_s, server.port(), user, u"p"_s));
        for (const QByteArray &content : {QByteArray("first"), QByteArray("second, longer")}) {
            QVERIFY(writeFile(local, content));
            QVERIFY2(client.putFile(local, u"n.jpg"_s, {}), qPrintable(user));
            QCOMPARE(fileBytes(server.home(user) + u"/n.jpg"_s), content);
        }
        QCOMPARE(filesIn(server.home(user)), QStringList({u"n.jpg"_s}));
    }
}

// Over SFTP the closing, the time and the rename follow the last write without waiting: never
// after a write the server refused. The old file stays whole, and the part goes.
void tst_FtpClient::aWriteRefusedIsNeverFollowedByTheRename()
{
    if (m_protocol.security() != TransferSecurity::Sftp)
        QSKIP("the put in one go is SFTP's");
    FtpTestServer server;
    server.setOptions(m_protocol.serverOptions({.refusedWritesPrefix = u".pexa-"_s, .logCommands = true}));
    QVERIFY2(server.start({{u"pexa"_s, u"p"_s}}), qPrintable(server.errorText()));
    const QString remote = server.home(u"pexa"_s) + u"/a.jpg"_s;
    QVERIFY(writeFile(remote, "the old photo"));
    const QString local = m_local.filePath(u"half.jpg"_s);
    QVERIFY(writeFile(local, QByteArray(200 * 1024, 'h')));
    AtomicPutClient client(m_protocol.makeClient(options()));
    QVERIFY(client.inner().open() &&
            client.inner().connect(u"127.0.0.1"_s, server.port(), u"pexa"_s, u"p"_s));
    const QDateTime july(QDate(2008, 7, 1), QTime(12, 0, 5), Qt::UTC);
    QCOMPARE(client.putFileWithTime(local, u"a.jpg"_s, july, {}).put.failure, FtpClient::Failure::Refused);
    QCOMPARE(fileBytes(remote), QByteArray("the old photo"));
    QCOMPARE(filesIn(server.home(u"pexa"_s)), QStringList({u"a.jpg"_s}));
    QCOMPARE(verbsAndArguments(server.commands()).filter(QRegularExpression(u"^(rename|setstat) "_s)),
             QStringList());
}

// As OpenSSH's server, the test server will not rename onto a file: the old one is removed and
// the rename sent again. The time, set before the first rename, stays with the file.
void tst_FtpClient::aRenameRefusedOntoAFileStillReplacesItWithItsTime()
{
    if (m_protocol.security() != TransferSecurity::Sftp)
        QSKIP("the put in one go is SFTP's");
    FtpTestServer server;
    server.setOptions(m_protocol.serverOptions({.logCommands = true}));
    QVERIFY2(server.start({{u"pexa"_s, u"p"_s}}), qPrintable(server.errorText()));
    const QString remote = server.home(u"pexa"_s) + u"/b.jpg"_s;
    QVERIFY(writeFile(remote, "the old photo"));
    const QString local = m_local.filePath(u"b.jpg"_s);
    QVERIFY(writeFile(local, "the new photo"));
    AtomicPutClient client(m_protocol.makeClient(options()));
    QVERIFY(client.inner().open() &&
            client.inner().connect(u"127.0.0.1"_s, server.port(), u"pexa"_s, u"p"_s));
    const QDateTime july(QDate(2008, 7, 1), QTime(12, 0, 5), Qt::UTC);
    const AtomicPutClient::TimedPut timed = client.putFileWithTime(local, u"b.jpg"_s, july, {});
    QVERIFY(timed.put);
    QCOMPARE(timed.time, FtpClient::Failure::None);
    QCOMPARE(fileBytes(remote), QByteArray("the new photo"));
    QCOMPARE(QFileInfo(remote).lastModified().toUTC(), july);
    QCOMPARE(filesIn(server.home(u"pexa"_s)), QStringList({u"b.jpg"_s}));
    QCOMPARE(withPart(server.commands()),
             QStringList({u"open PART"_s, u"write"_s, u"close"_s, u"setstat PART"_s, u"rename PART b.jpg"_s,
                          u"remove b.jpg"_s, u"rename PART b.jpg"_s}));
}

// The rename goes out before the server has answered the closing: when that answer is a failure,
// the file the rename put under the name is in doubt, and does not stay there.
void tst_FtpClient::aFileWhoseClosingFailedDoesNotStayUnderTheName()
{
    if (m_protocol.security() != TransferSecurity::Sftp)
        QSKIP("the put in one go is SFTP's");
    FtpTestServer server;
    // Held answers, so that the closing's cannot come before the rename has gone.
    server.setOptions(
        m_protocol.serverOptions({.refusedClosePrefix = u".pexa-"_s, .latencyMs = 100, .logCommands = true}));
    QVERIFY2(server.start({{u"pexa"_s, u"p"_s}}), qPrintable(server.errorText()));
    const QString local = m_local.filePath(u"c.jpg"_s);
    QVERIFY(writeFile(local, "in doubt"));
    AtomicPutClient client(m_protocol.makeClient(options()));
    QVERIFY(client.inner().open() &&
            client.inner().connect(u"127.0.0.1"_s, server.port(), u"pexa"_s, u"p"_s));
    const TransferOutcome inDoubt = client.putFile(local, u"c.jpg"_s, {});
    QCOMPARE(inDoubt.failure, FtpClient::Failure::Refused);
    QCOMPARE(inDoubt.reply, u"4 Failure"_s);
    QCOMPARE(filesIn(server.home(u"pexa"_s)), QStringList());
    QCOMPARE(withPart(server.commands()), QStringList({u"open PART"_s, u"write"_s, u"close"_s,
                                                       u"rename PART c.jpg"_s, u"remove c.jpg"_s}));
}

// A put with its time waits for the open, for the writes, and once for the closing, the time and
// the rename together: three round trips where one request after another takes five.
void tst_FtpClient::theEndOfAPutIsOneWait()
{
    if (m_protocol.security() != TransferSecurity::Sftp)
        QSKIP("the put in one go is SFTP's");
    constexpr int latencyMs = 500;
    FtpTestServer server;
    server.setOptions(m_protocol.serverOptions({.latencyMs = latencyMs}));
    QVERIFY2(server.start({{u"pexa"_s, u"p"_s}}), qPrintable(server.errorText()));
    const QString local = m_local.filePath(u"d.jpg"_s);
    QVERIFY(writeFile(local, "timed"));
    AtomicPutClient client(m_protocol.makeClient(options()));
    QVERIFY(client.inner().open() &&
            client.inner().connect(u"127.0.0.1"_s, server.port(), u"pexa"_s, u"p"_s));
    const QDateTime july(QDate(2008, 7, 1), QTime(12, 0, 5), Qt::UTC);
    QElapsedTimer timer;
    timer.start();
    const AtomicPutClient::TimedPut timed = client.putFileWithTime(local, u"d.jpg"_s, july, {});
    QVERIFY(timed.put);
    QVERIFY2(timer.elapsed() >= 3 * latencyMs && timer.elapsed() < 4 * latencyMs,
             qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(timed.time, FtpClient::Failure::None);
    QCOMPARE(QFileInfo(server.home(u"pexa"_s) + u"/d.jpg"_s).lastModified().toUTC(), july);
}

// Cancel after the last write, while the closing and the rename wait for their answers: the put
// fails as cancelled, and the name holds a whole file, the old or the new.
void tst_FtpClient::aCancelWhileTheEndOfAPutIsAwaitedLeavesAWholeFile()
{
    if (m_protocol.security() != TransferSecurity::Sftp)
        QSKIP("the put in one go is SFTP's");
    FtpTestServer server;
    server.setOptions(m_protocol.serverOptions({.latencyMs = 100}));
    QVERIFY2(server.start({{u"pexa"_s, u"p"_s}}), qPrintable(server.errorText()));
    const QString remote = server.home(u"pexa"_s) + u"/e.jpg"_s;
    QVERIFY(writeFile(remote, "the old photo"));
    const QString local = m_local.filePath(u"e.jpg"_s);
    QVERIFY(writeFile(local, "the new photo"));
    AtomicPutClient client(m_protocol.makeClient(options()));
    ClientWatch watch(client.inner());
    QVERIFY(client.inner().open() &&
            client.inner().connect(u"127.0.0.1"_s, server.port(), u"pexa"_s, u"p"_s));
    const TransferOutcome cancelled = client.putFile(local, u"e.jpg"_s, [&](qint64 sent, qint64 total) {
        if (sent == total)
            watch.cancelAfter(0ms);
    });
    QCOMPARE(cancelled.failure, FtpClient::Failure::Cancelled);
    const QByteArray held = fileBytes(remote);
    QVERIFY2(held == "the old photo" || held == "the new photo", held.constData());
}

void tst_FtpClient::oneLoginServesAllAndADroppedConnectionReconnects()
{
    const QString local = m_local.filePath(u"l.jpg"_s);
    QVERIFY(writeFile(local, "l"));
    const int before = m_server.logins();
    const auto client = m_protocol.makeClient(options());
    QVERIFY(connectAs(*client, u"pexa"_s, u"p ä:ss"_s));
    QVERIFY(!client->folderExists(u"logins"_s));
    QVERIFY(client->makeFolder(u"logins"_s));
    // Refusals keep the connection.
    QVERIFY(!client->makeFolder(u"logins"_s));
    QVERIFY(client->putFile(local, u"logins/1.jpg"_s, {}));
    QVERIFY(client->putFile(local, u"logins/1.jpg"_s, {}));
    QVERIFY(client->putFile(local, u"2.jpg"_s, {}));
    QCOMPARE(m_server.logins() - before, 1);

    // The server hangs up; the next operation logs in again.
    QCOMPARE(client->folderExists(u"logins/drop-here"_s).failure, FtpClient::Failure::ConnectionLost);
    QVERIFY(client->putFile(local, u"logins/3.jpg"_s, {}));
    QCOMPARE(m_server.logins() - before, 2);
    QCOMPARE(fileBytes(m_server.home(u"pexa"_s) + u"/logins/3.jpg"_s), QByteArray("l"));
}

void tst_FtpClient::listingsGiveNamesSizesAndTimesWithOrWithoutMlsd()
{
    if (m_protocol.security() == TransferSecurity::Sftp)
        QSKIP("MLSD and what stands in for it are FTP's");
    const QDateTime july = QDateTime(QDate(2008, 7, 1), QTime(12, 0, 5), Qt::UTC);
    const QDateTime winter = QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59), Qt::UTC);
    const QStringList whole = {u"Fête d'été 東京.jpg file 70000 1999-12-31T23:59:59Z"_s,
                               u"Juni 2008 folder"_s, u"a.jpg file 3 2008-07-01T12:00:05Z"_s,
                               u"empty.jpg file 0 2008-07-01T12:00:05Z"_s};
    const QStringList bare = {u"Fête d'été 東京.jpg file -1 -"_s, u"Juni 2008 folder"_s, u"a.jpg file -1 -"_s,
                              u"empty.jpg file -1 -"_s};
    // Without MLSD nor SIZE a folder cannot be told from a file, and the entries say so.
    QStringList namesOnly = bare;
    namesOnly.replaceInStrings(u" file "_s, u" entry "_s);
    namesOnly[1] = u"Juni 2008 entry -1 -"_s;
    const struct
    {
        FtpTestServer::Options options;
        QStringList expected;
        // MLSD, SIZE and MDTM commands of a second listing: what the server lacks is not asked
        // again.
        QList<qsizetype> again;
    } cases[] = {
        {{.logCommands = true}, whole, {1, 0, 0}},
        {{.logCommands = true, .noMlsd = true}, whole, {0, 4, 4}},
        {{.logCommands = true, .bareListing = true}, bare, {1, 0, 0}},
        {{.logCommands = true, .noMlsd = true, .bareListing = true}, namesOnly, {0, 0, 0}},
    };
    for (const auto &test : cases) {
        FtpTestServer server;
        server.setOptions(m_protocol.serverOptions(test.options));
        QVERIFY2(server.start({{u"pexa"_s, u"p"_s}}), qPrintable(server.errorText()));
        const QString list = server.home(u"pexa"_s) + u"/list/"_s;
        QVERIFY(QDir().mkpath(list + u"Juni 2008"_s) && writeFileAt(list + u"a.jpg"_s, "abc", july) &&
                writeFileAt(list + u"Fête d'été 東京.jpg"_s, QByteArray(70000, 'x'), winter) &&
                writeFileAt(list + u"empty.jpg"_s, QByteArray(), july));
        const auto client = m_protocol.makeClient(options());
        QVERIFY(client->open() && client->connect(u"127.0.0.1"_s, server.port(), u"pexa"_s, u"p"_s));
        FtpClient::Listing listed = client->listFolder(u"list"_s);
        QVERIFY(listed.outcome);
        QCOMPARE(described(listed.entries), test.expected);
        const qsizetype before = server.commands().size();
        listed = client->listFolder(u"list"_s);
        QVERIFY(listed.outcome);
        QCOMPARE(described(listed.entries), test.expected);
        const QStringList sent = verbsAndArguments(server.commands().mid(before));
        QCOMPARE(QList<qsizetype>({sent.filter(QRegularExpression(u"^MLSD"_s)).size(),
                                   sent.filter(QRegularExpression(u"^SIZE "_s)).size(),
                                   sent.filter(QRegularExpression(u"^MDTM "_s)).size()}),
                 test.again);

        const TransferOutcome missing = client->listFolder(u"missing"_s).outcome;
        QCOMPARE(missing.failure, FtpClient::Failure::Refused);
        QVERIFY2(missing.reply.startsWith(u"550"_s), qPrintable(missing.reply));
    }
}

void tst_FtpClient::renameAndRemoveKeepTheServersReply()
{
    FtpTestServer server;
    server.setOptions(m_protocol.serverOptions());
    QVERIFY2(server.start({{u"pexa"_s, u"p"_s}}), qPrintable(server.errorText()));
    const QString home = server.home(u"pexa"_s);
    QVERIFY(QDir(home).mkpath(u"sub"_s));
    const QString local = m_local.filePath(u"m.jpg"_s);
    QVERIFY(writeFile(local, "moved"));

    const auto client = m_protocol.makeClient(options());
    QVERIFY(client->open() && client->connect(u"127.0.0.1"_s, server.port(), u"pexa"_s, u"p"_s));
    QVERIFY(client->putFile(local, u"x.jpg"_s, {}));
    QVERIFY(client->rename(u"x.jpg"_s, u"sub/Fête d'été.jpg"_s));
    QCOMPARE(fileBytes(home + u"/sub/Fête d'été.jpg"_s), QByteArray("moved"));
    QVERIFY(client->rename(u"sub/Fête d'été.jpg"_s, u"sub/y.jpg"_s));
    QCOMPARE(filesIn(home + u"/sub"_s), QStringList({u"y.jpg"_s}));
    QVERIFY(client->removeFile(u"sub/y.jpg"_s));
    QCOMPARE(filesIn(home + u"/sub"_s), QStringList());
    QCOMPARE(filesIn(home), QStringList());

    for (const auto &refused : std::initializer_list<std::function<TransferOutcome()>>{
             [&] { return client->removeFile(u"sub/y.jpg"_s); },
             [&] { return client->rename(u"gone.jpg"_s, u"sub/z.jpg"_s); }}) {
        const TransferOutcome outcome = refused();
        QCOMPARE(outcome.failure, FtpClient::Failure::Refused);
        // An SFTP server answers with a status, not a line.
        if (m_protocol.security() != TransferSecurity::Sftp)
            QVERIFY2(outcome.reply.startsWith(u"550 "_s), qPrintable(outcome.reply));
    }
}

void tst_FtpClient::setModifiedReachesTheDisk()
{
    if (m_protocol.security() == TransferSecurity::Sftp)
        QSKIP("MFMT is FTP's");
    FtpTestServer server;
    server.setOptions(m_protocol.serverOptions());
    QVERIFY2(server.start({{u"pexa"_s, u"p"_s}, {u"untimed"_s, u"p"_s, u"elradfmw"_s}}),
             qPrintable(server.errorText()));
    const QString local = m_local.filePath(u"t.jpg"_s);
    QVERIFY(writeFile(local, "timed"));
    const QDateTime july = QDateTime(QDate(2008, 7, 1), QTime(12, 0, 5), Qt::UTC);

    const auto client = m_protocol.makeClient(options());
    QVERIFY(client->open() && client->connect(u"127.0.0.1"_s, server.port(), u"pexa"_s, u"p"_s));
    QVERIFY(client->putFile(local, u"t.jpg"_s, {}));
    QVERIFY(client->setModified(u"t.jpg"_s, july));
    QCOMPARE(QFileInfo(server.home(u"pexa"_s) + u"/t.jpg"_s).lastModified().toUTC(), july);

    // A server that will not set times says so, and the file stays as it was.
    const auto untimed = m_protocol.makeClient(options());
    QVERIFY(untimed->open() && untimed->connect(u"127.0.0.1"_s, server.port(), u"untimed"_s, u"p"_s));
    QVERIFY(untimed->putFile(local, u"t.jpg"_s, {}));
    const QDateTime stored = QFileInfo(server.home(u"untimed"_s) + u"/t.jpg"_s).lastModified();
    const TransferOutcome notTimed = untimed->setModified(u"t.jpg"_s, july);
    QCOMPARE(notTimed.failure, FtpClient::Failure::Refused);
    QVERIFY2(notTimed.reply.startsWith(u"550 "_s), qPrintable(notTimed.reply));
    QCOMPARE(QFileInfo(server.home(u"untimed"_s) + u"/t.jpg"_s).lastModified(), stored);
}

void tst_FtpClient::filesOfOneFolderCostFourCommandsAndAFolderChangeOne()
{
    if (m_protocol.security() == TransferSecurity::Sftp)
        QSKIP("FTP commands");
    FtpTestServer server;
    server.setOptions(m_protocol.serverOptions({.logCommands = true}));
    QVERIFY2(server.start({{u"pexa"_s, u"p"_s}}), qPrintable(server.errorText()));
    QVERIFY(QDir(server.home(u"pexa"_s)).mkpath(u"www/a"_s));
    QVERIFY(QDir(server.home(u"pexa"_s)).mkpath(u"www/b"_s));
    const QString local = m_local.filePath(u"w.jpg"_s);
    QVERIFY(writeFile(local, "wire"));
    AtomicPutClient client(m_protocol.makeClient(options()));
    QVERIFY(client.inner().open() &&
            client.inner().connect(u"127.0.0.1"_s, server.port(), u"pexa"_s, u"p"_s));
    const QDateTime july = QDateTime(QDate(2008, 7, 1), QTime(12, 0, 5), Qt::UTC);
    QVERIFY(client.inner().folderExists(u"www/a"_s));
    QVERIFY(client.putFile(local, u"www/a/1.jpg"_s, {}));

    qsizetype before = server.commands().size();
    const auto sentSince = [&] {
        const QStringList sent = withPart(server.commands().mid(before));
        before += sent.size();
        return sent;
    };
    QVERIFY(client.putFile(local, u"www/a/2.jpg"_s, {}));
    QVERIFY(client.inner().setModified(u"www/a/2.jpg"_s, july));
    QCOMPARE(sentSince(), QStringList({u"EPSV"_s, u"STOR PART"_s, u"RNFR PART"_s, u"RNTO 2.jpg"_s,
                                       u"MFMT 20080701120005 2.jpg"_s}));
    QVERIFY(client.putFile(local, u"www/b/1.jpg"_s, {}));
    QCOMPARE(sentSince(),
             QStringList({u"CWD /www/b"_s, u"EPSV"_s, u"STOR PART"_s, u"RNFR PART"_s, u"RNTO 1.jpg"_s}));
    QVERIFY(client.inner().folderExists(u"www/a"_s));
    QVERIFY(client.inner().removeFile(u"www/a/1.jpg"_s));
    QCOMPARE(sentSince(), QStringList({u"CWD /www/a"_s, u"DELE 1.jpg"_s}));
}

// A put the server refused outright left nothing to remove; one that went silent before the
// file was open (an FTP data connection, an SFTP open) fails after one stall, and nothing waits
// for it a second time.
void tst_FtpClient::failedPutsCostOneAnswerOrOneStall()
{
    const bool sftp = m_protocol.security() == TransferSecurity::Sftp;
    const QRegularExpression store(sftp ? u"^open "_s : u"^STOR "_s);
    const QRegularExpression remove(sftp ? u"^remove "_s : u"^DELE "_s);
    const QString local = m_local.filePath(u"f.jpg"_s);
    QVERIFY(writeFile(local, "f"));

    FtpTestServer refusing;
    refusing.setOptions(m_protocol.serverOptions({.refusedPrefix = u".pexa-"_s, .logCommands = true}));
    QVERIFY2(refusing.start({{u"pexa"_s, u"p"_s}}), qPrintable(refusing.errorText()));
    AtomicPutClient refused(m_protocol.makeClient(options()));
    QVERIFY(refused.inner().open() &&
            refused.inner().connect(u"127.0.0.1"_s, refusing.port(), u"pexa"_s, u"p"_s));
    const TransferOutcome refusal = refused.putFile(local, u"f.jpg"_s, {});
    QCOMPARE(refusal.failure, FtpClient::Failure::Refused);
    if (!sftp)
        QCOMPARE(refusal.reply, u"550 Refused."_s);
    QVERIFY(refused.inner().folderExists(QString()));
    QStringList sent = verbsAndArguments(refusing.commands());
    QCOMPARE(sent.filter(store).size(), 1);
    QCOMPARE(sent.filter(remove), QStringList());

    FtpTestServer silent;
    silent.setOptions(sftp ? m_protocol.serverOptions({.stallName = u".part"_s, .logCommands = true})
                           : m_protocol.serverOptions({.logCommands = true, .silentData = true}));
    QVERIFY2(silent.start({{u"pexa"_s, u"p"_s}}), qPrintable(silent.errorText()));
    AtomicPutClient stalled(m_protocol.makeClient(options(30, 2)));
    const ClientWatch watch(stalled.inner());
    QVERIFY(stalled.inner().open() &&
            stalled.inner().connect(u"127.0.0.1"_s, silent.port(), u"pexa"_s, u"p"_s));
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(stalled.putFile(local, u"f.jpg"_s, {}).failure, FtpClient::Failure::Stalled);
    QVERIFY2(timer.elapsed() >= 1900 && timer.elapsed() < 3900, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(stalled.inner().folderExists(QString()));
    QVERIFY2(timer.elapsed() < 3900, qPrintable(QString::number(timer.elapsed())));
    sent = verbsAndArguments(silent.commands());
    QCOMPARE(sent.filter(store).size(), 1);
    QCOMPARE(sent.filter(remove), QStringList());
}

// A server may answer for a put's data connection after it refused the put, as pyftpdlib does
// for one closed during its TLS handshake; the operations after it still get their own answers.
void tst_FtpClient::aLateAnswerToARefusedPutIsNotTakenForTheNextOne()
{
    if (m_protocol.security() == TransferSecurity::Sftp)
        QSKIP("FTP replies");
    FtpTestServer server;
    server.setOptions(m_protocol.serverOptions({.refusedPrefix = u"no-"_s, .answerClosedData = true}));
    QVERIFY2(server.start({{u"pexa"_s, u"p"_s}}), qPrintable(server.errorText()));
    const QString home = server.home(u"pexa"_s);
    QVERIFY(QDir(home).mkpath(u"www"_s));
    const QString local = m_local.filePath(u"n.jpg"_s);
    QVERIFY(writeFile(local, "next"));
    const auto client = m_protocol.makeClient(options());
    QVERIFY(client->open() && client->connect(u"127.0.0.1"_s, server.port(), u"pexa"_s, u"p"_s));

    const TransferOutcome refusal = client->putFile(local, u"www/no-1.jpg"_s, {});
    QCOMPARE(refusal.failure, FtpClient::Failure::Refused);
    QCOMPARE(refusal.reply, u"550 Refused."_s);
    QVERIFY(client->folderExists(QString()));
    QVERIFY(client->putFile(local, u"www/2.jpg"_s, {}));
    QCOMPARE(fileBytes(home + u"/www/2.jpg"_s), QByteArray("next"));
    QCOMPARE(client->folderExists(u"missing"_s).failure, FtpClient::Failure::Refused);
}

// proftpd with its stock TLS settings refuses a data connection that does not resume the
// control connection's TLS session.
void tst_FtpClient::ftpsPutsAllArriveAtADaemonThatRequiresTlsSessionReuse()
{
    if (m_protocol.security() != TransferSecurity::Ftps)
        QSKIP("TLS sessions are FTPS's");
    if (const QString missing = DaemonFtpsServer::missing(); !missing.isEmpty())
        QSKIP(qPrintable(missing));
    DaemonFtpsServer daemon;
    TestCredentials &credentials = m_protocol.credentials();
    QVERIFY2(daemon.start({credentials.certificatePath(TestCredentials::Certificate::Server),
                           credentials.keyPath(TestCredentials::Certificate::Server)}),
             qPrintable(daemon.errorText()));
    const QString local = m_local.filePath(u"d.jpg"_s);
    QByteArray photo;
    for (int i = 0; i < 20000; ++i)
        photo.append(static_cast<char>(i * 13));
    QVERIFY(writeFile(local, photo));

    AtomicPutClient client(m_protocol.makeClient(options()));
    QVERIFY(client.inner().open() &&
            client.inner().connect(u"127.0.0.1"_s, daemon.port(), daemon.userName(), daemon.password()));
    QStringList failed;
    for (int i = 0; i < 48; ++i) {
        const QString name = u"%1.jpg"_s.arg(i);
        if (const TransferOutcome put = client.putFile(local, name, {}); !put)
            failed << name + u": "_s + put.reply;
    }
    QVERIFY2(failed.isEmpty(), qPrintable(u"%1 of 48 failed:\n"_s.arg(failed.size()) + failed.join(u'\n')));
    for (int i = 0; i < 48; ++i)
        QCOMPARE(fileBytes(daemon.home() + u"/%1.jpg"_s.arg(i)), photo);
    QCOMPARE(filesIn(daemon.home()).size(), 48);
}

void tst_FtpClient::listingsGiveExactSizesAndTimes()
{
    const QString folder = m_server.home(u"pexa"_s) + u"/listed"_s;
    QVERIFY(QDir(folder).mkpath(u"sub"_s));
    // Older than six months, where a long listing shows only the year; and odd seconds.
    const QDateTime old(QDate(2009, 3, 4), QTime(5, 6, 7), Qt::UTC);
    const QDateTime recent = QDateTime::currentDateTimeUtc().addSecs(-3599);
    const struct
    {
        QString name;
        qint64 size;
        QDateTime time;
    } files[] = {{u"old photo.jpg"_s, 123457, old}, {u"recent.jpg"_s, 1, recent}, {u"empty.png"_s, 0, old}};
    for (const auto &file : files) {
        QFile made(folder + u'/' + file.name);
        QVERIFY(made.open(QIODevice::WriteOnly));
        QVERIFY(made.write(QByteArray(file.size, 'x')) == file.size);
        QVERIFY(made.setFileTime(file.time, QFileDevice::FileModificationTime));
    }

    const auto client = m_protocol.makeClient(options());
    QVERIFY(connectAs(*client, u"pexa"_s, u"p ä:ss"_s));
    const FtpClient::Listing listing = client->listFolder(u"listed"_s);
    QVERIFY(listing.outcome);
    QCOMPARE(listing.entries.size(), 4);
    for (const RemoteEntry &entry : listing.entries) {
        const QFileInfo onDisk(folder + u'/' + entry.name);
        QVERIFY2(onDisk.exists(), qPrintable(entry.name));
        QCOMPARE(entry.folder, onDisk.isDir());
        QCOMPARE(entry.modified,
                 onDisk.lastModified().toUTC().addMSecs(-onDisk.lastModified().time().msec()));
        if (!entry.folder)
            QCOMPARE(entry.size, onDisk.size());
    }

    const TransferOutcome missing = client->listFolder(u"missing"_s).outcome;
    QCOMPARE(missing.failure, FtpClient::Failure::Refused);
    QVERIFY(!missing.reply.isEmpty());
    QVERIFY(client->listFolder(QString()).outcome);
}

void tst_FtpClient::filesAreRenamedRemovedAndTimedByPath()
{
    const QString home = m_server.home(u"pexa"_s);
    QVERIFY(QDir(home).mkpath(u"moves/into"_s));
    const QString local = m_local.filePath(u"m.jpg"_s);
    QVERIFY(writeFile(local, "moved"));
    const auto client = m_protocol.makeClient(options());
    QVERIFY(connectAs(*client, u"pexa"_s, u"p ä:ss"_s));

    QVERIFY(client->putFile(local, u"moves/a.jpg"_s, {}));
    QVERIFY(client->rename(u"moves/a.jpg"_s, u"moves/into/b.jpg"_s));
    QCOMPARE(fileBytes(home + u"/moves/into/b.jpg"_s), QByteArray("moved"));
    QVERIFY(!QFileInfo::exists(home + u"/moves/a.jpg"_s));
    QCOMPARE(client->rename(u"moves/missing.jpg"_s, u"moves/c.jpg"_s).failure, FtpClient::Failure::Refused);

    const QDateTime time(QDate(2010, 6, 7), QTime(8, 9, 10), Qt::UTC);
    QVERIFY(client->setModified(u"moves/into/b.jpg"_s, time));
    QCOMPARE(QFileInfo(home + u"/moves/into/b.jpg"_s).lastModified().toUTC(), time);
    QCOMPARE(client->setModified(u"moves/missing.jpg"_s, time).failure, FtpClient::Failure::Refused);

    QVERIFY(client->removeFile(u"moves/into/b.jpg"_s));
    QVERIFY(!QFileInfo::exists(home + u"/moves/into/b.jpg"_s));
    QCOMPARE(client->removeFile(u"moves/into/b.jpg"_s).failure, FtpClient::Failure::Refused);
    QVERIFY(!client->removeFile(u"moves/into"_s));
    QVERIFY(QFileInfo(home + u"/moves/into"_s).isDir());
    QVERIFY(writeFile(home + u"/moves/left.part"_s, "part"));
    client->tidyRemove(u"moves/left.part"_s);
    QVERIFY(!QFileInfo::exists(home + u"/moves/left.part"_s));

    if (m_protocol.security() != TransferSecurity::Sftp)
        return;
    // As OpenSSH's server does, a plain SFTP rename does not replace a file: the layer above
    // is told so by a refusal with the server's status.
    QVERIFY(writeFile(home + u"/moves/old.jpg"_s, "old"));
    QVERIFY(client->putFile(local, u"moves/new.jpg"_s, {}));
    const TransferOutcome notOver = client->rename(u"moves/new.jpg"_s, u"moves/old.jpg"_s);
    QCOMPARE(notOver.failure, FtpClient::Failure::Refused);
    QCOMPARE(notOver.reply, u"4 Failure"_s);
    QCOMPARE(fileBytes(home + u"/moves/old.jpg"_s), QByteArray("old"));
}

void tst_FtpClient::certificatesAreCheckedBeforeThePassword()
{
    if (m_protocol.security() != TransferSecurity::Ftps)
        QSKIP("certificates are for FTPS");
    using Which = TestCredentials::Certificate;
    TestCredentials &credentials = m_protocol.credentials();
    const auto serverWith = [&](FtpTestServer &server, Which which) {
        server.setOptions(m_protocol.serverOptions(
            {.tlsCertificate = credentials.certificatePath(which), .tlsKey = credentials.keyPath(which)}));
        return server.start({{u"pexa"_s, u"p"_s}});
    };
    const struct
    {
        Which which;
        bool testCa;
        QString reason;
    } untrusted[] = {{Which::Server, false, u"its issuer is not known"_s},
                     {Which::SelfSigned, true, u"it is self-signed"_s},
                     {Which::WrongName, true, u"it is made out to another name than 127.0.0.1"_s},
                     {Which::Expired, true, u"it has expired"_s}};
    for (const auto &test : untrusted) {
        FtpTestServer server;
        QVERIFY2(serverWith(server, test.which), qPrintable(server.errorText()));
        ConnectionOptions options = this->options();
        if (!test.testCa)
            options.certificateAuthorities.clear();
        const auto client = m_protocol.makeClient(options);
        QVERIFY(client->open());
        QVERIFY(!client->connect(u"127.0.0.1"_s, server.port(), u"pexa"_s, u"p"_s));
        const ServerIdentity identity = client->identity();
        QCOMPARE(identity.problem, ServerIdentity::Problem::UntrustedCertificate);
        QCOMPARE(identity.reason, test.reason);
        QCOMPARE(identity.server, u"127.0.0.1:%1"_s.arg(server.port()));
        QCOMPARE(identity.fingerprint, credentials.certificateFingerprint(test.which));
        QCOMPARE(identity.publicKeyPin, credentials.publicKeyPin(test.which));
        QCOMPARE(server.passwordsReceived(), 0);
        // Trusted by the user, the certificate stands for itself.
        QVERIFY(client->trust(identity));
        QVERIFY(client->connect(u"127.0.0.1"_s, server.port(), u"pexa"_s, u"p"_s));
        QCOMPARE(server.logins(), 1);
    }

    // Pinned to one key, the server offers another: refused, whoever signed it.
    FtpTestServer changed;
    QVERIFY2(serverWith(changed, Which::Changed), qPrintable(changed.errorText()));
    const QString pinned = u"127.0.0.1:%1 "_s.arg(changed.port()) + credentials.publicKeyPin(Which::Server);
    ConnectionOptions options = this->options();
    options.tlsPin = pinned;
    const auto client = m_protocol.makeClient(options);
    QVERIFY(client->open());
    QVERIFY(!client->connect(u"127.0.0.1"_s, changed.port(), u"pexa"_s, u"p"_s));
    const ServerIdentity identity = client->identity();
    QCOMPARE(identity.problem, ServerIdentity::Problem::ChangedCertificate);
    QCOMPARE(identity.knownFingerprint, credentials.publicKeyPin(Which::Server));
    QCOMPARE(identity.publicKeyPin, credentials.publicKeyPin(Which::Changed));
    QCOMPARE(identity.fingerprint, credentials.certificateFingerprint(Which::Changed));
    QVERIFY(!client->trust(identity));
    QVERIFY(!client->connect(u"127.0.0.1"_s, changed.port(), u"pexa"_s, u"p"_s));
    QCOMPARE(changed.passwordsReceived(), 0);
    // A pin for another server changes nothing here.
    options.tlsPin = u"127.0.0.1:1 "_s + credentials.publicKeyPin(Which::Server);
    const auto otherPin = m_protocol.makeClient(options);
    QVERIFY(otherPin->open() && otherPin->connect(u"127.0.0.1"_s, changed.port(), u"pexa"_s, u"p"_s));

    // A server without TLS is never sent the password, nor anything after AUTH.
    FtpTestServer plain;
    QVERIFY2(plain.start({{u"pexa"_s, u"p"_s}}), qPrintable(plain.errorText()));
    const auto refused = m_protocol.makeClient(this->options());
    QVERIFY(refused->open());
    QVERIFY(!refused->connect(u"127.0.0.1"_s, plain.port(), u"pexa"_s, u"p"_s));
    QCOMPARE(refused->identity().problem, ServerIdentity::Problem::EncryptionRefused);
    QCOMPARE(plain.passwordsReceived(), 0);
}

void tst_FtpClient::hostKeysAreCheckedBeforeThePassword()
{
    if (m_protocol.security() != TransferSecurity::Sftp)
        QSKIP("host keys are for SFTP");
    TestCredentials &credentials = m_protocol.credentials();
    const QString knownHosts = m_local.filePath(u"ssh/known_hosts"_s);
    QFile::remove(knownHosts);
    ConnectionOptions options = this->options();
    options.knownHostsPath = knownHosts;
    const int passwordsBefore = m_server.passwordsReceived();

    const auto client = m_protocol.makeClient(options);
    QVERIFY(client->open());
    QVERIFY(!connectAs(*client, u"pexa"_s, u"p ä:ss"_s));
    const ServerIdentity unknown = client->identity();
    QCOMPARE(unknown.problem, ServerIdentity::Problem::UnknownHostKey);
    QCOMPARE(unknown.keyType, credentials.hostKeyType(0));
    QCOMPARE(unknown.fingerprint, credentials.hostKeyFingerprint(0));
    QCOMPARE(unknown.knownHostsName, u"[127.0.0.1]:%1"_s.arg(m_server.port()));
    QCOMPARE(m_server.passwordsReceived(), passwordsBefore);
    QVERIFY(client->trust(unknown));
    QVERIFY(connectAs(*client, u"pexa"_s, u"p ä:ss"_s));
    // Known from now on, to a client of its own too.
    const auto later = m_protocol.makeClient(options);
    QVERIFY(connectAs(*later, u"pexa"_s, u"p ä:ss"_s));

    FtpTestServer changed;
    changed.setOptions(m_protocol.serverOptions({.hostKey = credentials.hostKeyPath(1)}));
    QVERIFY2(changed.start({{u"pexa"_s, u"p"_s}}), qPrintable(changed.errorText()));
    const auto refused = m_protocol.makeClient(this->options());
    QVERIFY(refused->open());
    QVERIFY(!refused->connect(u"127.0.0.1"_s, changed.port(), u"pexa"_s, u"p"_s));
    const ServerIdentity identity = refused->identity();
    QCOMPARE(identity.problem, ServerIdentity::Problem::ChangedHostKey);
    QCOMPARE(identity.knownFingerprint, credentials.hostKeyFingerprint(0));
    QCOMPARE(identity.fingerprint, credentials.hostKeyFingerprint(1));
    QVERIFY(!refused->trust(identity));
    QVERIFY(!refused->connect(u"127.0.0.1"_s, changed.port(), u"pexa"_s, u"p"_s));
    QCOMPARE(changed.passwordsReceived(), 0);
}

void tst_FtpClient::hostKeysOfAKnownKindAreAskedForAndRevokedOnesRefused()
{
    if (m_protocol.security() != TransferSecurity::Sftp)
        QSKIP("host keys are for SFTP");
    TestCredentials &credentials = m_protocol.credentials();
    // libssh2 by itself asks first for the ECDSA key, which known_hosts does not know.
    FtpTestServer twoKeys;
    twoKeys.setOptions(m_protocol.serverOptions({.secondHostKey = credentials.hostKeyPath(2)}));
    QVERIFY2(twoKeys.start({{u"pexa"_s, u"p"_s}}), qPrintable(twoKeys.errorText()));
    const auto client = m_protocol.makeClient(options());
    QVERIFY(client->open());
    QVERIFY(client->connect(u"127.0.0.1"_s, twoKeys.port(), u"pexa"_s, u"p"_s));
    QCOMPARE(client->identity().problem, ServerIdentity::Problem::None);

    // Known by its ECDSA key only, the same server shows that one.
    const QString knownHosts = m_local.filePath(u"ecdsa_known_hosts"_s);
    QVERIFY(writeFile(knownHosts, "[127.0.0.1]:* " + credentials.hostKeyType(2).toLatin1() + ' ' +
                                      credentials.hostPublicKeyBase64(2).toLatin1() + '\n'));
    ConnectionOptions ecdsa = options();
    ecdsa.knownHostsPath = knownHosts;
    const auto ecdsaClient = m_protocol.makeClient(ecdsa);
    QVERIFY(ecdsaClient->open());
    QVERIFY(ecdsaClient->connect(u"127.0.0.1"_s, twoKeys.port(), u"pexa"_s, u"p"_s));

    // A revoked key is refused even where another line knows it, before the password.
    const int passwordsBefore = twoKeys.passwordsReceived();
    const QString revokedHosts = m_local.filePath(u"revoked_known_hosts"_s);
    QVERIFY(QFile::copy(m_protocol.knownHostsPath(), revokedHosts));
    QFile revokedFile(revokedHosts);
    QVERIFY(revokedFile.open(QIODevice::Append));
    revokedFile.write("@revoked * " + credentials.hostKeyType(0).toLatin1() + ' ' +
                      credentials.hostPublicKeyBase64(0).toLatin1() + '\n');
    revokedFile.close();
    ConnectionOptions revokedOptions = options();
    revokedOptions.knownHostsPath = revokedHosts;
    const auto revoked = m_protocol.makeClient(revokedOptions);
    QVERIFY(revoked->open());
    QVERIFY(!revoked->connect(u"127.0.0.1"_s, twoKeys.port(), u"pexa"_s, u"p"_s));
    QCOMPARE(revoked->identity().problem, ServerIdentity::Problem::ChangedHostKey);
    QCOMPARE(revoked->identity().reason, u"the key is marked as revoked"_s);
    QCOMPARE(revoked->identity().fingerprint, credentials.hostKeyFingerprint(0));
    QVERIFY(!revoked->trust(revoked->identity()));
    QCOMPARE(twoKeys.passwordsReceived(), passwordsBefore);

    // A key that known_hosts cannot keep is trusted by this client all the same, also when it
    // logs in again after losing the connection.
    ConnectionOptions unwritable = options();
    unwritable.knownHostsPath = m_local.filePath(u"not-a-folder/known_hosts"_s);
    QVERIFY(writeFile(m_local.filePath(u"not-a-folder"_s), "a file"));
    const auto once = m_protocol.makeClient(unwritable);
    QVERIFY(once->open());
    QVERIFY(!once->connect(u"127.0.0.1"_s, m_server.port(), u"pexa"_s, u"p ä:ss"_s));
    QCOMPARE(once->identity().problem, ServerIdentity::Problem::UnknownHostKey);
    QVERIFY(!once->trust(once->identity()));
    QVERIFY(once->connect(u"127.0.0.1"_s, m_server.port(), u"pexa"_s, u"p ä:ss"_s));
    QCOMPARE(once->folderExists(u"drop-here"_s).failure, FtpClient::Failure::ConnectionLost);
    QVERIFY(once->folderExists(QString()));
}

void tst_FtpClient::keyboardInteractiveLogsInWithThePassword()
{
    if (m_protocol.security() != TransferSecurity::Sftp)
        QSKIP("keyboard-interactive is an SSH login");
    FtpTestServer server;
    server.setOptions(m_protocol.serverOptions({.keyboardInteractiveOnly = true}));
    QVERIFY2(server.start({{u"pexa"_s, u"p ä:ss"_s}}), qPrintable(server.errorText()));
    const auto client = m_protocol.makeClient(options());
    QVERIFY(client->open());
    QVERIFY(client->connect(u"127.0.0.1"_s, server.port(), u"pexa"_s, u"p ä:ss"_s));
    QVERIFY(client->folderExists(QString()));
    QCOMPARE(client->connect(u"127.0.0.1"_s, server.port(), u"pexa"_s, u"wrong"_s).failure,
             FtpClient::Failure::Refused);
    QCOMPARE(server.logins(), 1);
    QCOMPARE(server.passwordsReceived(), 2);
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    return ProtocolUnderTest::runEach(
        argc, argv, [](ProtocolUnderTest &protocol) { return std::make_unique<tst_FtpClient>(protocol); });
}
#include "tst_ftpclient.moc"
