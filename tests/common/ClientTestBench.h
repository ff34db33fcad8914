#pragma once

#include "FtpTestServer.h"
#include "ProtocolUnderTest.h"

#include <QTemporaryDir>
#include <memory>

// What the client tests of one protocol share: a server most cases log in to, a folder for the
// local files, and the making of other servers and of clients that reach them.
class ClientTestBench
{
public:
    explicit ClientTestBench(ProtocolUnderTest &protocol) : m_protocol(protocol) {}

    // Starts the shared server; false (with errorText) when it did not. Its users are pexa
    // (password "p ä:ss"), reader (may list only) and stall-here; a path ending in stall-here
    // is never answered, one ending in drop-here closes the connection.
    bool start();
    QString errorText() const { return m_server.errorText(); }

    ProtocolUnderTest &protocol() const { return m_protocol; }
    FtpTestServer &server() { return m_server; }
    QString local(const QString &name) const { return m_local.filePath(name); }

    ConnectionOptions options(long connectSeconds = 30, long stallSeconds = 60) const;
    std::unique_ptr<FtpClient> client(long connectSeconds = 30, long stallSeconds = 60) const;
    // Opens the client and logs in to the shared server.
    bool logIn(FtpClient &client, const QString &user = QStringLiteral("pexa"),
               const QString &password = QStringLiteral("p ä:ss"));
    // Opens the client and logs in to another server.
    static bool logIn(FtpClient &client, const FtpTestServer &server,
                      const QString &user = QStringLiteral("pexa"),
                      const QString &password = QStringLiteral("p"));
    // Starts another server of this protocol, by default with user pexa, password p.
    bool start(FtpTestServer &server, const FtpTestServer::Options &options = {},
               const QList<FtpTestServer::User> &users = {
                   {QStringLiteral("pexa"), QStringLiteral("p")}}) const;

    // The commands a server received, without the connection numbers.
    static QStringList verbsAndArguments(const QStringList &commands);
    // The same with a put's temporary name, which differs from run to run, as PART.
    static QStringList withPart(const QStringList &commands);

private:
    ProtocolUnderTest &m_protocol;
    FtpTestServer m_server;
    QTemporaryDir m_local;
};
