#pragma once

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

    // Reads address, user name, password, port and root, in that order.
    static FtpSettings read();
    // True when every field has a value.
    bool complete() const;
};
