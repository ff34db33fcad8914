#include "DaemonFtpsServer.h"
#include "FtpTestServer.h"
#include "TestCredentials.h"
#include "TestFiles.h"
#include "VsftpdServer.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTest>

#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int NoReplyMs = 1000;

// A raw FTP control connection: what a client sends and what comes back, reply by reply.
class FtpControl
{
public:
    bool open(quint16 port)
    {
        m_socket.connectToHost(QHostAddress::LocalHost, port);
        return m_socket.waitForConnected(5000) && reply().startsWith("220");
    }
    // All lines of the next reply; "" when none came in time or the connection closed.
    QByteArray reply(int timeoutMs = 15000)
    {
        static const QRegularExpression last(u"^\\d{3} "_s);
        QByteArray lines;
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < timeoutMs) {
            if (!m_socket.canReadLine() &&
                !m_socket.waitForReadyRead(static_cast<int>(timeoutMs - timer.elapsed())))
                break;
            while (m_socket.canReadLine()) {
                const QByteArray line = m_socket.readLine();
                lines += line;
                if (last.match(QString::fromUtf8(line)).hasMatch())
                    return lines.trimmed();
            }
        }
        return {};
    }
    void send(const QByteArray &command)
    {
        m_socket.write(command + "\r\n");
        m_socket.flush();
    }
    QByteArray command(const QByteArray &command, int timeoutMs = 15000)
    {
        send(command);
        return reply(timeoutMs);
    }
    bool login(const QByteArray &user, const QByteArray &password)
    {
        return command("USER " + user).startsWith("331") && command("PASS " + password).startsWith("230");
    }
    // The port of a passive data connection; 0 when EPSV failed.
    quint16 passivePort()
    {
        const QByteArray answer = command("EPSV");
        const qsizetype at = answer.indexOf("(|||");
        return answer.startsWith("229") && at >= 0 ? answer.mid(at + 4).split('|').value(0).toUShort() : 0;
    }
    bool closed()
    {
        return m_socket.state() == QAbstractSocket::UnconnectedState || m_socket.waitForDisconnected(2000);
    }

private:
    QTcpSocket m_socket;
};

struct Step
{
    QString text;
    int ms = 0;
};

// Runs tests/scripts/probe_client.py; a line per step it took, its time apart.
QList<Step> probe(const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(u"/usr/bin/python3"_s,
                  QStringList{QStringLiteral(PEXA_TEST_SCRIPTS_DIR "/probe_client.py")} + arguments);
    if (!process.waitForFinished(60000))
        return {};
    QList<Step> steps;
    static const QRegularExpression timed(u"^(.*) (\\d+)ms$"_s);
    for (const QString &line :
         QString::fromUtf8(process.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch match = timed.match(line);
        steps.append(match.hasMatch() ? Step{match.captured(1), match.captured(2).toInt()} : Step{line});
    }
    return steps;
}

QStringList textsOf(const QList<Step> &steps)
{
    QStringList texts;
    for (const Step &step : steps)
        texts.append(step.text);
    return texts;
}

qint64 mtimeOf(const FtpTestServer &server, const QString &name)
{
    return QFileInfo(server.home(u"u"_s) + u'/' + name).lastModified().toSecsSinceEpoch();
}

// Whether the user "u" (password "p") logs in: "ftp" over a socket of the test's own, "ftps" and
// "sftp" through probe_client.py.
bool logsIn(const FtpTestServer &server, const QString &protocol)
{
    if (protocol != u"ftp"_s)
        return textsOf(probe({protocol, QString::number(server.port()), u"u"_s, u"p"_s})) ==
               QStringList{u"login ok"_s};
    FtpControl control;
    return control.open(server.port()) && control.login("u", "p");
}

} // namespace

// Each option of the FTP and SFTP test servers and the FTPS and FTP daemons, seen from a client:
// FTP through a socket of the test's own, SFTP and FTPS through probe_client.py.
class tst_TestServers : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void ftpRepliesAreHeldOnTheirOwnConnection();
    void ftpCommandsAreLoggedAsTheyArrive();
    void ftpWithoutMlsdStillSizesAndDates();
    void ftpBareListingGivesNamesOnly();
    void ftpMfmtSetsTheModificationTime();
    void ftpLoginsBeyondTheLimitAreRefused_data();
    void ftpLoginsBeyondTheLimitAreRefused();
    void ftpSilentDataConnectionLeavesTheControlConnectionAnswering();
    void ftpDataConnectionClosedUnusedIsAnswered();

    void sftpResponsesAreHeldFromTheirOwnRequest();
    void sftpRequestsAreLoggedAsTheyArrive();
    void sftpBareListingHasNoSizesOrTimes();
    void sftpSetstatSetsTheModificationTime();
    void sftpLoginsBeyondTheLimitAreRefused_data();
    void sftpLoginsBeyondTheLimitAreRefused();
    void sftpSilentOpenIsNeverAnswered();

    void serverRestartedAfterKillTakesItsPortAgain_data();
    void serverRestartedAfterKillTakesItsPortAgain();

    void daemonRequiresTlsAndResumedDataSessions();
    void vsftpdGivesAndSetsTimesInItsLocalTime();

private:
    // A server with these options and the user "u" (password "p"), with a file "f.jpg" of 1000
    // bytes in its home.
    bool start(FtpTestServer &server, FtpTestServer::Options options);
    QStringList sftp(const FtpTestServer &server, const QStringList &steps, QList<Step> *timed = nullptr);

    TestCredentials m_credentials;
};

void tst_TestServers::initTestCase()
{
    QVERIFY2(m_credentials.create(), qPrintable(m_credentials.errorText()));
}

bool tst_TestServers::start(FtpTestServer &server, FtpTestServer::Options options)
{
    if (options.protocol == FtpTestServer::Protocol::Sftp)
        options.hostKey = m_credentials.hostKeyPath(0);
    if (options.protocol == FtpTestServer::Protocol::Ftps) {
        options.tlsCertificate = m_credentials.certificatePath(TestCredentials::Certificate::Server);
        options.tlsKey = m_credentials.keyPath(TestCredentials::Certificate::Server);
    }
    server.setOptions(options);
    if (!server.start({{u"u"_s, u"p"_s}})) {
        qWarning("%s", qPrintable(server.errorText()));
        return false;
    }
    return writeFile(server.home(u"u"_s) + u"/f.jpg"_s, QByteArray(1000, 'f'));
}

QStringList tst_TestServers::sftp(const FtpTestServer &server, const QStringList &steps, QList<Step> *timed)
{
    const QList<Step> taken =
        probe(QStringList{u"sftp"_s, QString::number(server.port()), u"u"_s, u"p"_s} + steps);
    if (timed)
        *timed = taken;
    return textsOf(taken);
}

void tst_TestServers::ftpRepliesAreHeldOnTheirOwnConnection()
{
    constexpr int latency = 400;
    FtpTestServer server;
    QVERIFY(start(server, {.latencyMs = latency}));
    FtpControl first, second;
    QVERIFY(first.open(server.port()) && second.open(server.port()));
    QElapsedTimer timer;
    timer.start();
    first.send("NOOP");
    second.send("NOOP");
    QVERIFY(first.reply().startsWith("200"));
    QVERIFY(second.reply().startsWith("200"));
    // Held on each connection at once, not one after the other.
    QCOMPARE_GE(timer.elapsed(), latency);
    QCOMPARE_LT(timer.elapsed(), 2 * latency);
}

void tst_TestServers::ftpCommandsAreLoggedAsTheyArrive()
{
    FtpTestServer server;
    QVERIFY(start(server, {.logCommands = true}));
    FtpControl first, second;
    QVERIFY(first.open(server.port()) && second.open(server.port()));
    QVERIFY(first.login("u", "p"));
    QVERIFY(first.command("MKD new folder").startsWith("257"));
    QVERIFY(second.command("NOOP").startsWith("200"));
    QVERIFY(first.command("BOGUS x").startsWith("500"));
    QCOMPARE(server.commands(), QStringList({u"1 USER u"_s, u"1 PASS ****"_s, u"1 MKD new folder"_s,
                                             u"2 NOOP"_s, u"1 BOGUS x"_s}));
}

void tst_TestServers::ftpWithoutMlsdStillSizesAndDates()
{
    FtpTestServer server;
    QVERIFY(start(server, {.noMlsd = true}));
    FtpControl control;
    QVERIFY(control.open(server.port()) && control.login("u", "p"));
    QVERIFY(!control.command("FEAT").contains("MLST"));
    QVERIFY(control.command("MLSD").startsWith("500"));
    QVERIFY(control.command("MLST f.jpg").startsWith("500"));
    QVERIFY(control.command("TYPE I").startsWith("200"));
    QCOMPARE(control.command("SIZE f.jpg"), "213 1000");
    QVERIFY(control.command("MDTM f.jpg").startsWith("213 20"));
}

void tst_TestServers::ftpBareListingGivesNamesOnly()
{
    FtpTestServer server;
    QVERIFY(start(server, {.bareListing = true}));
    FtpControl control;
    QVERIFY(control.open(server.port()) && control.login("u", "p"));
    const quint16 port = control.passivePort();
    QVERIFY(port != 0);
    QTcpSocket data;
    data.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(data.waitForConnected(5000));
    const QByteArray opened = control.command("MLSD");
    // 125 when the server took the data connection before the command came, 150 after.
    QVERIFY2(opened.startsWith("150") || opened.startsWith("125"), opened.constData());
    QVERIFY(control.reply().startsWith("226"));
    while (data.state() == QAbstractSocket::ConnectedState && data.waitForReadyRead(2000)) {
    }
    QCOMPARE(data.readAll(), "type=file; f.jpg\r\n");
    QVERIFY(control.command("TYPE I").startsWith("200"));
    QVERIFY(control.command("SIZE f.jpg").startsWith("500"));
    QVERIFY(control.command("MDTM f.jpg").startsWith("500"));
}

void tst_TestServers::ftpMfmtSetsTheModificationTime()
{
    FtpTestServer server;
    QVERIFY(start(server, {}));
    FtpControl control;
    QVERIFY(control.open(server.port()) && control.login("u", "p"));
    QCOMPARE(control.command("MFMT 20200102030405 f.jpg"), "213 Modify=20200102030405; /f.jpg.");
    QCOMPARE(QFileInfo(server.home(u"u"_s) + u"/f.jpg"_s).lastModified().toUTC(),
             QDateTime(QDate(2020, 1, 2), QTime(3, 4, 5), Qt::UTC));
}

void tst_TestServers::ftpLoginsBeyondTheLimitAreRefused_data()
{
    QTest::addColumn<QString>("refusal");
    // What the refused client is told; "" for nothing.
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("closes");
    QTest::newRow("421") << u"421"_s << QByteArray("421") << true;
    QTest::newRow("530") << u"530"_s << QByteArray("530") << false;
    QTest::newRow("close") << u"close"_s << QByteArray() << true;
}

void tst_TestServers::ftpLoginsBeyondTheLimitAreRefused()
{
    QFETCH(QString, refusal);
    QFETCH(QByteArray, reply);
    QFETCH(bool, closes);
    FtpTestServer server;
    QVERIFY(start(server, {.maxLogins = 1, .refuseLoginWith = refusal}));
    FtpControl first, second, third;
    QVERIFY(first.open(server.port()) && first.login("u", "p"));
    QVERIFY(second.open(server.port()));
    QVERIFY(second.command("USER u").startsWith("331"));
    QCOMPARE(second.command("PASS p").left(3), reply);
    QCOMPARE(second.closed(), closes);
    if (!closes)
        QVERIFY(second.command("PWD").startsWith("530"));
    // The place comes free when the first session ends.
    QVERIFY(first.command("QUIT").startsWith("221"));
    QVERIFY(first.closed());
    QVERIFY(third.open(server.port()) && third.login("u", "p"));
}

void tst_TestServers::ftpSilentDataConnectionLeavesTheControlConnectionAnswering()
{
    FtpTestServer server;
    QVERIFY(start(server, {.silentData = true}));
    FtpControl control;
    QVERIFY(control.open(server.port()) && control.login("u", "p"));
    QVERIFY(control.command("TYPE I").startsWith("200"));
    const quint16 port = control.passivePort();
    QVERIFY(port != 0);
    QTcpSocket data;
    data.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(data.waitForConnected(5000));
    QVERIFY(control.command("STOR s.jpg").startsWith("150"));
    data.write(QByteArray(1000, 's'));
    QVERIFY(data.waitForBytesWritten(5000));
    data.close();
    QCOMPARE(control.reply(NoReplyMs), QByteArray());
    QVERIFY(control.command("NOOP").startsWith("200"));
}

void tst_TestServers::ftpDataConnectionClosedUnusedIsAnswered()
{
    FtpTestServer server;
    QVERIFY(start(server, {.refusedPrefix = u"no-"_s, .answerClosedData = true}));
    FtpControl control;
    QVERIFY(control.open(server.port()) && control.login("u", "p"));
    const quint16 port = control.passivePort();
    QVERIFY(port != 0);
    QTcpSocket data;
    data.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(data.waitForConnected(5000));
    QVERIFY(control.command("STOR no-s.jpg").startsWith("550"));
    QCOMPARE(control.reply(NoReplyMs), QByteArray());
    data.close();
    QVERIFY(control.reply().startsWith("426"));
    QVERIFY(control.command("NOOP").startsWith("200"));
}

void tst_TestServers::sftpResponsesAreHeldFromTheirOwnRequest()
{
    constexpr int latency = 300;
    FtpTestServer server;
    QVERIFY(start(server, {.protocol = FtpTestServer::Protocol::Sftp, .latencyMs = latency}));
    QList<Step> steps;
    QCOMPARE(sftp(server, {u"stat"_s, u"/f.jpg"_s, u"write"_s, u"/w.jpg"_s, u"8"_s}, &steps),
             QStringList({u"login ok"_s, u"stat size=1000 mtime=%1"_s.arg(mtimeOf(server, u"f.jpg"_s)),
                          u"write ok"_s}));
    QCOMPARE_GE(steps[1].ms, latency);
    // The open and the close wait their turn; the eight writes in flight between them are held
    // together, where one after another they would take eight times as long.
    QCOMPARE_GE(steps[2].ms, 2 * latency);
    QCOMPARE_LT(steps[2].ms, 4 * latency);
}

void tst_TestServers::sftpRequestsAreLoggedAsTheyArrive()
{
    FtpTestServer server;
    QVERIFY(start(server, {.protocol = FtpTestServer::Protocol::Sftp, .logCommands = true}));
    QCOMPARE(sftp(server, {u"write"_s, u"/c.jpg"_s, u"2"_s, u"utime"_s, u"/c.jpg"_s, u"1500000000"_s}),
             QStringList({u"login ok"_s, u"write ok"_s, u"utime ok"_s}));
    QCOMPARE(sftp(server, {u"list"_s, u"/"_s}),
             QStringList({u"login ok"_s, u"list c.jpg size=65536 mtime=1500000000"_s,
                          u"list f.jpg size=1000 mtime=%1"_s.arg(mtimeOf(server, u"f.jpg"_s))}));
    QCOMPARE(server.commands(),
             QStringList({u"1 open /c.jpg"_s, u"1 write"_s, u"1 write"_s, u"1 close"_s, u"1 setstat /c.jpg"_s,
                          u"2 opendir /"_s, u"2 readdir /"_s, u"2 readdir /"_s, u"2 close"_s}));
}

void tst_TestServers::sftpBareListingHasNoSizesOrTimes()
{
    FtpTestServer server;
    QVERIFY(start(server, {.protocol = FtpTestServer::Protocol::Sftp, .bareListing = true}));
    QCOMPARE(
        sftp(server, {u"stat"_s, u"/f.jpg"_s, u"list"_s, u"/"_s}),
        QStringList({u"login ok"_s, u"stat size=none mtime=none"_s, u"list f.jpg size=none mtime=none"_s}));
}

void tst_TestServers::sftpSetstatSetsTheModificationTime()
{
    FtpTestServer server;
    QVERIFY(start(server, {.protocol = FtpTestServer::Protocol::Sftp}));
    QCOMPARE(sftp(server, {u"utime"_s, u"/f.jpg"_s, u"1500000000"_s, u"stat"_s, u"/f.jpg"_s}),
             QStringList({u"login ok"_s, u"utime ok"_s, u"stat size=1000 mtime=1500000000"_s}));
    QCOMPARE(QFileInfo(server.home(u"u"_s) + u"/f.jpg"_s).lastModified().toSecsSinceEpoch(), 1500000000);
}

void tst_TestServers::sftpLoginsBeyondTheLimitAreRefused_data()
{
    QTest::addColumn<QString>("refusal");
    QTest::addColumn<QString>("seen");
    QTest::newRow("421") << u"421"_s << u"login closed"_s;
    QTest::newRow("530") << u"530"_s << u"login refused"_s;
    QTest::newRow("close") << u"close"_s << u"login closed"_s;
}

void tst_TestServers::sftpLoginsBeyondTheLimitAreRefused()
{
    QFETCH(QString, refusal);
    QFETCH(QString, seen);
    FtpTestServer server;
    QVERIFY(start(server,
                  {.protocol = FtpTestServer::Protocol::Sftp, .maxLogins = 1, .refuseLoginWith = refusal}));
    QProcess first;
    first.start(u"/usr/bin/python3"_s, {QStringLiteral(PEXA_TEST_SCRIPTS_DIR "/probe_client.py"), u"sftp"_s,
                                        QString::number(server.port()), u"u"_s, u"p"_s, u"sleep"_s, u"30"_s});
    QVERIFY(first.waitForReadyRead(15000));
    QVERIFY(first.readLine().startsWith("login ok"));
    QCOMPARE(sftp(server, {}), QStringList{seen});
    // The place comes free when the first session ends, as soon as the server has seen it go.
    first.kill();
    QVERIFY(first.waitForFinished());
    const QDeadlineTimer deadline(10000);
    QStringList third;
    do {
        third = sftp(server, {});
    } while (third != QStringList{u"login ok"_s} && !deadline.hasExpired());
    QCOMPARE(third, QStringList{u"login ok"_s});
}

void tst_TestServers::sftpSilentOpenIsNeverAnswered()
{
    FtpTestServer server;
    QVERIFY(start(server, {.protocol = FtpTestServer::Protocol::Sftp, .silentData = true}));
    QCOMPARE(sftp(server, {u"--timeout"_s, QString::number(NoReplyMs / 1000.0), u"stat"_s, u"/f.jpg"_s,
                           u"write"_s, u"/s.jpg"_s, u"1"_s}),
             QStringList({u"login ok"_s, u"stat size=1000 mtime=%1"_s.arg(mtimeOf(server, u"f.jpg"_s)),
                          u"timeout"_s}));
}

void tst_TestServers::serverRestartedAfterKillTakesItsPortAgain_data()
{
    QTest::addColumn<QString>("protocol");
    for (const char *protocol : {"ftp", "ftps", "sftp"})
        QTest::newRow(protocol) << QString::fromLatin1(protocol);
}

void tst_TestServers::serverRestartedAfterKillTakesItsPortAgain()
{
    QFETCH(QString, protocol);
    FtpTestServer server;
    QVERIFY(start(server, {.protocol = protocol == u"sftp"_s   ? FtpTestServer::Protocol::Sftp
                                       : protocol == u"ftps"_s ? FtpTestServer::Protocol::Ftps
                                                               : FtpTestServer::Protocol::Ftp}));
    QVERIFY(logsIn(server, protocol));
    const quint16 port = server.port();
    // A connection the killed server had keeps its port taken, but for SO_REUSEADDR.
    QTcpSocket session;
    session.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(session.waitForConnected(5000) && session.waitForReadyRead(5000));
    server.kill();
    QVERIFY(session.waitForDisconnected(5000));
    QVERIFY2(server.restart(), qPrintable(server.errorText()));
    QCOMPARE(server.port(), port);
    QVERIFY(logsIn(server, protocol));
    QCOMPARE(server.logins(), 2);
}

void tst_TestServers::daemonRequiresTlsAndResumedDataSessions()
{
    if (const QString missing = DaemonFtpsServer::missing(); !missing.isEmpty())
        QSKIP(qPrintable(missing));
    DaemonFtpsServer daemon;
    QVERIFY2(daemon.start({m_credentials.certificatePath(TestCredentials::Certificate::Server),
                           m_credentials.keyPath(TestCredentials::Certificate::Server)}),
             qPrintable(daemon.errorText()));

    FtpControl plain;
    QVERIFY(plain.open(daemon.port()));
    QVERIFY(plain.command("USER " + daemon.userName().toUtf8()).startsWith("550"));

    // A data connection with a TLS session of its own is refused; one that resumes the control
    // connection's goes through.
    const QStringList steps =
        textsOf(probe({u"ftps"_s, QString::number(daemon.port()), daemon.userName(), daemon.password(),
                       u"put"_s, u"fresh.jpg"_s, u"fresh"_s, u"put"_s, u"resumed.jpg"_s, u"reuse"_s}));
    QCOMPARE(steps.size(), 3);
    QCOMPARE(steps[0], u"login ok"_s);
    QVERIFY2(steps[1].startsWith(u"put 4"_s) || steps[1].startsWith(u"put 5"_s), qPrintable(steps[1]));
    QCOMPARE(steps[2], u"put 226"_s);
    QCOMPARE(QFileInfo(daemon.home() + u"/resumed.jpg"_s).size(), 1000);
    QVERIFY2(daemon.logs().contains(u"client did not reuse TLS session"_s), qPrintable(daemon.logs()));
}

void tst_TestServers::vsftpdGivesAndSetsTimesInItsLocalTime()
{
    if (const QString missing = VsftpdServer::missing(); !missing.isEmpty())
        QSKIP(qPrintable(missing));
    VsftpdServer daemon;
    QVERIFY2(daemon.start({.timeZone = u"UTC-10"_s, .useLocalTime = true}), qPrintable(daemon.errorText()));
    const QString path = daemon.home() + u"/f.jpg"_s;
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QByteArray(1000, 'f')) == 1000 && file.flush());
    QVERIFY(file.setFileTime(QDateTime(QDate(2020, 1, 2), QTime(3, 4, 5), Qt::UTC),
                             QFileDevice::FileModificationTime));
    file.close();
    // The account's own, so that it may set the file's time.
    const QFileInfo home(daemon.home());
    QCOMPARE(::chown(QFile::encodeName(path).constData(), home.ownerId(), home.groupId()), 0);

    FtpControl control;
    QVERIFY(control.open(daemon.port()));
    QVERIFY(control.login(daemon.userName().toUtf8(), daemon.password().toUtf8()));
    // 10 hours ahead of UTC, both ways.
    QCOMPARE(control.command("MDTM f.jpg"), "213 20200102130405");
    QVERIFY(control.command("MDTM 20210102030405 f.jpg").startsWith("213"));
    QCOMPARE(QFileInfo(path).lastModified().toUTC(), QDateTime(QDate(2021, 1, 1), QTime(17, 4, 5), Qt::UTC));
    QVERIFY(control.command("MFMT 20210102030405 f.jpg").startsWith("500"));
    QVERIFY(control.command("MLSD").startsWith("500"));
    // Sessions that come and go leave the daemon serving.
    for (int i = 0; i < 100; ++i) {
        FtpControl another;
        QVERIFY(another.open(daemon.port()));
    }
}

QTEST_GUILESS_MAIN(tst_TestServers)
#include "tst_testservers.moc"
