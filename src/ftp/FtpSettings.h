#pragma once

#include "TransferSecurity.h"

#include <QString>

// The server an upload goes to, as the settings dialog stored it.
struct FtpSettings
{
    QString address;
    QString username;
    // In clear: unscrambled when read.
    QString password;
    QString port;
    QString root;
    TransferSecurity security = TransferSecurity::Ftp;
    // The certificate key the user trusts for one server, "host:port sha256//…".
    QString tlsPin;

    // Reads address, user name, password, port and root, in that order, then the security.
    static FtpSettings read();
    // Keeps the user's choice of a certificate to trust for a server.
    static void storeTlsPin(const QString &pin);
    // True when every field has a value.
    bool complete() const;
};
