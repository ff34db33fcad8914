#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <cstdint>

// The user's known_hosts file, in OpenSSH's format, so that this program and ssh agree on
// which servers are known and by which keys. A server on a port other than 22 is named
// "[host]:port" there.
class KnownHosts
{
public:
    enum class Match
    {
        Known,
        // No key of this type for the server (perhaps keys of other types).
        Missing,
        // Another key of this type is known for the server.
        Changed,
        // The key is marked @revoked.
        Revoked,
    };
    struct Lookup
    {
        Match match = Match::Missing;
        // The fingerprint of the key known before, when it changed.
        QString knownFingerprint;
    };

    explicit KnownHosts(QString path);
    // ~/.ssh/known_hosts.
    static QString defaultPath();

    static QString hostName(const QString &host, uint16_t port);
    // "SHA256:" and the unpadded base64 of the key's SHA-256, as ssh-keygen -l prints it.
    static QString fingerprint(const QByteArray &key);
    // The type a key blob names for itself, such as "ssh-ed25519"; empty for a damaged blob.
    static QString keyType(const QByteArray &key);

    QString path() const { return m_path; }
    Lookup check(const QString &host, uint16_t port, const QByteArray &key) const;
    // The types of the keys known for the server, in the file's order, each once.
    QStringList knownTypes(const QString &host, uint16_t port) const;
    // Appends the key for the server, making ~/.ssh and the file private when it makes them.
    bool add(const QString &host, uint16_t port, const QByteArray &key) const;

private:
    struct Entry
    {
        // "@revoked", or empty.
        QString marker;
        QString type;
        QByteArray key;
    };
    // The lines that name the server, but those of certificate authorities.
    QList<Entry> entriesFor(const QString &host, uint16_t port) const;

    QString m_path;
};
