#include "AtomicPutClient.h"
#include "ClientTestBench.h"
#include "TestFiles.h"

#include <QDir>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

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

} // namespace

// What the FTP and FTPS clients have and the SFTP one has not: FTP's commands and replies, MLSD
// and what stands in for it, MFMT. Each case runs over plain FTP and FTPS.
class tst_FtpFamilyClient : public QObject
{
    Q_OBJECT

public:
    explicit tst_FtpFamilyClient(ProtocolUnderTest &protocol) : m_bench(protocol) {}

private slots:
    void listingsGiveNamesSizesAndTimesWithOrWithoutMlsd_data();
    void listingsGiveNamesSizesAndTimesWithOrWithoutMlsd();
    void setModifiedReachesTheDisk();
    void filesOfOneFolderCostFourCommandsAndAFolderChangeOne();
    void aLateAnswerToARefusedPutIsNotTakenForTheNextOne();

private:
    const QDateTime m_july{QDate(2008, 7, 1), QTime(12, 0, 5), Qt::UTC};
    ClientTestBench m_bench;
};

void tst_FtpFamilyClient::listingsGiveNamesSizesAndTimesWithOrWithoutMlsd_data()
{
    QTest::addColumn<bool>("noMlsd");
    QTest::addColumn<bool>("bareListing");
    QTest::addColumn<QStringList>("expected");
    // MLSD, SIZE and MDTM commands of a second listing: what the server lacks is not asked again.
    QTest::addColumn<QList<qsizetype>>("again");

    const QStringList whole = {u"Fête d'été 東京.jpg file 70000 1999-12-31T23:59:59Z"_s,
                               u"Juni 2008 folder"_s, u"a.jpg file 3 2008-07-01T12:00:05Z"_s,
                               u"empty.jpg file 0 2008-07-01T12:00:05Z"_s};
    const QStringList bare = {u"Fête d'été 東京.jpg file -1 -"_s, u"Juni 2008 folder"_s, u"a.jpg file -1 -"_s,
                              u"empty.jpg file -1 -"_s};
    // Without MLSD nor SIZE a folder cannot be told from a file, and the entries say so.
    QStringList namesOnly = bare;
    namesOnly.replaceInStrings(u" file "_s, u" entry "_s);
    namesOnly[1] = u"Juni 2008 entry -1 -"_s;
    QTest::newRow("MLSD") << false << false << whole << QList<qsizetype>{1, 0, 0};
    QTest::newRow("SIZE and MDTM") << true << false << whole << QList<qsizetype>{0, 4, 4};
    QTest::newRow("bare MLSD") << false << true << bare << QList<qsizetype>{1, 0, 0};
    QTest::newRow("names only") << true << true << namesOnly << QList<qsizetype>{0, 0, 0};
}

void tst_FtpFamilyClient::listingsGiveNamesSizesAndTimesWithOrWithoutMlsd()
{
    QFETCH(bool, noMlsd);
    QFETCH(bool, bareListing);
    QFETCH(QStringList, expected);
    QFETCH(QList<qsizetype>, again);
    const QDateTime winter(QDate(1999, 12, 31), QTime(23, 59, 59), Qt::UTC);
    FtpTestServer server;
    QVERIFY2(m_bench.start(server, {.logCommands = true, .noMlsd = noMlsd, .bareListing = bareListing}),
             qPrintable(server.errorText()));
    const QString list = server.home(u"pexa"_s) + u"/list/"_s;
    QVERIFY(QDir().mkpath(list + u"Juni 2008"_s) && writeFile(list + u"a.jpg"_s, "abc", m_july) &&
            writeFile(list + u"Fête d'été 東京.jpg"_s, QByteArray(70000, 'x'), winter) &&
            writeFile(list + u"empty.jpg"_s, {}, m_july));
    const auto client = m_bench.client();
    QVERIFY(ClientTestBench::logIn(*client, server));
    FtpClient::Listing listed = client->listFolder(u"list"_s);
    QVERIFY(listed.outcome);
    QCOMPARE(described(listed.entries), expected);
    const qsizetype before = server.commands().size();
    listed = client->listFolder(u"list"_s);
    QVERIFY(listed.outcome);
    QCOMPARE(described(listed.entries), expected);
    const QStringList sent = ClientTestBench::verbsAndArguments(server.commands().mid(before));
    QCOMPARE(QList<qsizetype>({sent.filter(QRegularExpression(u"^MLSD"_s)).size(),
                               sent.filter(QRegularExpression(u"^SIZE "_s)).size(),
                               sent.filter(QRegularExpression(u"^MDTM "_s)).size()}),
             again);

    const TransferOutcome missing = client->listFolder(u"missing"_s).outcome;
    QCOMPARE(missing.failure, FtpClient::Failure::Refused);
    QVERIFY2(missing.reply.startsWith(u"550"_s), qPrintable(missing.reply));
}

void tst_FtpFamilyClient::setModifiedReachesTheDisk()
{
    FtpTestServer server;
    QVERIFY2(m_bench.start(server, {}, {{u"pexa"_s, u"p"_s}, {u"untimed"_s, u"p"_s, u"elradfmw"_s}}),
             qPrintable(server.errorText()));
    const QString local = m_bench.local(u"t.jpg"_s);
    QVERIFY(writeFile(local, "timed"));

    const auto client = m_bench.client();
    QVERIFY(ClientTestBench::logIn(*client, server));
    QVERIFY(client->putFile(local, u"t.jpg"_s, {}));
    QVERIFY(client->setModified(u"t.jpg"_s, m_july));
    QCOMPARE(QFileInfo(server.home(u"pexa"_s) + u"/t.jpg"_s).lastModified().toUTC(), m_july);

    // A server that will not set times says so, and the file stays as it was.
    const auto untimed = m_bench.client();
    QVERIFY(ClientTestBench::logIn(*untimed, server, u"untimed"_s));
    QVERIFY(untimed->putFile(local, u"t.jpg"_s, {}));
    const QDateTime stored = QFileInfo(server.home(u"untimed"_s) + u"/t.jpg"_s).lastModified();
    const TransferOutcome notTimed = untimed->setModified(u"t.jpg"_s, m_july);
    QCOMPARE(notTimed.failure, FtpClient::Failure::Refused);
    QVERIFY2(notTimed.reply.startsWith(u"550 "_s), qPrintable(notTimed.reply));
    QCOMPARE(QFileInfo(server.home(u"untimed"_s) + u"/t.jpg"_s).lastModified(), stored);
}

void tst_FtpFamilyClient::filesOfOneFolderCostFourCommandsAndAFolderChangeOne()
{
    FtpTestServer server;
    QVERIFY2(m_bench.start(server, {.logCommands = true}), qPrintable(server.errorText()));
    QVERIFY(QDir(server.home(u"pexa"_s)).mkpath(u"www/a"_s));
    QVERIFY(QDir(server.home(u"pexa"_s)).mkpath(u"www/b"_s));
    const QString local = m_bench.local(u"w.jpg"_s);
    QVERIFY(writeFile(local, "wire"));
    AtomicPutClient client(m_bench.client());
    QVERIFY(ClientTestBench::logIn(client.inner(), server));
    QVERIFY(client.inner().folderExists(u"www/a"_s));
    QVERIFY(client.putFile(local, u"www/a/1.jpg"_s, {}));

    qsizetype before = server.commands().size();
    const auto sentSince = [&] {
        const QStringList sent = ClientTestBench::withPart(server.commands().mid(before));
        before += sent.size();
        return sent;
    };
    QVERIFY(client.putFile(local, u"www/a/2.jpg"_s, {}));
    QVERIFY(client.inner().setModified(u"www/a/2.jpg"_s, m_july));
    QCOMPARE(sentSince(), QStringList({u"EPSV"_s, u"STOR PART"_s, u"RNFR PART"_s, u"RNTO 2.jpg"_s,
                                       u"MFMT 20080701120005 2.jpg"_s}));
    QVERIFY(client.putFile(local, u"www/b/1.jpg"_s, {}));
    QCOMPARE(sentSince(),
             QStringList({u"CWD /www/b"_s, u"EPSV"_s, u"STOR PART"_s, u"RNFR PART"_s, u"RNTO 1.jpg"_s}));
    QVERIFY(client.inner().folderExists(u"www/a"_s));
    QVERIFY(client.inner().removeFile(u"www/a/1.jpg"_s));
    QCOMPARE(sentSince(), QStringList({u"CWD /www/a"_s, u"DELE 1.jpg"_s}));
}

// A server may answer for a put's data connection after it refused the put, as pyftpdlib does
// for one closed during its TLS handshake; the operations after it still get their own answers.
void tst_FtpFamilyClient::aLateAnswerToARefusedPutIsNotTakenForTheNextOne()
{
    FtpTestServer server;
    QVERIFY2(m_bench.start(server, {.refusedPrefix = u"no-"_s, .answerClosedData = true}),
             qPrintable(server.errorText()));
    const QString home = server.home(u"pexa"_s);
    QVERIFY(QDir(home).mkpath(u"www"_s));
    const QString local = m_bench.local(u"n.jpg"_s);
    QVERIFY(writeFile(local, "next"));
    const auto client = m_bench.client();
    QVERIFY(ClientTestBench::logIn(*client, server));

    const TransferOutcome refusal = client->putFile(local, u"www/no-1.jpg"_s, {});
    QCOMPARE(refusal.failure, FtpClient::Failure::Refused);
    QCOMPARE(refusal.reply, u"550 Refused."_s);
    QVERIFY(client->folderExists(QString()));
    QVERIFY(client->putFile(local, u"www/2.jpg"_s, {}));
    QCOMPARE(readFile(home + u"/www/2.jpg"_s), QByteArray("next"));
    QCOMPARE(client->folderExists(u"missing"_s).failure, FtpClient::Failure::Refused);
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    return ProtocolUnderTest::runFor(
        {TransferSecurity::Ftp, TransferSecurity::Ftps}, argc, argv,
        [](ProtocolUnderTest &protocol) { return std::make_unique<tst_FtpFamilyClient>(protocol); });
}
#include "tst_ftpfamilyclient.moc"
