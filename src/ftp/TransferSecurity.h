#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

// How the upload reaches the server: plain FTP, FTP over TLS, or SFTP.
enum class TransferSecurity
{
    Ftp,
    Ftps,
    Sftp,
};

namespace TransferSecurityText {

// The settings dialog's choices, in the order of TransferSecurity.
QStringList captions();
QString caption(TransferSecurity security);
// As the settings file keeps it; an empty, missing or unknown text means plain FTP.
QString stored(TransferSecurity security);
TransferSecurity fromStored(const QString &text);
// The port a server of this kind listens on unless told otherwise.
uint16_t defaultPort(TransferSecurity security);

} // namespace TransferSecurityText
