#include "TlsCertificateWatch.h"

#include <QByteArray>
#include <curl/curl.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

using namespace Qt::Literals::StringLiterals;

namespace {

int watchIndex()
{
    static const int index = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

QString reasonFor(int error)
{
    switch (error) {
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
        return u"it is self-signed"_s;
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
        return u"its issuer is not known"_s;
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return u"it has expired"_s;
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return u"it is not valid yet"_s;
    case X509_V_ERR_CERT_REVOKED:
        return u"it has been revoked"_s;
    default:
        return QString::fromLatin1(X509_verify_cert_error_string(error));
    }
}

QByteArray sha256(const unsigned char *data, int length)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (!EVP_Digest(data, static_cast<size_t>(length), digest, &size, EVP_sha256(), nullptr))
        return QByteArray();
    return QByteArray(reinterpret_cast<const char *>(digest), static_cast<qsizetype>(size));
}

bool madeOutTo(X509 *certificate, const QString &host)
{
    const QByteArray name = host.toUtf8();
    // -2: the host is no IP address, so it is a name.
    const int address = X509_check_ip_asc(certificate, name.constData(), 0);
    if (address != -2)
        return address == 1;
    return X509_check_host(certificate, name.constData(), static_cast<size_t>(name.size()), 0, nullptr) == 1;
}

} // namespace

struct TlsCertificateWatch::Callbacks
{
    // libcurl has set the verification mode by now; only the callback is added to it.
    static CURLcode onContext(CURL *, void *context, void *watch)
    {
        auto *sslContext = static_cast<SSL_CTX *>(context);
        SSL_CTX_set_ex_data(sslContext, watchIndex(), watch);
        SSL_CTX_set_verify(sslContext, SSL_CTX_get_verify_mode(sslContext), &onVerify);
        return CURLE_OK;
    }

    static int onVerify(int preverified, X509_STORE_CTX *store);
};

void TlsCertificateWatch::watch(CURL *curl)
{
    curl_easy_setopt(curl, CURLOPT_SSL_CTX_FUNCTION, &Callbacks::onContext);
    curl_easy_setopt(curl, CURLOPT_SSL_CTX_DATA, this);
}

void TlsCertificateWatch::reset(const QString &host)
{
    m_host = host;
    m_seen = false;
    m_fingerprint.clear();
    m_publicKeyPin.clear();
    m_problem.clear();
}

int TlsCertificateWatch::Callbacks::onVerify(int preverified, X509_STORE_CTX *store)
{
    auto *ssl = static_cast<SSL *>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    auto *self =
        ssl ? static_cast<TlsCertificateWatch *>(SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), watchIndex()))
            : nullptr;
    X509 *certificate = X509_STORE_CTX_get0_cert(store);
    if (!self || !certificate)
        return preverified;
    if (!self->m_seen) {
        self->m_seen = true;
        unsigned char *der = nullptr;
        const int length = i2d_X509(certificate, &der);
        const QByteArray digest = length > 0 ? sha256(der, length) : QByteArray();
        OPENSSL_free(der);
        self->m_fingerprint = QString::fromLatin1(digest.toHex(':').toUpper());
        unsigned char *key = nullptr;
        const int keyLength = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(certificate), &key);
        const QByteArray keyDigest = keyLength > 0 ? sha256(key, keyLength) : QByteArray();
        OPENSSL_free(key);
        self->m_publicKeyPin = u"sha256//"_s + QString::fromLatin1(keyDigest.toBase64());
        if (!madeOutTo(certificate, self->m_host))
            self->m_problem = u"it is made out to another name than %1"_s.arg(self->m_host);
    }
    // The chain's faults come before a wrong name: they are the more basic ones.
    if (!preverified) {
        const QString reason = reasonFor(X509_STORE_CTX_get_error(store));
        if (self->m_problem.isEmpty() || self->m_problem.startsWith(u"it is made out"_s))
            self->m_problem = reason;
    }
    return preverified;
}
