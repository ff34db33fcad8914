#pragma once

#include "TransferSecurity.h"

#include <QString>

// What a client needs to know, besides the login, to reach a server and judge its identity.
struct ConnectionOptions
{
    TransferSecurity security = TransferSecurity::Ftp;
    // Giving up on a server that cannot be reached or does not greet.
    long connectSeconds = 30;
    // Failing an operation on a connection that has made no progress, whatever it waits for.
    long stallSeconds = 60;
    // "host:port sha256//…": the one certificate key the user trusts for that server.
    QString tlsPin = {};
    // Certificate authorities to trust instead of the system's.
    QString certificateAuthorities = {};
    // Empty for ~/.ssh/known_hosts.
    QString knownHostsPath = {};
};
