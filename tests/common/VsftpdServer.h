#pragma once

#include "DaemonProcess.h"

#include <QString>

// A real vsftpd, plain FTP on 127.0.0.1 and a free port: the daemon Debian ships, which answers
// MDTM in its local time when use_localtime is on (as Debian's configuration has it), sets a
// file's time with "MDTM <YYYYMMDDHHMMSS> <file>" and knows neither MLSD, MLST nor MFMT. It runs
// in the foreground with a configuration of its own; everything it writes is in a temporary
// folder, and it stops, with all its sessions, when this object goes (or the test process ends).
//
// One throw-away local account, with its password checked through PAM, is confined to its home
// and served as the user "nobody", who owns the home. The account, its password and the PAM
// service exist only for the daemon: it runs in a mount namespace of its own where they take the
// place of the system's, so it must be started as root. Files a test puts into the home itself
// belong to root; the account can read, rename and remove them but neither write into them nor
// set their times unless the test gives them to the home's owner.
class VsftpdServer
{
public:
    struct Options
    {
        // TZ in the daemon's environment, "UTC-10" or "Etc/GMT-10" for 10 hours ahead of UTC;
        // empty for the test's own.
        QString timeZone = {};
        // use_localtime: MDTM and listings give times in the daemon's time zone rather than UTC,
        // and a time MDTM sets is read in it. vsftpd's default is off; Debian ships it on.
        bool useLocalTime = true;
        // mdtm_write: "MDTM <YYYYMMDDHHMMSS> <file>" sets the file's modification time. When
        // off, the command is taken as MDTM of a file of that whole name.
        bool mdtmWrite = true;
    };

    // Empty when vsftpd and unshare are installed, else what is missing: a test skips with it.
    static QString missing();

    // Starts the daemon; false (with the reason in errorText) when it did not come up.
    bool start(const Options &options);
    void stop() { m_daemon.stop(); }

    quint16 port() const { return m_daemon.port(); }
    QString userName() const { return QStringLiteral("pexa"); }
    QString password() const { return QStringLiteral("vsftpd-pass"); }
    // The account's home on the local disk: "/" on the server.
    QString home() const { return m_daemon.home(); }
    QString errorText() const { return m_daemon.errorText(); }
    // What the daemon logged so far (every command and reply), for a failure message.
    QString logs() const;

private:
    QString writeConfiguration(const Options &options, quint16 port);

    DaemonProcess m_daemon;
};
