#pragma once

#include "DaemonProcess.h"

#include <QString>

// A real FTPS daemon, Debian's proftpd with its mod_tls, on 127.0.0.1 and a free port: what an
// FTPS client meets on a server with stock TLS settings, where every data connection must reuse
// the control connection's TLS session ("client did not reuse TLS session, rejecting data
// connection" in its TLS log). Explicit TLS ("AUTH TLS") is required on the control and the data
// connections. It runs in the foreground with a configuration of its own; everything it writes
// is in a temporary folder, and it stops when this object goes (or the test process ends).
//
// One throw-away account, from a passwd file of the server's own, is confined to its home. The
// daemon must be started as root: it confines the account with chroot, then serves it as the
// unprivileged user "nobody", who owns the home. Files a test puts into the home itself belong
// to root; the account can read, rename and remove them but not write into them.
class DaemonFtpsServer
{
public:
    struct Options
    {
        // PEM files of the server's certificate and its EC key (as TestCredentials makes them).
        QString certificate;
        QString key;
        // Whether a STOR or RNTO may replace an existing file. proftpd's own default refuses,
        // Debian's packaged configuration allows it.
        bool allowOverwrite = true;
    };

    DaemonFtpsServer();
    ~DaemonFtpsServer();

    // Empty when proftpd and its TLS module are installed, else what is missing: a test skips
    // with it.
    static QString missing();

    // Starts the daemon; false (with the reason in errorText) when it did not come up.
    bool start(const Options &options);
    void stop();

    quint16 port() const { return m_daemon.port(); }
    QString userName() const { return QStringLiteral("pexa"); }
    QString password() const { return QStringLiteral("daemon-pass"); }
    // The account's home on the local disk: "/" on the server.
    QString home() const { return m_daemon.home(); }
    QString errorText() const { return m_daemon.errorText(); }
    // What the daemon wrote to its system log and its TLS log so far, for a failure message.
    QString logs() const;

private:
    QString writeConfiguration(const Options &options, quint16 port);

    DaemonProcess m_daemon;
};
