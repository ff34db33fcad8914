#include "IdentityMessages.h"

using namespace Qt::Literals::StringLiterals;

namespace IdentityMessages {

namespace {

using Problem = ServerIdentity::Problem;

const QString KnownHostsFile = u"~/.ssh/known_hosts"_s;

QString offeredKey(const ServerIdentity &identity)
{
    return identity.keyType + u' ' + identity.fingerprint;
}

} // namespace

QString line(const ServerIdentity &identity)
{
    switch (identity.problem) {
    case Problem::EncryptionRefused:
        return u"ERROR: %1 does not offer TLS; the password was not sent."_s.arg(identity.server);
    case Problem::UntrustedCertificate:
        return u"ERROR: The certificate of %1 is not trusted: %2. SHA-256 fingerprint: %3"_s.arg(
            identity.server, identity.reason, identity.fingerprint);
    case Problem::ChangedCertificate:
        return u"ERROR: The certificate of %1 has changed! Trusted key: %2; offered key: %3 "
               u"(SHA-256 fingerprint %4)."_s.arg(identity.server, identity.knownFingerprint,
                                                  identity.publicKeyPin, identity.fingerprint);
    case Problem::UnknownHostKey:
        return u"The host key of %1 is not known: %2"_s.arg(identity.server, offeredKey(identity));
    case Problem::ChangedHostKey:
        if (!identity.reason.isEmpty())
            return u"ERROR: The host key of %1 is refused: %2. Offered key: %3"_s.arg(
                identity.server, identity.reason, offeredKey(identity));
        return u"ERROR: The host key of %1 has changed! Known key: %2; offered key: %3."_s.arg(
            identity.server, identity.knownFingerprint, offeredKey(identity));
    case Problem::None:
        break;
    }
    return QString();
}

QString question(const ServerIdentity &identity)
{
    if (identity.problem == Problem::UnknownHostKey)
        return u"The server %1 is not in %2.\n\nHost key: %3\nSHA-256 fingerprint: %4\n\n"
               u"Add this key to %2 and connect?"_s.arg(identity.server, KnownHostsFile, identity.keyType,
                                                        identity.fingerprint);
    return u"The server %1 offered a certificate that is not trusted: %2.\n\nSHA-256 fingerprint:\n%3\n\n"
           u"Trust this certificate for this server?"_s.arg(identity.server, identity.reason,
                                                            identity.fingerprint);
}

QString questionTitle(const ServerIdentity &identity)
{
    return identity.problem == Problem::UnknownHostKey ? u"Unknown Host Key"_s : u"Untrusted Certificate"_s;
}

QString warning(const ServerIdentity &identity)
{
    const QString between = u"This can mean that someone is listening between you and the server. "
                            u"Nothing was sent to it."_s;
    if (identity.problem == Problem::ChangedCertificate)
        return u"The server %1 offered another certificate than the one you trusted.\n\n"
               u"Trusted key: %2\nOffered key: %3\nSHA-256 fingerprint: %4\n\n%5\n\n"
               u"If the certificate was replaced on purpose, remove the tls_pin line from the "
               u"settings file to be asked again."_s.arg(identity.server, identity.knownFingerprint,
                                                         identity.publicKeyPin, identity.fingerprint,
                                                         between);
    const QString known = identity.reason.isEmpty() ? u"Known key: %1\n"_s.arg(identity.knownFingerprint)
                                                    : identity.reason + u".\n"_s;
    return u"The host key of %1 is not the one in %2.\n\n%3Offered key: %4\n\n%5\n\n"
           u"If the key was replaced on purpose, remove the old one with: ssh-keygen -R \"%6\""_s.arg(
               identity.server, KnownHostsFile, known, offeredKey(identity), between,
               identity.knownHostsName);
}

QString warningTitle(const ServerIdentity &identity)
{
    return identity.problem == Problem::ChangedCertificate ? u"Certificate Changed"_s : u"Host Key Changed"_s;
}

QString notKept()
{
    return u"ERROR: The host key could not be added to %1; it is trusted for this run only."_s.arg(
        KnownHostsFile);
}

} // namespace IdentityMessages
