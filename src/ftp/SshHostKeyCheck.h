#pragma once

#include "ServerIdentity.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <utility>

// Judges the host key an SSH server offers against known_hosts, before any password goes out:
// what the user is to be told when it is unknown, changed or revoked, and the keys the user
// chose to trust.
class SshHostKeyCheck
{
public:
    explicit SshHostKeyCheck(QString knownHostsPath);

    // The server the next judgements are about; "host:port" names it to the user.
    void setServer(const QString &host, uint16_t port);
    // The host-key algorithms for the key exchange, of the supported ones: those of the kinds
    // already known for the server first, as ssh orders them, so that a server with several
    // keys shows the one known.
    QByteArray preferredAlgorithms(const QStringList &supported) const;
    // Whether the key may be trusted; when not, identity() says why.
    bool judge(const QByteArray &key);
    ServerIdentity identity() const { return m_identity; }
    // Trusts the unknown key that a judgement showed, from now on for this object whatever
    // happens, and adds it to known_hosts; false when that could not be written.
    bool trust(const ServerIdentity &identity);

private:
    QString m_knownHostsPath;
    QString m_host;
    uint16_t m_port = 22;
    QString m_server;
    ServerIdentity m_identity;
    // Servers and keys the user trusted in this run, whether or not known_hosts could keep them.
    QList<std::pair<QString, QByteArray>> m_accepted;
};
