#include "TransferSecurity.h"

using namespace Qt::Literals::StringLiterals;

namespace TransferSecurityText {

QStringList captions()
{
    return {u"None (FTP)"_s, u"TLS (FTPS)"_s, u"SSH (SFTP)"_s};
}

QString caption(TransferSecurity security)
{
    return captions().at(static_cast<int>(security));
}

QString stored(TransferSecurity security)
{
    switch (security) {
    case TransferSecurity::Ftps:
        return u"ftps"_s;
    case TransferSecurity::Sftp:
        return u"sftp"_s;
    case TransferSecurity::Ftp:
        break;
    }
    return u"ftp"_s;
}

TransferSecurity fromStored(const QString &text)
{
    if (text == u"ftps"_s)
        return TransferSecurity::Ftps;
    if (text == u"sftp"_s)
        return TransferSecurity::Sftp;
    return TransferSecurity::Ftp;
}

uint16_t defaultPort(TransferSecurity security)
{
    return security == TransferSecurity::Sftp ? 22 : 21;
}

} // namespace TransferSecurityText
