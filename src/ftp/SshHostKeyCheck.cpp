#include "SshHostKeyCheck.h"

#include "KnownHosts.h"

using namespace Qt::Literals::StringLiterals;

namespace {

// The signature algorithms a key of this type is used with.
QStringList algorithmsFor(const QString &keyType)
{
    if (keyType == u"ssh-rsa"_s)
        return {u"rsa-sha2-512"_s, u"rsa-sha2-256"_s, u"ssh-rsa"_s};
    return {keyType};
}

} // namespace

SshHostKeyCheck::SshHostKeyCheck(QString knownHostsPath) : m_knownHostsPath(std::move(knownHostsPath)) {}

void SshHostKeyCheck::setServer(const QString &host, uint16_t port)
{
    m_host = host;
    m_port = port;
    m_server = (host.contains(u':') ? u'[' + host + u']' : host) + u':' + QString::number(port);
    m_identity = {};
}

QByteArray SshHostKeyCheck::preferredAlgorithms(const QStringList &supported) const
{
    QStringList ordered;
    for (const QString &type : KnownHosts(m_knownHostsPath).knownTypes(m_host, m_port)) {
        for (const QString &algorithm : algorithmsFor(type)) {
            if (supported.contains(algorithm) && !ordered.contains(algorithm))
                ordered.append(algorithm);
        }
    }
    for (const QString &algorithm : supported) {
        if (!ordered.contains(algorithm))
            ordered.append(algorithm);
    }
    return ordered.join(u',').toLatin1();
}

bool SshHostKeyCheck::judge(const QByteArray &key)
{
    m_identity = {};
    if (!key.isEmpty() && m_accepted.contains(std::pair{m_server, key}))
        return true;
    const KnownHosts::Lookup lookup = KnownHosts(m_knownHostsPath).check(m_host, m_port, key);
    if (lookup.match == KnownHosts::Match::Known)
        return true;
    m_identity.server = m_server;
    m_identity.hostKey = key;
    m_identity.knownHostsName = KnownHosts::hostName(m_host, m_port);
    m_identity.keyType = KnownHosts::keyType(key);
    m_identity.fingerprint = KnownHosts::fingerprint(key);
    m_identity.knownFingerprint = lookup.knownFingerprint;
    m_identity.problem = lookup.match == KnownHosts::Match::Missing ? ServerIdentity::Problem::UnknownHostKey
                                                                    : ServerIdentity::Problem::ChangedHostKey;
    if (lookup.match == KnownHosts::Match::Revoked)
        m_identity.reason = u"the key is marked as revoked"_s;
    return false;
}

bool SshHostKeyCheck::trust(const ServerIdentity &identity)
{
    if (identity.server != m_server || identity.problem != ServerIdentity::Problem::UnknownHostKey ||
        identity.hostKey.isEmpty())
        return false;
    m_accepted.append({m_server, identity.hostKey});
    return KnownHosts(m_knownHostsPath).add(m_host, m_port, identity.hostKey);
}
