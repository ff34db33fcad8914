#pragma once

#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A real FTP, FTPS (pyftpdlib) or SFTP (paramiko) server on 127.0.0.1 with a temporary home per
// user, started by the test that needs it and stopped when this object goes.
class FtpTestServer
{
public:
    struct User
    {
        QString name;
        QString password;
        // pyftpdlib's permission letters; the default may do everything.
        QString permissions = QStringLiteral("elradfmwMT");
    };

    FtpTestServer();
    ~FtpTestServer();

    // FTPS requires TLS on the control and data connections ("AUTH TLS").
    enum class Protocol
    {
        Ftp,
        Ftps,
        Sftp
    };

    // Behaviour of a difficult server, set before start().
    struct Options
    {
        Protocol protocol = Protocol::Ftp;
        // PEM files of the server's certificate and key, for Ftps.
        QString tlsCertificate = {}, tlsKey = {};
        // The server's OpenSSH private key file, for Sftp, and a second one of another type.
        QString hostKey = {}, secondHostKey = {};
        // Sftp: the login methods offered is keyboard-interactive alone.
        bool keyboardInteractiveOnly = false;
        // Commands (SFTP: requests) whose argument (path) ends in this name are never answered.
        QString stallName = {};
        // A command or request whose argument or path ends in this name closes the connection.
        QString dropName = {};
        // Uploads, renames onto and removals of a name starting with this are refused.
        QString refusedPrefix = {};
        // Seconds held back before the reply to a folder's creation and an upload's closing one.
        double replyDelay = 0;
        // Upload bytes read a second; 0 for no limit.
        int throttle = 0;
        // RNTO onto an existing file is refused. The SFTP server always refuses a rename onto
        // an existing file, as OpenSSH's does.
        bool noRenameOver = false;
    };

    void setStallName(const QString &name) { m_options.stallName = name; }
    void setOptions(const Options &options) { m_options = options; }
    // Starts the server with these users; false (with the reason in errorText) when it did not.
    bool start(const QList<User> &users);
    quint16 port() const { return m_port; }
    // The login folder of a user on the local disk.
    QString home(const QString &user) const;
    QString errorText() const { return m_error; }
    // Successful logins since start.
    int logins() const;
    // Passwords the server was sent since start, whether it took them or not, as a password or
    // as the answer to keyboard-interactive.
    int passwordsReceived() const;
    // Ends the server at once, as a crash would.
    void kill();

private:
    int logLines(const QByteArray &start) const;

    QTemporaryDir m_dir;
    QProcess m_process;
    Options m_options;
    QString m_error;
    quint16 m_port = 0;
};
