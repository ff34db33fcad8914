#include "AtomicPutClient.h"
#include "ClientTestBench.h"
#include "ClientWatch.h"
#include "TestFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace std::chrono_literals;

// What every transfer client does, whatever its protocol: each case runs over plain FTP, FTPS
// and SFTP.
class tst_FtpClient : public QObject
{
    Q_OBJECT

public:
    explicit tst_FtpClient(ProtocolUnderTest &protocol) : m_bench(protocol) {}

private slots:
    void initTestCase();

    void loginIsCheckedAtConnect();
    void foldersAreFoundAndMadeByPath();
    void putsStoreBinaryAndReplace();
    void namesWithBlanksAndNonAsciiLettersArriveByteForByte_data();
    void namesWithBlanksAndNonAsciiLettersArriveByteForByte();
    void refusedOperationsGiveFalse();
    void stalledServerFailsTheOperationInHand();
    void silentServerFailsTheConnect();
    void cancelEndsTheOperationInHand();
    void interruptedPutsLeaveTheOldFileWhole();
    void serversThatWillNotRenameStillGetWholeFiles();
    void oneLoginServesAllAndADroppedConnectionReconnects();
    void renameAndRemoveKeepTheServersReply();
    void failedPutsCostOneAnswerOrOneStall();
    void listingsGiveExactSizesAndTimes();
    void filesAreRenamedRemovedAndTimedByPath();

private:
    bool sftp() const { return m_bench.protocol().security() == TransferSecurity::Sftp; }

    ClientTestBench m_bench;
};

void tst_FtpClient::initTestCase()
{
    QVERIFY2(m_bench.start(), qPrintable(m_bench.errorText()));
}

void tst_FtpClient::loginIsCheckedAtConnect()
{
    const auto client = m_bench.client();
    QVERIFY(m_bench.logIn(*client));
    client->close();

    const auto wrongPassword = m_bench.client();
    QVERIFY(!m_bench.logIn(*wrongPassword, u"pexa"_s, u"wrong"_s));
    const auto unknownUser = m_bench.client();
    QVERIFY(!m_bench.logIn(*unknownUser, u"nobody"_s, u"p ä:ss"_s));

    // A port where nothing listens.
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost));
    const quint16 closedPort = probe.serverPort();
    probe.close();
    const auto closed = m_bench.client();
    QVERIFY(closed->open());
    QVERIFY(!closed->connect(u"127.0.0.1"_s, closedPort, u"pexa"_s, u"p ä:ss"_s));

    // An address that would read as another URL.
    const quint16 port = m_bench.server().port();
    const auto malformed = m_bench.client();
    QVERIFY(malformed->open());
    QVERIFY(!malformed->connect(u"evil@127.0.0.1"_s, port, u"pexa"_s, u"p ä:ss"_s));
    QVERIFY(!malformed->connect(u"127.0.0.1/x"_s, port, u"pexa"_s, u"p ä:ss"_s));
    const auto unresolved = m_bench.client();
    QVERIFY(unresolved->open());
    QVERIFY(!unresolved->connect(u"no-such-host.invalid"_s, port, u"pexa"_s, u"p ä:ss"_s));
}

void tst_FtpClient::foldersAreFoundAndMadeByPath()
{
    const QString home = m_bench.server().home(u"pexa"_s);
    QVERIFY(QDir(home).mkpath(u"www/photos"_s));
    const auto client = m_bench.client();
    QVERIFY(m_bench.logIn(*client));

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
    const QString home = m_bench.server().home(u"pexa"_s);
    QByteArray binary;
    for (int i = 0; i < 300000; ++i)
        binary.append(static_cast<char>((i * 7) % 256));
    binary.append("\r\n\n\r\0end", 8);
    const QString local = m_bench.local(u"binary.jpg"_s);
    QVERIFY(writeFile(local, binary));

    const auto client = m_bench.client();
    QVERIFY(m_bench.logIn(*client));
    QVERIFY(client->makeFolder(u"puts"_s));
    qint64 lastSent = 0;
    qint64 lastTotal = 0;
    QVERIFY(client->putFile(local, u"puts/a.jpg"_s, [&](qint64 sent, qint64 total) {
        lastSent = sent;
        lastTotal = total;
    }));
    QCOMPARE(readFile(home + u"/puts/a.jpg"_s), binary);
    QCOMPARE(lastTotal, binary.size());
    QCOMPARE(lastSent, binary.size());

    // A second put of the same name replaces the remote file, also by a shorter one.
    QVERIFY(writeFile(local, "short"));
    QVERIFY(client->putFile(local, u"puts/a.jpg"_s, {}));
    QCOMPARE(readFile(home + u"/puts/a.jpg"_s), QByteArray("short"));

    QVERIFY(writeFile(local));
    QVERIFY(client->putFile(local, u"puts/empty.jpg"_s, {}));
    QVERIFY(QFileInfo(home + u"/puts/empty.jpg"_s).isFile());
    QCOMPARE(QFileInfo(home + u"/puts/empty.jpg"_s).size(), 0);
}

void tst_FtpClient::namesWithBlanksAndNonAsciiLettersArriveByteForByte_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("accents and quote") << u"Fête d'été 2008"_s;
    QTest::newRow("hash and percent") << u"a #1 %20 100%"_s;
    QTest::newRow("CJK, query and semicolon") << u"東京 ?x;y"_s;
}

void tst_FtpClient::namesWithBlanksAndNonAsciiLettersArriveByteForByte()
{
    QFETCH(QString, name);
    const QString local = m_bench.local(u"x.jpg"_s);
    QVERIFY(writeFile(local, "photo"));
    const auto client = m_bench.client();
    QVERIFY(m_bench.logIn(*client));
    QVERIFY(client->makeFolder(name));
    QVERIFY(client->putFile(local, name + u'/' + name + u".jpg"_s, {}));
    QCOMPARE(readFile(m_bench.server().home(u"pexa"_s) + u'/' + name + u'/' + name + u".jpg"_s),
             QByteArray("photo"));
}

void tst_FtpClient::refusedOperationsGiveFalse()
{
    const QString local = m_bench.local(u"r.jpg"_s);
    QVERIFY(writeFile(local, "r"));
    QVERIFY(QDir(m_bench.server().home(u"reader"_s)).mkpath(u"inside"_s));

    const auto reader = m_bench.client();
    QVERIFY(m_bench.logIn(*reader, u"reader"_s, u"r"_s));
    QVERIFY(!reader->makeFolder(u"new"_s));
    QCOMPARE(reader->putFile(local, u"r.jpg"_s, {}).failure, FtpClient::Failure::Refused);
    QVERIFY(reader->folderExists(u"inside"_s));
    QVERIFY(!QFileInfo::exists(m_bench.server().home(u"reader"_s) + u"/new"_s));

    const auto client = m_bench.client();
    QVERIFY(m_bench.logIn(*client));
    QCOMPARE(client->putFile(m_bench.local(u"absent.jpg"_s), u"absent.jpg"_s, {}).failure,
             FtpClient::Failure::LocalFile);
    QVERIFY(!QFileInfo::exists(m_bench.server().home(u"pexa"_s) + u"/absent.jpg"_s));
    // A line break in a name would smuggle in a command of its own.
    QVERIFY(!client->makeFolder(u"evil\r\nDELE x"_s));
    QVERIFY(!client->folderExists(u"evil\r\nDELE x"_s));
    QVERIFY(!client->putFile(local, u"evil\r\nDELE x"_s, {}));
    // The connection still serves after refusals.
    QVERIFY(client->putFile(local, u"after.jpg"_s, {}));

    const auto unopened = m_bench.client();
    QVERIFY(!unopened->folderExists(u"x"_s));
    QVERIFY(!unopened->putFile(local, u"x.jpg"_s, {}));
}

void tst_FtpClient::stalledServerFailsTheOperationInHand()
{
    const auto client = m_bench.client(30, 2);
    const ClientWatch watch(*client);
    QVERIFY(m_bench.logIn(*client));
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(client->folderExists(u"stall-here"_s).failure, FtpClient::Failure::Stalled);
    QVERIFY2(timer.elapsed() < 10000, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(timer.elapsed() >= 1900);

    const QString local = m_bench.local(u"s.jpg"_s);
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
    QVERIFY2(m_bench.start(held, {.replyDelay = 30}), qPrintable(held.errorText()));
    AtomicPutClient heldClient(m_bench.client(30, 2));
    const ClientWatch heldWatch(heldClient.inner());
    QVERIFY(ClientTestBench::logIn(heldClient.inner(), held));
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
    QCOMPARE(filesBelow(held.home(u"pexa"_s)), QStringList());
}

void tst_FtpClient::silentServerFailsTheConnect()
{
    // Listening but never accepting: the connection is made and no greeting comes.
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    const auto client = m_bench.client(2, 60);
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
    const QString local = m_bench.local(u"c.jpg"_s);
    QVERIFY(writeFile(local, "c"));

    // A login that gets no answer.
    const auto atLogin = m_bench.client();
    ClientWatch atLoginWatch(*atLogin);
    timer.start();
    atLoginWatch.cancelAfter(300ms);
    QVERIFY(!m_bench.logIn(*atLogin, u"stall-here"_s, u"s"_s));
    QVERIFY2(timer.elapsed() < 1300, qPrintable(QString::number(timer.elapsed())));

    // A folder change that gets no answer; after Cancel nothing more goes to the server.
    const auto later = m_bench.client();
    ClientWatch laterWatch(*later);
    timer.start();
    laterWatch.cancelAfter(300ms);
    QVERIFY(m_bench.logIn(*later));
    QCOMPARE(later->folderExists(u"stall-here"_s).failure, FtpClient::Failure::Cancelled);
    QVERIFY2(timer.elapsed() < 1300, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(!later->putFile(local, u"after-cancel.jpg"_s, {}));
    QVERIFY(!QFileInfo::exists(m_bench.server().home(u"pexa"_s) + u"/after-cancel.jpg"_s));
}

// Cancelled or cut off by the server's end, a put leaves the file that was there.
void tst_FtpClient::interruptedPutsLeaveTheOldFileWhole()
{
    FtpTestServer slow;
    QVERIFY2(m_bench.start(slow, {.throttle = 256 * 1024}), qPrintable(slow.errorText()));
    const QString remote = slow.home(u"pexa"_s) + u"/a.jpg"_s;
    QVERIFY(writeFile(remote, "the old photo"));
    const QString local = m_bench.local(u"big.jpg"_s);
    QVERIFY(writeFile(local, QByteArray(2 * 1024 * 1024, 'n')));

    QElapsedTimer sinceCancel;
    AtomicPutClient cancelled(m_bench.client());
    ClientWatch watch(cancelled.inner());
    QVERIFY(ClientTestBench::logIn(cancelled.inner(), slow));
    QVERIFY(!cancelled.putFile(local, u"a.jpg"_s, [&](qint64 sent, qint64) {
        if (sent > 100 * 1024 && !sinceCancel.isValid()) {
            sinceCancel.start();
            watch.cancelAfter(0ms);
        }
    }));
    QVERIFY2(sinceCancel.elapsed() < 1000, qPrintable(QString::number(sinceCancel.elapsed())));
    QCOMPARE(readFile(remote), QByteArray("the old photo"));
    // The server was still there to remove the part sent.
    QCOMPARE(filesBelow(slow.home(u"pexa"_s)), QStringList({u"a.jpg"_s}));

    AtomicPutClient cutOff(m_bench.client());
    QVERIFY(ClientTestBench::logIn(cutOff.inner(), slow));
    QVERIFY(!cutOff.putFile(local, u"a.jpg"_s, [&](qint64 sent, qint64) {
        if (sent > 100 * 1024)
            slow.kill();
    }));
    QCOMPARE(readFile(remote), QByteArray("the old photo"));
}

void tst_FtpClient::serversThatWillNotRenameStillGetWholeFiles()
{
    FtpTestServer server;
    QVERIFY2(m_bench.start(server, {.noRenameOver = true},
                           {{u"pexa"_s, u"p"_s}, {u"norename"_s, u"p"_s, u"elrwd"_s}}),
             qPrintable(server.errorText()));
    const QString local = m_bench.local(u"n.jpg"_s);
    for (const QString &user : {u"pexa"_s, u"norename"_s}) {
        AtomicPutClient client(m_bench.client());
        QVERIFY(ClientTestBench::logIn(client.inner(), server, user));
        for (const QByteArray &content : {QByteArray("first"), QByteArray("second, longer")}) {
            QVERIFY(writeFile(local, content));
            QVERIFY2(client.putFile(local, u"n.jpg"_s, {}), qPrintable(user));
            QCOMPARE(readFile(server.home(user) + u"/n.jpg"_s), content);
        }
        QCOMPARE(filesBelow(server.home(user)), QStringList({u"n.jpg"_s}));
    }
}

void tst_FtpClient::oneLoginServesAllAndADroppedConnectionReconnects()
{
    const QString local = m_bench.local(u"l.jpg"_s);
    QVERIFY(writeFile(local, "l"));
    const int before = m_bench.server().logins();
    const auto client = m_bench.client();
    QVERIFY(m_bench.logIn(*client));
    QVERIFY(!client->folderExists(u"logins"_s));
    QVERIFY(client->makeFolder(u"logins"_s));
    // Refusals keep the connection.
    QVERIFY(!client->makeFolder(u"logins"_s));
    QVERIFY(client->putFile(local, u"logins/1.jpg"_s, {}));
    QVERIFY(client->putFile(local, u"logins/1.jpg"_s, {}));
    QVERIFY(client->putFile(local, u"2.jpg"_s, {}));
    QCOMPARE(m_bench.server().logins() - before, 1);

    // The server hangs up; the next operation logs in again.
    QCOMPARE(client->folderExists(u"logins/drop-here"_s).failure, FtpClient::Failure::ConnectionLost);
    QVERIFY(client->putFile(local, u"logins/3.jpg"_s, {}));
    QCOMPARE(m_bench.server().logins() - before, 2);
    QCOMPARE(readFile(m_bench.server().home(u"pexa"_s) + u"/logins/3.jpg"_s), QByteArray("l"));
}

void tst_FtpClient::renameAndRemoveKeepTheServersReply()
{
    FtpTestServer server;
    QVERIFY2(m_bench.start(server), qPrintable(server.errorText()));
    const QString home = server.home(u"pexa"_s);
    QVERIFY(QDir(home).mkpath(u"sub"_s));
    const QString local = m_bench.local(u"m.jpg"_s);
    QVERIFY(writeFile(local, "moved"));

    const auto client = m_bench.client();
    QVERIFY(ClientTestBench::logIn(*client, server));
    QVERIFY(client->putFile(local, u"x.jpg"_s, {}));
    QVERIFY(client->rename(u"x.jpg"_s, u"sub/Fête d'été.jpg"_s));
    QCOMPARE(readFile(home + u"/sub/Fête d'été.jpg"_s), QByteArray("moved"));
    QVERIFY(client->rename(u"sub/Fête d'été.jpg"_s, u"sub/y.jpg"_s));
    QCOMPARE(filesBelow(home), QStringList({u"sub/y.jpg"_s}));
    QVERIFY(client->removeFile(u"sub/y.jpg"_s));
    QCOMPARE(filesBelow(home), QStringList());

    for (const auto &refused : std::initializer_list<std::function<TransferOutcome()>>{
             [&] { return client->removeFile(u"sub/y.jpg"_s); },
             [&] { return client->rename(u"gone.jpg"_s, u"sub/z.jpg"_s); }}) {
        const TransferOutcome outcome = refused();
        QCOMPARE(outcome.failure, FtpClient::Failure::Refused);
        // An SFTP server answers with a status, not a line.
        if (!sftp())
            QVERIFY2(outcome.reply.startsWith(u"550 "_s), qPrintable(outcome.reply));
    }
}

// A put the server refused outright left nothing to remove; one that went silent before the
// file was open (an FTP data connection, an SFTP open) fails after one stall, and nothing waits
// for it a second time.
void tst_FtpClient::failedPutsCostOneAnswerOrOneStall()
{
    const QRegularExpression store(sftp() ? u"^open "_s : u"^STOR "_s);
    const QRegularExpression remove(sftp() ? u"^remove "_s : u"^DELE "_s);
    const QString local = m_bench.local(u"f.jpg"_s);
    QVERIFY(writeFile(local, "f"));

    FtpTestServer refusing;
    QVERIFY2(m_bench.start(refusing, {.refusedPrefix = u".pexa-"_s, .logCommands = true}),
             qPrintable(refusing.errorText()));
    AtomicPutClient refused(m_bench.client());
    QVERIFY(ClientTestBench::logIn(refused.inner(), refusing));
    const TransferOutcome refusal = refused.putFile(local, u"f.jpg"_s, {});
    QCOMPARE(refusal.failure, FtpClient::Failure::Refused);
    if (!sftp())
        QCOMPARE(refusal.reply, u"550 Refused."_s);
    QVERIFY(refused.inner().folderExists(QString()));
    QStringList sent = ClientTestBench::verbsAndArguments(refusing.commands());
    QCOMPARE(sent.filter(store).size(), 1);
    QCOMPARE(sent.filter(remove), QStringList());

    FtpTestServer silent;
    QVERIFY2(m_bench.start(silent, sftp()
                                       ? FtpTestServer::Options{.stallName = u".part"_s, .logCommands = true}
                                       : FtpTestServer::Options{.logCommands = true, .silentData = true}),
             qPrintable(silent.errorText()));
    AtomicPutClient stalled(m_bench.client(30, 2));
    const ClientWatch watch(stalled.inner());
    QVERIFY(ClientTestBench::logIn(stalled.inner(), silent));
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(stalled.putFile(local, u"f.jpg"_s, {}).failure, FtpClient::Failure::Stalled);
    QVERIFY2(timer.elapsed() >= 1900 && timer.elapsed() < 3900, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(stalled.inner().folderExists(QString()));
    QVERIFY2(timer.elapsed() < 3900, qPrintable(QString::number(timer.elapsed())));
    sent = ClientTestBench::verbsAndArguments(silent.commands());
    QCOMPARE(sent.filter(store).size(), 1);
    QCOMPARE(sent.filter(remove), QStringList());
}

void tst_FtpClient::listingsGiveExactSizesAndTimes()
{
    const QString folder = m_bench.server().home(u"pexa"_s) + u"/listed"_s;
    QVERIFY(QDir(folder).mkpath(u"sub"_s));
    // Older than six months, where a long listing shows only the year; and odd seconds.
    const QDateTime old(QDate(2009, 3, 4), QTime(5, 6, 7), Qt::UTC);
    const QDateTime recent = QDateTime::currentDateTimeUtc().addSecs(-3599);
    QVERIFY(writeFile(folder + u"/old photo.jpg"_s, QByteArray(123457, 'x'), old));
    QVERIFY(writeFile(folder + u"/recent.jpg"_s, "x", recent));
    QVERIFY(writeFile(folder + u"/empty.png"_s, {}, old));

    const auto client = m_bench.client();
    QVERIFY(m_bench.logIn(*client));
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
    const QString home = m_bench.server().home(u"pexa"_s);
    QVERIFY(QDir(home).mkpath(u"moves/into"_s));
    const QString local = m_bench.local(u"m.jpg"_s);
    QVERIFY(writeFile(local, "moved"));
    const auto client = m_bench.client();
    QVERIFY(m_bench.logIn(*client));

    QVERIFY(client->putFile(local, u"moves/a.jpg"_s, {}));
    QVERIFY(client->rename(u"moves/a.jpg"_s, u"moves/into/b.jpg"_s));
    QCOMPARE(readFile(home + u"/moves/into/b.jpg"_s), QByteArray("moved"));
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
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    return ProtocolUnderTest::runEach(
        argc, argv, [](ProtocolUnderTest &protocol) { return std::make_unique<tst_FtpClient>(protocol); });
}
#include "tst_ftpclient.moc"
