#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <array>

// Certificates and SSH host keys for the test servers, made by the openssl and ssh-keygen
// commands in a temporary folder of their own, with the fingerprints as those tools print them:
// what a test compares with what the program shows.
class TestCredentials
{
public:
    // Server certificates with their own keys (EC P-256), all but SelfSigned signed by the test CA.
    enum class Certificate
    {
        // For 127.0.0.1 and localhost.
        Server,
        // The same names, another key: the server's certificate has changed.
        Changed,
        // For 127.0.0.1, signed by its own key: an unknown issuer.
        SelfSigned,
        // For other.example only.
        WrongName,
        // For 127.0.0.1, valid on 1 January 2020 only.
        Expired
    };
    static constexpr int certificateCount = 5;
    // Host keys 0 and 1 are ed25519 keys, 2 an ECDSA key.
    static constexpr int hostKeyCount = 3;

    TestCredentials();

    // Makes everything, once; false (with the reason in errorText) when a command failed.
    bool create();
    QString errorText() const { return m_error; }

    // The test CA's certificate (PEM), for the client to trust.
    QString caPath() const;
    // PEM files, for FtpTestServer::Options.
    QString certificatePath(Certificate which) const;
    QString keyPath(Certificate which) const;
    // "AA:BB:...", as `openssl x509 -noout -fingerprint -sha256` prints it.
    QString certificateFingerprint(Certificate which) const;
    // "sha256//" and the base64 of the SHA-256 of the DER public key, as curl takes a pin.
    QString publicKeyPin(Certificate which) const;

    // The private key file, for FtpTestServer::Options::hostKey; the public key is beside it,
    // with ".pub" added.
    QString hostKeyPath(int index) const;
    // "SHA256:...", as `ssh-keygen -lf` prints it.
    QString hostKeyFingerprint(int index) const;
    // "ssh-ed25519", "ecdsa-sha2-nistp256"; with hostPublicKeyBase64 it makes a known_hosts line.
    QString hostKeyType(int index) const;
    QString hostPublicKeyBase64(int index) const;

private:
    struct Made
    {
        QString fingerprint;
        QString pin;
    };
    struct HostKey
    {
        QString fingerprint;
        QString type;
        QString publicKey;
    };

    bool makeCertificates();
    bool describeCertificate(Certificate which);
    bool makeHostKey(int index);
    // Runs a command in the folder; false, with errorText set, unless it exits with 0.
    bool run(const QString &program, const QStringList &arguments, QByteArray *output = nullptr,
             const QByteArray &input = {});
    QString path(const QString &name) const { return m_dir.filePath(name); }
    static QString baseName(Certificate which);

    QTemporaryDir m_dir;
    QString m_error;
    std::array<Made, certificateCount> m_certificates;
    std::array<HostKey, hostKeyCount> m_hostKeys;
};
