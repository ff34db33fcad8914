#include "AtomicPutClient.h"
#include "ClientTestBench.h"
#include "ClientWatch.h"
#include "TestFiles.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace std::chrono_literals;

// What only the SFTP client has: host keys, keyboard-interactive logins, and the put in one go,
// whose closing, time and rename follow the last write without waiting for their answers.
class tst_SftpClient : public QObject
{
    Q_OBJECT

public:
    explicit tst_SftpClient(ProtocolUnderTest &protocol) : m_bench(protocol) {}

private slots:
    void initTestCase();

    void aRenameDoesNotReplaceAFile();
    void aWriteRefusedIsNeverFollowedByTheRename();
    void aRenameRefusedOntoAFileStillReplacesItWithItsTime();
    void aFileWhoseClosingFailedDoesNotStayUnderTheName();
    void theEndOfAPutIsOneWait();
    void aCancelWhileTheEndOfAPutIsAwaitedLeavesAWholeFile();
    void hostKeysAreCheckedBeforeThePassword();
    void hostKeysOfAKnownKindAreAskedForAndRevokedOnesRefused();
    void keyboardInteractiveLogsInWithThePassword();

private:
    const QDateTime m_july{QDate(2008, 7, 1), QTime(12, 0, 5), Qt::UTC};
    ClientTestBench m_bench;
};

void tst_SftpClient::initTestCase()
{
    QVERIFY2(m_bench.start(), qPrintable(m_bench.errorText()));
}

// As OpenSSH's server does, a plain SFTP rename does not replace a file: the layer above is
// told so by a refusal with the server's status.
void tst_SftpClient::aRenameDoesNotReplaceAFile()
{
    const QString home = m_bench.server().home(u"pexa"_s);
    const QString local = m_bench.local(u"m.jpg"_s);
    QVERIFY(writeFile(local, "moved"));
    QVERIFY(writeFile(home + u"/moves/old.jpg"_s, "old"));
    const auto client = m_bench.client();
    QVERIFY(m_bench.logIn(*client));
    QVERIFY(client->putFile(local, u"moves/new.jpg"_s, {}));
    const TransferOutcome notOver = client->rename(u"moves/new.jpg"_s, u"moves/old.jpg"_s);
    QCOMPARE(notOver.failure, FtpClient::Failure::Refused);
    QCOMPARE(notOver.reply, u"4 Failure"_s);
    QCOMPARE(readFile(home + u"/moves/old.jpg"_s), QByteArray("old"));
}

// Never after a write the server refused: the old file stays whole, and the part goes.
void tst_SftpClient::aWriteRefusedIsNeverFollowedByTheRename()
{
    FtpTestServer server;
    QVERIFY2(m_bench.start(server, {.refusedWritesPrefix = u".pexa-"_s, .logCommands = true}),
             qPrintable(server.errorText()));
    const QString remote = server.home(u"pexa"_s) + u"/a.jpg"_s;
    QVERIFY(writeFile(remote, "the old photo"));
    const QString local = m_bench.local(u"half.jpg"_s);
    QVERIFY(writeFile(local, QByteArray(200 * 1024, 'h')));
    AtomicPutClient client(m_bench.client());
    QVERIFY(ClientTestBench::logIn(client.inner(), server));
    QCOMPARE(client.putFileWithTime(local, u"a.jpg"_s, m_july, {}).put.failure, FtpClient::Failure::Refused);
    QCOMPARE(readFile(remote), QByteArray("the old photo"));
    QCOMPARE(filesBelow(server.home(u"pexa"_s)), QStringList({u"a.jpg"_s}));
    QCOMPARE(ClientTestBench::verbsAndArguments(server.commands())
                 .filter(QRegularExpression(u"^(rename|setstat) "_s)),
             QStringList());
}

// As OpenSSH's server, the test server will not rename onto a file: the old one is removed and
// the rename sent again. The time, set before the first rename, stays with the file.
void tst_SftpClient::aRenameRefusedOntoAFileStillReplacesItWithItsTime()
{
    FtpTestServer server;
    QVERIFY2(m_bench.start(server, {.logCommands = true}), qPrintable(server.errorText()));
    const QString remote = server.home(u"pexa"_s) + u"/b.jpg"_s;
    QVERIFY(writeFile(remote, "the old photo"));
    const QString local = m_bench.local(u"b.jpg"_s);
    QVERIFY(writeFile(local, "the new photo"));
    AtomicPutClient client(m_bench.client());
    QVERIFY(ClientTestBench::logIn(client.inner(), server));
    const AtomicPutClient::TimedPut timed = client.putFileWithTime(local, u"b.jpg"_s, m_july, {});
    QVERIFY(timed.put);
    QCOMPARE(timed.time, FtpClient::Failure::None);
    QCOMPARE(readFile(remote), QByteArray("the new photo"));
    QCOMPARE(QFileInfo(remote).lastModified().toUTC(), m_july);
    QCOMPARE(filesBelow(server.home(u"pexa"_s)), QStringList({u"b.jpg"_s}));
    QCOMPARE(ClientTestBench::withPart(server.commands()),
             QStringList({u"open PART"_s, u"write"_s, u"close"_s, u"setstat PART"_s, u"rename PART b.jpg"_s,
                          u"remove b.jpg"_s, u"rename PART b.jpg"_s}));
}

// The rename goes out before the server has answered the closing: when that answer is a failure,
// the file the rename put under the name is in doubt, and does not stay there.
void tst_SftpClient::aFileWhoseClosingFailedDoesNotStayUnderTheName()
{
    FtpTestServer server;
    // Held answers, so that the closing's cannot come before the rename has gone.
    QVERIFY2(
        m_bench.start(server, {.refusedClosePrefix = u".pexa-"_s, .latencyMs = 100, .logCommands = true}),
        qPrintable(server.errorText()));
    const QString local = m_bench.local(u"c.jpg"_s);
    QVERIFY(writeFile(local, "in doubt"));
    AtomicPutClient client(m_bench.client());
    QVERIFY(ClientTestBench::logIn(client.inner(), server));
    const TransferOutcome inDoubt = client.putFile(local, u"c.jpg"_s, {});
    QCOMPARE(inDoubt.failure, FtpClient::Failure::Refused);
    QCOMPARE(inDoubt.reply, u"4 Failure"_s);
    QCOMPARE(filesBelow(server.home(u"pexa"_s)), QStringList());
    QCOMPARE(
        ClientTestBench::withPart(server.commands()),
        QStringList({u"open PART"_s, u"write"_s, u"close"_s, u"rename PART c.jpg"_s, u"remove c.jpg"_s}));
}

// A put with its time waits for the open, for the writes, and once for the closing, the time and
// the rename together: three round trips where one request after another takes five.
void tst_SftpClient::theEndOfAPutIsOneWait()
{
    constexpr int latencyMs = 500;
    FtpTestServer server;
    QVERIFY2(m_bench.start(server, {.latencyMs = latencyMs}), qPrintable(server.errorText()));
    const QString local = m_bench.local(u"d.jpg"_s);
    QVERIFY(writeFile(local, "timed"));
    AtomicPutClient client(m_bench.client());
    QVERIFY(ClientTestBench::logIn(client.inner(), server));
    QElapsedTimer timer;
    timer.start();
    const AtomicPutClient::TimedPut timed = client.putFileWithTime(local, u"d.jpg"_s, m_july, {});
    QVERIFY(timed.put);
    QVERIFY2(timer.elapsed() >= 3 * latencyMs && timer.elapsed() < 4 * latencyMs,
             qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(timed.time, FtpClient::Failure::None);
    QCOMPARE(QFileInfo(server.home(u"pexa"_s) + u"/d.jpg"_s).lastModified().toUTC(), m_july);
}

// Cancel after the last write, while the closing and the rename wait for their answers: the put
// fails as cancelled, and the name holds a whole file, the old or the new.
void tst_SftpClient::aCancelWhileTheEndOfAPutIsAwaitedLeavesAWholeFile()
{
    FtpTestServer server;
    QVERIFY2(m_bench.start(server, {.latencyMs = 100}), qPrintable(server.errorText()));
    const QString remote = server.home(u"pexa"_s) + u"/e.jpg"_s;
    QVERIFY(writeFile(remote, "the old photo"));
    const QString local = m_bench.local(u"e.jpg"_s);
    QVERIFY(writeFile(local, "the new photo"));
    AtomicPutClient client(m_bench.client());
    ClientWatch watch(client.inner());
    QVERIFY(ClientTestBench::logIn(client.inner(), server));
    const TransferOutcome cancelled = client.putFile(local, u"e.jpg"_s, [&](qint64 sent, qint64 total) {
        if (sent == total)
            watch.cancelAfter(0ms);
    });
    QCOMPARE(cancelled.failure, FtpClient::Failure::Cancelled);
    const QByteArray held = readFile(remote);
    QVERIFY2(held == "the old photo" || held == "the new photo", held.constData());
}

void tst_SftpClient::hostKeysAreCheckedBeforeThePassword()
{
    ProtocolUnderTest &protocol = m_bench.protocol();
    TestCredentials &credentials = protocol.credentials();
    FtpTestServer &server = m_bench.server();
    const QString knownHosts = m_bench.local(u"ssh/known_hosts"_s);
    QFile::remove(knownHosts);
    ConnectionOptions options = m_bench.options();
    options.knownHostsPath = knownHosts;
    const int passwordsBefore = server.passwordsReceived();

    const auto client = protocol.makeClient(options);
    QVERIFY(client->open());
    QVERIFY(!m_bench.logIn(*client));
    const ServerIdentity unknown = client->identity();
    QCOMPARE(unknown.problem, ServerIdentity::Problem::UnknownHostKey);
    QCOMPARE(unknown.keyType, credentials.hostKeyType(0));
    QCOMPARE(unknown.fingerprint, credentials.hostKeyFingerprint(0));
    QCOMPARE(unknown.knownHostsName, u"[127.0.0.1]:%1"_s.arg(server.port()));
    QCOMPARE(server.passwordsReceived(), passwordsBefore);
    QVERIFY(client->trust(unknown));
    QVERIFY(m_bench.logIn(*client));
    // Known from now on, to a client of its own too.
    const auto later = protocol.makeClient(options);
    QVERIFY(m_bench.logIn(*later));

    FtpTestServer changed;
    QVERIFY2(m_bench.start(changed, {.hostKey = credentials.hostKeyPath(1)}),
             qPrintable(changed.errorText()));
    const auto refused = m_bench.client();
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

void tst_SftpClient::hostKeysOfAKnownKindAreAskedForAndRevokedOnesRefused()
{
    ProtocolUnderTest &protocol = m_bench.protocol();
    TestCredentials &credentials = protocol.credentials();
    // libssh2 by itself asks first for the ECDSA key, which known_hosts does not know.
    FtpTestServer twoKeys;
    QVERIFY2(m_bench.start(twoKeys, {.secondHostKey = credentials.hostKeyPath(2)}),
             qPrintable(twoKeys.errorText()));
    const auto client = m_bench.client();
    QVERIFY(ClientTestBench::logIn(*client, twoKeys));
    QCOMPARE(client->identity().problem, ServerIdentity::Problem::None);

    // Known by its ECDSA key only, the same server shows that one.
    const QString knownHosts = m_bench.local(u"ecdsa_known_hosts"_s);
    QVERIFY(writeFile(knownHosts, "[127.0.0.1]:* " + credentials.hostKeyType(2).toLatin1() + ' ' +
                                      credentials.hostPublicKeyBase64(2).toLatin1() + '\n'));
    ConnectionOptions ecdsa = m_bench.options();
    ecdsa.knownHostsPath = knownHosts;
    const auto ecdsaClient = protocol.makeClient(ecdsa);
    QVERIFY(ClientTestBench::logIn(*ecdsaClient, twoKeys));

    // A revoked key is refused even where another line knows it, before the password.
    const int passwordsBefore = twoKeys.passwordsReceived();
    const QString revokedHosts = m_bench.local(u"revoked_known_hosts"_s);
    QVERIFY(QFile::copy(protocol.knownHostsPath(), revokedHosts));
    QFile revokedFile(revokedHosts);
    QVERIFY(revokedFile.open(QIODevice::Append));
    revokedFile.write("@revoked * " + credentials.hostKeyType(0).toLatin1() + ' ' +
                      credentials.hostPublicKeyBase64(0).toLatin1() + '\n');
    revokedFile.close();
    ConnectionOptions revokedOptions = m_bench.options();
    revokedOptions.knownHostsPath = revokedHosts;
    const auto revoked = protocol.makeClient(revokedOptions);
    QVERIFY(revoked->open());
    QVERIFY(!revoked->connect(u"127.0.0.1"_s, twoKeys.port(), u"pexa"_s, u"p"_s));
    QCOMPARE(revoked->identity().problem, ServerIdentity::Problem::ChangedHostKey);
    QCOMPARE(revoked->identity().reason, u"the key is marked as revoked"_s);
    QCOMPARE(revoked->identity().fingerprint, credentials.hostKeyFingerprint(0));
    QVERIFY(!revoked->trust(revoked->identity()));
    QCOMPARE(twoKeys.passwordsReceived(), passwordsBefore);

    // A key that known_hosts cannot keep is trusted by this client all the same, also when it
    // logs in again after losing the connection.
    ConnectionOptions unwritable = m_bench.options();
    unwritable.knownHostsPath = m_bench.local(u"not-a-folder/known_hosts"_s);
    QVERIFY(writeFile(m_bench.local(u"not-a-folder"_s), "a file"));
    const auto once = protocol.makeClient(unwritable);
    QVERIFY(!m_bench.logIn(*once));
    QCOMPARE(once->identity().problem, ServerIdentity::Problem::UnknownHostKey);
    QVERIFY(!once->trust(once->identity()));
    QVERIFY(once->connect(u"127.0.0.1"_s, m_bench.server().port(), u"pexa"_s, u"p ä:ss"_s));
    QCOMPARE(once->folderExists(u"drop-here"_s).failure, FtpClient::Failure::ConnectionLost);
    QVERIFY(once->folderExists(QString()));
}

void tst_SftpClient::keyboardInteractiveLogsInWithThePassword()
{
    FtpTestServer server;
    QVERIFY2(m_bench.start(server, {.keyboardInteractiveOnly = true}, {{u"pexa"_s, u"p ä:ss"_s}}),
             qPrintable(server.errorText()));
    const auto client = m_bench.client();
    QVERIFY(ClientTestBench::logIn(*client, server, u"pexa"_s, u"p ä:ss"_s));
    QVERIFY(client->folderExists(QString()));
    QCOMPARE(client->connect(u"127.0.0.1"_s, server.port(), u"pexa"_s, u"wrong"_s).failure,
             FtpClient::Failure::Refused);
    QCOMPARE(server.logins(), 1);
    QCOMPARE(server.passwordsReceived(), 2);
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    return ProtocolUnderTest::runFor({TransferSecurity::Sftp}, argc, argv, [](ProtocolUnderTest &protocol) {
        return std::make_unique<tst_SftpClient>(protocol);
    });
}
#include "tst_sftpclient.moc"
