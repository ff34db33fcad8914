#include "ProtocolUnderTest.h"

#include "TransferClients.h"

#include <QFile>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

ProtocolUnderTest::ProtocolUnderTest(TransferSecurity security) : m_security(security) {}

bool ProtocolUnderTest::prepare()
{
    if (!m_credentials.create())
        return false;
    QFile file(knownHostsPath());
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write("[127.0.0.1]:* " + m_credentials.hostKeyType(0).toLatin1() + ' ' +
               m_credentials.hostPublicKeyBase64(0).toLatin1() + '\n');
    return true;
}

FtpTestServer::Options ProtocolUnderTest::serverOptions(FtpTestServer::Options options) const
{
    switch (m_security) {
    case TransferSecurity::Ftp:
        options.protocol = FtpTestServer::Protocol::Ftp;
        break;
    case TransferSecurity::Ftps:
        options.protocol = FtpTestServer::Protocol::Ftps;
        if (options.tlsCertificate.isEmpty()) {
            options.tlsCertificate = m_credentials.certificatePath(TestCredentials::Certificate::Server);
            options.tlsKey = m_credentials.keyPath(TestCredentials::Certificate::Server);
        }
        break;
    case TransferSecurity::Sftp:
        options.protocol = FtpTestServer::Protocol::Sftp;
        if (options.hostKey.isEmpty())
            options.hostKey = m_credentials.hostKeyPath(0);
        break;
    }
    return options;
}

ConnectionOptions ProtocolUnderTest::clientOptions() const
{
    return {.security = m_security,
            .certificateAuthorities = m_credentials.caPath(),
            .knownHostsPath = knownHostsPath()};
}

std::unique_ptr<FtpClient> ProtocolUnderTest::makeClient(const ConnectionOptions &options) const
{
    return TransferClients::make(options);
}

int ProtocolUnderTest::runEach(int argc, char **argv,
                               const std::function<std::unique_ptr<QObject>(ProtocolUnderTest &)> &makeTest)
{
    return runFor({TransferSecurity::Ftp, TransferSecurity::Ftps, TransferSecurity::Sftp}, argc, argv,
                  makeTest);
}

int ProtocolUnderTest::runFor(const QList<TransferSecurity> &securities, int argc, char **argv,
                              const std::function<std::unique_ptr<QObject>(ProtocolUnderTest &)> &makeTest)
{
    int failures = 0;
    for (TransferSecurity security : securities) {
        ProtocolUnderTest protocol(security);
        qInfo("Protocol: %s", qPrintable(protocol.name()));
        if (!protocol.prepare()) {
            qCritical("Cannot make the test credentials: %s", qPrintable(protocol.errorText()));
            return 1;
        }
        const std::unique_ptr<QObject> test = makeTest(protocol);
        failures += QTest::qExec(test.get(), argc, argv);
    }
    return failures;
}
