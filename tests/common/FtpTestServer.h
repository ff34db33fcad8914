#pragma once

#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A real FTP server (pyftpdlib) on 127.0.0.1 with a temporary home per user, started by the
// test that needs it and stopped when this object goes.
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

    // Behaviour of a difficult server, set before start().
    struct Options
    {
        // Commands whose argument ends in this name are never answered.
        QString stallName = {};
        // A command whose argument ends in this name closes the connection.
        QString dropName = {};
        // STOR, RNTO and DELE of a name starting with this are refused.
        QString refusedPrefix = {};
        // Seconds held back before MKD's reply and an upload's closing reply.
        double replyDelay = 0;
        // Upload bytes read a second; 0 for no limit.
        int throttle = 0;
        // RNTO onto an existing file is refused.
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
    // Ends the server at once, as a crash would.
    void kill();

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    Options m_options;
    QString m_error;
    quint16 m_port = 0;
};
