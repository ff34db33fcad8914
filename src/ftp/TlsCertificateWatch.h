#pragma once

#include <QString>

typedef void CURL;

// Watches the TLS handshakes of a libcurl handle for the server's certificate and what
// OpenSSL found wrong with it: libcurl tells neither once a handshake has failed, and the
// user needs both to decide whether to trust the server. It never changes a verdict.
class TlsCertificateWatch
{
public:
    // Hooks into every handshake the handle makes from now on.
    void watch(CURL *curl);
    // Forgets what was seen; the next handshake's certificate is checked against this name.
    void reset(const QString &host);

    bool seen() const { return m_seen; }
    // SHA-256 of the certificate, "AA:BB:…" as openssl x509 -fingerprint prints it.
    QString fingerprint() const { return m_fingerprint; }
    // The certificate's public-key pin as libcurl takes it: "sha256//" and base64.
    QString publicKeyPin() const { return m_publicKeyPin; }
    // Why the certificate is not to be trusted, in plain words; empty when nothing was found.
    QString problem() const { return m_problem; }

private:
    // libcurl's and OpenSSL's callbacks, which fill in what was seen.
    struct Callbacks;
    friend struct Callbacks;

    QString m_host;
    bool m_seen = false;
    QString m_fingerprint;
    QString m_publicKeyPin;
    QString m_problem;
};
