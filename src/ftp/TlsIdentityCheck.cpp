#include "TlsIdentityCheck.h"

#include <QFile>
#include <curl/curl.h>
#include <utility>

using namespace Qt::Literals::StringLiterals;

TlsIdentityCheck::TlsIdentityCheck(QString pin, QString certificateAuthorities)
    : m_pin(std::move(pin)), m_certificateAuthorities(std::move(certificateAuthorities))
{}

void TlsIdentityCheck::watch(CURL *curl)
{
    if (!m_certificateAuthorities.isEmpty())
        curl_easy_setopt(curl, CURLOPT_CAINFO, QFile::encodeName(m_certificateAuthorities).constData());
    m_watch.watch(curl);
}

void TlsIdentityCheck::beforeConnect(CURL *curl, const QString &host, const QString &server)
{
    m_server = server;
    const QString pinned = m_pin.startsWith(server + u' ') ? m_pin.section(u' ', 1) : QString();
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, pinned.isEmpty() ? 1L : 0L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, pinned.isEmpty() ? 2L : 0L);
    curl_easy_setopt(curl, CURLOPT_PINNEDPUBLICKEY,
                     pinned.isEmpty() ? nullptr : pinned.toLatin1().constData());
    m_watch.reset(host);
}

ServerIdentity TlsIdentityCheck::judge(int code) const
{
    ServerIdentity identity;
    identity.server = m_server;
    identity.fingerprint = m_watch.fingerprint();
    identity.publicKeyPin = m_watch.publicKeyPin();
    if (code == CURLE_USE_SSL_FAILED) {
        identity.problem = ServerIdentity::Problem::EncryptionRefused;
    } else if (code == CURLE_SSL_PINNEDPUBKEYNOTMATCH && m_watch.seen()) {
        identity.problem = ServerIdentity::Problem::ChangedCertificate;
        identity.knownFingerprint = m_pin.section(u' ', 1);
    } else if (code == CURLE_PEER_FAILED_VERIFICATION && m_watch.seen()) {
        identity.problem = ServerIdentity::Problem::UntrustedCertificate;
        identity.reason = m_watch.problem().isEmpty() ? u"it could not be verified"_s : m_watch.problem();
    }
    return identity;
}

bool TlsIdentityCheck::trust(const ServerIdentity &identity)
{
    if (identity.server != m_server || identity.problem != ServerIdentity::Problem::UntrustedCertificate ||
        identity.publicKeyPin.isEmpty())
        return false;
    m_pin = m_server + u' ' + identity.publicKeyPin;
    return true;
}
