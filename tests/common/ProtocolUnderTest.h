#pragma once

#include "ConnectionOptions.h"
#include "FtpClient.h"
#include "FtpTestServer.h"
#include "TestCredentials.h"
#include "TransferSecurity.h"

#include <QList>
#include <QObject>
#include <QTemporaryDir>
#include <functional>
#include <memory>

// One of the three protocols, with what a test needs to reach a server of it: the server's
// options, and a client that trusts the servers started with them (the test CA, a known_hosts
// file that knows the host key on every port of 127.0.0.1).
class ProtocolUnderTest
{
public:
    explicit ProtocolUnderTest(TransferSecurity security);

    // Makes the certificates and keys; false (with errorText) when that failed.
    bool prepare();
    QString errorText() const { return m_credentials.errorText(); }

    TransferSecurity security() const { return m_security; }
    QString name() const { return TransferSecurityText::stored(m_security); }
    TestCredentials &credentials() { return m_credentials; }
    QString knownHostsPath() const { return m_dir.filePath(QStringLiteral("known_hosts")); }

    // The options with this protocol's server identity filled in.
    FtpTestServer::Options serverOptions(FtpTestServer::Options options = {}) const;
    ConnectionOptions clientOptions() const;
    // The client the program makes for this protocol.
    std::unique_ptr<FtpClient> makeClient(const ConnectionOptions &options) const;

    // Runs the test class once for each protocol, as the main function of a test executable.
    static int runEach(int argc, char **argv,
                       const std::function<std::unique_ptr<QObject>(ProtocolUnderTest &)> &makeTest);
    // The same for these protocols only: for what the others do not have.
    static int runFor(const QList<TransferSecurity> &securities, int argc, char **argv,
                      const std::function<std::unique_ptr<QObject>(ProtocolUnderTest &)> &makeTest);

private:
    TransferSecurity m_security;
    TestCredentials m_credentials;
    QTemporaryDir m_dir;
};
