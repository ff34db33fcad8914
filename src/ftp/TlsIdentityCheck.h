#pragma once

#include "ServerIdentity.h"
#include "TlsCertificateWatch.h"

#include <QString>

typedef void CURL;

// Judges an FTPS server's identity on one libcurl handle before the password goes out: its
// certificate against the system's trust store (or the authorities given) and the host name, or
// the one public key the user pinned for that server. After a connect that failed on it, tells
// what the user needs to decide whether to trust the server.
class TlsIdentityCheck
{
public:
    // pin: "host:port sha256//…", for one server; certificateAuthorities: a file to trust instead
    // of the system's, or empty.
    TlsIdentityCheck(QString pin, QString certificateAuthorities);
    TlsIdentityCheck(const TlsIdentityCheck &) = delete;
    TlsIdentityCheck &operator=(const TlsIdentityCheck &) = delete;

    // Watches every handshake the handle makes from now on.
    void watch(CURL *curl);
    // Before a connect to server ("host:port", as the lines name it) under the name host: a
    // certificate the user trusted for this server stands for itself; any other must satisfy the
    // system.
    void beforeConnect(CURL *curl, const QString &host, const QString &server);
    // What was wrong with the identity, after a connect that failed with this libcurl code;
    // problem None when the failure was not about the identity.
    ServerIdentity judge(int code) const;
    // Pins the certificate of an untrusted identity the user chose to trust, for the connects
    // that follow; false when there is nothing to pin.
    bool trust(const ServerIdentity &identity);

private:
    QString m_pin;
    QString m_certificateAuthorities;
    QString m_server;
    TlsCertificateWatch m_watch;
};
