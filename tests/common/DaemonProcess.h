#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>

// What the real FTP daemons the tests start have in common: a temporary folder for the
// configuration and everything the daemon writes, 127.0.0.1 and a free port, a greeting that
// names this start, and an end when this object goes or the test process ends, however it ends.
// The daemons serve one throw-away account as the user "nobody", who owns its home; they must be
// started as root.
class DaemonProcess
{
public:
    struct Command
    {
        // For messages: "proftpd".
        QString name;
        QString program;
        QStringList arguments;
        // The signal that ends the daemon and its sessions: "TERM", or "KILL" for a daemon that
        // ends them by dying.
        QString stopSignal = QStringLiteral("TERM");
        // "NAME=value" each, added to the test's own environment.
        QStringList environment = {};
        // Files in the folder the daemon logs to, for the reason it did not start.
        QStringList logFiles = {};
    };
    // Writes the daemon's configuration for this port; the reason when it could not, else "".
    using Configure = std::function<QString(quint16 port)>;

    DaemonProcess();
    ~DaemonProcess();

    // The daemon's executable: on PATH, else where an administrator's programs are when PATH
    // leaves them out; empty when it is not installed.
    static QString findProgram(const QString &name);

    // Starts the command with a configuration for a port that was free a moment ago, and tries
    // others while the daemon does not come up; false (with the reason in errorText) when it
    // never did.
    bool start(const Configure &configure, const Command &command);
    void stop();
    // Keeps the reason the daemon cannot be started for errorText; false.
    bool fail(const QString &reason);

    quint16 port() const { return m_port; }
    QString errorText() const { return m_error; }
    // The temporary folder, and its file of this name.
    QString path() const { return m_dir.path(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }
    // The account's home.
    QString home() const { return filePath(QStringLiteral("home")); }
    // What the greeting must begin with after "220 ": a server that took the port first is not it.
    QString ident() const { return m_ident; }
    // The text of the named files in the folder that exist, each under its name.
    QString readFiles(const QStringList &names) const;

    struct Account
    {
        uint uid = 0, gid = 0;
        QByteArray groupName;
        // The crypt(3) hash of the password.
        QByteArray passwordHash;
    };
    // Makes the home, owned by "nobody", with the folders above it passable only, and hashes the
    // password; false (with the reason in errorText) when it could not.
    bool makeAccount(const QString &password, Account *account);
    // Writes a file only its owner may read; false (with the reason in errorText) when it could not.
    bool writeFile(const QString &name, const QByteArray &contents);

private:
    bool waitUntilServing();

    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_error;
    QString m_ident;
    quint16 m_port = 0;
};
