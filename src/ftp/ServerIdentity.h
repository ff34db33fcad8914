#pragma once

#include <QByteArray>
#include <QString>

// Why a connect found the server's identity wanting, with what the user needs to decide
// whether to trust it.
struct ServerIdentity
{
    enum class Problem
    {
        None,
        // The server would not speak TLS, so nothing more was sent.
        EncryptionRefused,
        // Neither the system nor the user trusts the certificate.
        UntrustedCertificate,
        // The user trusted another certificate for this server.
        ChangedCertificate,
        // known_hosts has no key for this server.
        UnknownHostKey,
        // known_hosts has another key of this kind for this server.
        ChangedHostKey,
    };

    Problem problem = Problem::None;
    // "host:port", as the lines and boxes name the server.
    QString server;
    // Why a certificate is not trusted, in plain words.
    QString reason;
    // What the server offered: a certificate's SHA-256 ("AA:BB:…") or a host key's
    // ("SHA256:…", as ssh-keygen prints it).
    QString fingerprint;
    // What was trusted before, when that changed: the pinned public key or the known host key.
    QString knownFingerprint;
    // The offered certificate's public-key pin, "sha256//…".
    QString publicKeyPin;
    // The offered host key: its type ("ssh-ed25519") and its bytes, and the server's name in
    // known_hosts.
    QString keyType;
    QByteArray hostKey;
    QString knownHostsName;
};
