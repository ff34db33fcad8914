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
    // The user's upload choices: how many connections may send files at once, whether files
    // the server already has unchanged are left out, and whether images gone from the image
    // root are offered for removal from the server.
    int connections = 1;
    bool onlyChanged = false;
    bool removeMissing = false;

    static constexpr int MaxConnections = 8;

    // Reads address, user name, password, port and root, in that order, then the security and
    // the upload choices.
    static FtpSettings read();
    // The stored connection count: a whole number from 1 to MaxConnections, anything else 1.
    static int connectionsFromStored(const QString &text);
    // A stored choice is "1" or "0"; anything but "1" reads as not chosen.
    static bool choiceFromStored(const QString &text);
    static QString storedChoice(bool chosen);
    // Keeps the user's choice of a certificate to trust for a server.
    static void storeTlsPin(const QString &pin);
    // True when every field has a value.
    bool complete() const;
};
