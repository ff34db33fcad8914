#include "AtomicPutClient.h"
#include "ClientTestBench.h"
#include "DaemonFtpsServer.h"
#include "TestFiles.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;

// What only the FTPS client has: the server's certificate, and TLS sessions its data connections
// resume.
class tst_FtpsClient : public QObject
{
    Q_OBJECT

public:
    explicit tst_FtpsClient(ProtocolUnderTest &protocol) : m_bench(protocol) {}

private slots:
    void certificatesAreCheckedBeforeThePassword_data();
    void certificatesAreCheckedBeforeThePassword();
    void aChangedKeyIsRefusedBeforeThePassword();
    void aServerWithoutTlsIsNeverSentThePassword();
    void ftpsPutsAllArriveAtADaemonThatRequiresTlsSessionReuse();

private:
    using Which = TestCredentials::Certificate;
    bool start(FtpTestServer &server, Which which) const
    {
        const TestCredentials &credentials = m_bench.protocol().credentials();
        return m_bench.start(server, {.tlsCertificate = credentials.certificatePath(which),
                                      .tlsKey = credentials.keyPath(which)});
    }

    ClientTestBench m_bench;
};

void tst_FtpsClient::certificatesAreCheckedBeforeThePassword_data()
{
    QTest::addColumn<Which>("which");
    QTest::addColumn<bool>("testCa");
    QTest::addColumn<QString>("reason");
    QTest::newRow("unknown issuer") << Which::Server << false << u"its issuer is not known"_s;
    QTest::newRow("self-signed") << Which::SelfSigned << true << u"it is self-signed"_s;
    QTest::newRow("wrong name") << Which::WrongName << true
                                << u"it is made out to another name than 127.0.0.1"_s;
    QTest::newRow("expired") << Which::Expired << true << u"it has expired"_s;
}

void tst_FtpsClient::certificatesAreCheckedBeforeThePassword()
{
    QFETCH(Which, which);
    QFETCH(bool, testCa);
    QFETCH(QString, reason);
    TestCredentials &credentials = m_bench.protocol().credentials();
    FtpTestServer server;
    QVERIFY2(start(server, which), qPrintable(server.errorText()));
    ConnectionOptions options = m_bench.options();
    if (!testCa)
        options.certificateAuthorities.clear();
    const auto client = m_bench.protocol().makeClient(options);
    QVERIFY(!ClientTestBench::logIn(*client, server));
    const ServerIdentity identity = client->identity();
    QCOMPARE(identity.problem, ServerIdentity::Problem::UntrustedCertificate);
    QCOMPARE(identity.reason, reason);
    QCOMPARE(identity.server, u"127.0.0.1:%1"_s.arg(server.port()));
    QCOMPARE(identity.fingerprint, credentials.certificateFingerprint(which));
    QCOMPARE(identity.publicKeyPin, credentials.publicKeyPin(which));
    QCOMPARE(server.passwordsReceived(), 0);
    // Trusted by the user, the certificate stands for itself.
    QVERIFY(client->trust(identity));
    QVERIFY(client->connect(u"127.0.0.1"_s, server.port(), u"pexa"_s, u"p"_s));
    QCOMPARE(server.logins(), 1);
}

// Pinned to one key, the server offers another: refused, whoever signed it.
void tst_FtpsClient::aChangedKeyIsRefusedBeforeThePassword()
{
    TestCredentials &credentials = m_bench.protocol().credentials();
    FtpTestServer changed;
    QVERIFY2(start(changed, Which::Changed), qPrintable(changed.errorText()));
    ConnectionOptions options = m_bench.options();
    options.tlsPin = u"127.0.0.1:%1 "_s.arg(changed.port()) + credentials.publicKeyPin(Which::Server);
    const auto client = m_bench.protocol().makeClient(options);
    QVERIFY(!ClientTestBench::logIn(*client, changed));
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
    const auto otherPin = m_bench.protocol().makeClient(options);
    QVERIFY(ClientTestBench::logIn(*otherPin, changed));
}

// Nor is it sent anything after AUTH.
void tst_FtpsClient::aServerWithoutTlsIsNeverSentThePassword()
{
    FtpTestServer plain;
    QVERIFY2(plain.start({{u"pexa"_s, u"p"_s}}), qPrintable(plain.errorText()));
    const auto refused = m_bench.client();
    QVERIFY(!ClientTestBench::logIn(*refused, plain));
    QCOMPARE(refused->identity().problem, ServerIdentity::Problem::EncryptionRefused);
    QCOMPARE(plain.passwordsReceived(), 0);
}

// proftpd with its stock TLS settings refuses a data connection that does not resume the
// control connection's TLS session.
void tst_FtpsClient::ftpsPutsAllArriveAtADaemonThatRequiresTlsSessionReuse()
{
    if (const QString missing = DaemonFtpsServer::missing(); !missing.isEmpty())
        QSKIP(qPrintable(missing));
    DaemonFtpsServer daemon;
    TestCredentials &credentials = m_bench.protocol().credentials();
    QVERIFY2(daemon.start({credentials.certificatePath(Which::Server), credentials.keyPath(Which::Server)}),
             qPrintable(daemon.errorText()));
    const QString local = m_bench.local(u"d.jpg"_s);
    QByteArray photo;
    for (int i = 0; i < 20000; ++i)
        photo.append(static_cast<char>(i * 13));
    QVERIFY(writeFile(local, photo));

    AtomicPutClient client(m_bench.client());
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
        QCOMPARE(readFile(daemon.home() + u"/%1.jpg"_s.arg(i)), photo);
    QCOMPARE(filesBelow(daemon.home()).size(), 48);
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    return ProtocolUnderTest::runFor({TransferSecurity::Ftps}, argc, argv, [](ProtocolUnderTest &protocol) {
        return std::make_unique<tst_FtpsClient>(protocol);
    });
}
#include "tst_ftpsclient.moc"
