#include "TestCredentials.h"

#include "TestFiles.h"

#include <QFile>
#include <QProcess>

using namespace Qt::Literals::StringLiterals;

namespace {

// Sections for the certificates, and the least that `openssl ca` needs: only it can set the
// dates of the expired certificate.
const char config[] = R"([req]
distinguished_name = dn
[dn]
[ca_cert]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[server_cert]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = serverAuth
subjectAltName = IP:127.0.0.1, DNS:localhost
[other_name_cert]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = serverAuth
subjectAltName = DNS:other.example
[ca]
default_ca = test_ca
[test_ca]
database = index.txt
new_certs_dir = .
serial = serial
default_md = sha256
policy = any_name
unique_subject = no
[any_name]
commonName = supplied
)";

} // namespace

TestCredentials::TestCredentials() = default;

QString TestCredentials::baseName(Certificate which)
{
    switch (which) {
    case Certificate::Server:
        return u"server"_s;
    case Certificate::Changed:
        return u"changed"_s;
    case Certificate::SelfSigned:
        return u"self-signed"_s;
    case Certificate::WrongName:
        return u"wrong-name"_s;
    case Certificate::Expired:
        return u"expired"_s;
    }
    return {};
}

QString TestCredentials::caPath() const
{
    return path(u"ca.pem"_s);
}

QString TestCredentials::certificatePath(Certificate which) const
{
    return path(baseName(which) + u".pem"_s);
}

QString TestCredentials::keyPath(Certificate which) const
{
    return path(baseName(which) + u".key"_s);
}

QString TestCredentials::certificateFingerprint(Certificate which) const
{
    return m_certificates[static_cast<int>(which)].fingerprint;
}

QString TestCredentials::publicKeyPin(Certificate which) const
{
    return m_certificates[static_cast<int>(which)].pin;
}

QString TestCredentials::hostKeyPath(int index) const
{
    Q_ASSERT(index >= 0 && index < hostKeyCount);
    return path(u"host-key-%1"_s.arg(index));
}

QString TestCredentials::hostKeyFingerprint(int index) const
{
    return m_hostKeys.at(index).fingerprint;
}

QString TestCredentials::hostKeyType(int index) const
{
    return m_hostKeys.at(index).type;
}

QString TestCredentials::hostPublicKeyBase64(int index) const
{
    return m_hostKeys.at(index).publicKey;
}

bool TestCredentials::create()
{
    if (!m_dir.isValid()) {
        m_error = m_dir.errorString();
        return false;
    }
    if (!makeCertificates())
        return false;
    for (int i = 0; i < certificateCount; ++i) {
        if (!describeCertificate(static_cast<Certificate>(i)))
            return false;
    }
    for (int i = 0; i < hostKeyCount; ++i) {
        if (!makeHostKey(i))
            return false;
    }
    return true;
}

bool TestCredentials::makeCertificates()
{
    if (!writeFile(path(u"openssl.cnf"_s), config) || !writeFile(path(u"index.txt"_s), {}) ||
        !writeFile(path(u"serial"_s), "01\n")) {
        m_error = u"cannot write to "_s + m_dir.path();
        return false;
    }
    // EC keys: made at once, where RSA keys take a while each.
    const QStringList newKey{u"-config"_s, u"openssl.cnf"_s, u"-newkey"_s,
                             u"ec"_s,      u"-pkeyopt"_s,    u"ec_paramgen_curve:prime256v1"_s,
                             u"-noenc"_s};
    const QStringList byCa{u"-CA"_s, u"ca.pem"_s, u"-CAkey"_s, u"ca.key"_s};
    const auto certificate = [&](const QString &name, const QString &subject, const QString &extensions,
                                 const QStringList &issuer) {
        return run(u"openssl"_s,
                   QStringList{u"req"_s, u"-x509"_s} + issuer + newKey +
                       QStringList{u"-days"_s, u"3650"_s, u"-subj"_s, subject, u"-extensions"_s, extensions,
                                   u"-keyout"_s, name + u".key"_s, u"-out"_s, name + u".pem"_s});
    };
    const QString local = u"/CN=127.0.0.1"_s;
    return certificate(u"ca"_s, u"/CN=Pexa Resizer test CA"_s, u"ca_cert"_s, {}) &&
           certificate(baseName(Certificate::Server), local, u"server_cert"_s, byCa) &&
           certificate(baseName(Certificate::Changed), local, u"server_cert"_s, byCa) &&
           certificate(baseName(Certificate::SelfSigned), local, u"server_cert"_s, {}) &&
           certificate(baseName(Certificate::WrongName), u"/CN=other.example"_s, u"other_name_cert"_s,
                       byCa) &&
           run(u"openssl"_s, QStringList{u"req"_s, u"-new"_s} + newKey +
                                 QStringList{u"-subj"_s, local, u"-keyout"_s, u"expired.key"_s, u"-out"_s,
                                             u"expired.csr"_s}) &&
           run(u"openssl"_s, {u"ca"_s, u"-batch"_s, u"-config"_s, u"openssl.cnf"_s, u"-cert"_s, u"ca.pem"_s,
                              u"-keyfile"_s, u"ca.key"_s, u"-in"_s, u"expired.csr"_s, u"-out"_s,
                              u"expired.pem"_s, u"-notext"_s, u"-startdate"_s, u"20200101000000Z"_s,
                              u"-enddate"_s, u"20200102000000Z"_s, u"-extensions"_s, u"server_cert"_s});
}

bool TestCredentials::describeCertificate(Certificate which)
{
    const QString file = certificatePath(which);
    QByteArray printed, publicKey, der, digest;
    if (!run(u"openssl"_s, {u"x509"_s, u"-in"_s, file, u"-noout"_s, u"-fingerprint"_s, u"-sha256"_s},
             &printed) ||
        !run(u"openssl"_s, {u"x509"_s, u"-in"_s, file, u"-noout"_s, u"-pubkey"_s}, &publicKey) ||
        !run(u"openssl"_s, {u"pkey"_s, u"-pubin"_s, u"-outform"_s, u"der"_s}, &der, publicKey) ||
        !run(u"openssl"_s, {u"dgst"_s, u"-sha256"_s, u"-binary"_s}, &digest, der)) {
        return false;
    }
    // "sha256 Fingerprint=AA:BB:..."
    Made &made = m_certificates[static_cast<int>(which)];
    made.fingerprint = QString::fromLatin1(printed.mid(printed.indexOf('=') + 1).trimmed());
    made.pin = u"sha256//"_s + QString::fromLatin1(digest.toBase64());
    return true;
}

bool TestCredentials::makeHostKey(int index)
{
    const QString key = hostKeyPath(index);
    QByteArray printed;
    if (!run(u"ssh-keygen"_s, {u"-q"_s, u"-t"_s, index == 2 ? u"ecdsa"_s : u"ed25519"_s, u"-N"_s, QString(),
                               u"-C"_s, u"pexa-test"_s, u"-f"_s, key}) ||
        !run(u"ssh-keygen"_s, {u"-lf"_s, key + u".pub"_s}, &printed)) {
        return false;
    }
    QFile publicFile(key + u".pub"_s);
    if (!publicFile.open(QIODevice::ReadOnly)) {
        m_error = publicFile.errorString();
        return false;
    }
    // "256 SHA256:... pexa-test (ED25519)" and "ssh-ed25519 AAAA... pexa-test"
    const QStringList fingerprintFields = QString::fromLatin1(printed).split(u' ');
    const QStringList publicFields = QString::fromLatin1(publicFile.readAll()).split(u' ');
    if (fingerprintFields.size() < 2 || publicFields.size() < 2) {
        m_error = u"unexpected ssh-keygen output: "_s + QString::fromLatin1(printed);
        return false;
    }
    m_hostKeys[index] = {fingerprintFields[1], publicFields[0], publicFields[1]};
    return true;
}

bool TestCredentials::run(const QString &program, const QStringList &arguments, QByteArray *output,
                          const QByteArray &input)
{
    QProcess process;
    process.setWorkingDirectory(m_dir.path());
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        m_error = program + u' ' + arguments.join(u' ') + u": "_s + process.errorString() + u"\n"_s +
                  QString::fromLocal8Bit(process.readAllStandardError());
        return false;
    }
    if (output)
        *output = process.readAllStandardOutput();
    return true;
}
