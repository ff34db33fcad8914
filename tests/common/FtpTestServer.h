#pragma once

#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
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
        // The port to listen on; 0 for a free one. A port a killed server had can be taken again
        // at once (the scripts bind with SO_REUSEADDR).
        quint16 port = 0;
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
        // SFTP: every write but the first to a file whose name starts with this is refused.
        QString refusedWritesPrefix = {};
        // SFTP: the closing of a file written whose name starts with this fails; its bytes stay.
        QString refusedClosePrefix = {};
        // Seconds held back before the reply to a folder's creation and an upload's closing one.
        double replyDelay = 0;
        // Upload bytes read a second; 0 for no limit.
        int throttle = 0;
        // RNTO onto an existing file is refused. The SFTP server always refuses a rename onto
        // an existing file, as OpenSSH's does.
        bool noRenameOver = false;
        // Every reply (SFTP: everything the server sends) is held this long on its connection,
        // a stand-in for a link's round trip; other connections are not held by it. SFTP
        // responses to requests in flight together are each held from their own request.
        int latencyMs = 0;
        // Every command (SFTP: request) is logged as it arrives; see commands().
        bool logCommands = false;
        // FTP: MLSD and MLST are not understood (500), as on old servers; SIZE and MDTM work.
        bool noMlsd = false;
        // Listings give names only: MLSD and MLST only the type fact, SIZE and MDTM not
        // understood (500); SFTP attributes carry no size and no times.
        bool bareListing = false;
        // At most this many sessions logged in at once (0: no limit); the login after them is
        // refused as refuseLoginWith says: "421" (FTP: a 421 reply, then the connection closes),
        // "530" (a refused password; the connection stays) or "close" (closed without a reply).
        // SFTP: "530" refuses the password, "421" and "close" close the connection.
        int maxLogins = 0;
        QString refuseLoginWith = QStringLiteral("530");
        // FTP: EPSV and PASV are answered but the data connection is never served: the client's
        // connect succeeds, nothing is read and no transfer ends, while the control connection
        // goes on answering. SFTP: a request to open a file for writing is never answered, and
        // the session goes silent there.
        bool silentData = false;
        // FTP: a data connection that closes before a transfer on it began is answered on the
        // control connection ("426 Data connection closed."), as pyftpdlib answers one closed
        // during its TLS handshake (with a 226) after it refused the transfer.
        bool answerClosedData = false;
    };

    void setStallName(const QString &name) { m_options.stallName = name; }
    void setOptions(const Options &options) { m_options = options; }
    // Starts the server with these users; false (with the reason in errorText) when it did not.
    bool start(const QList<User> &users);
    // After kill(): starts the server again on the port it had, with the same options, users and
    // homes (what was in them stays). The logs go on from where they were; commands() numbers the
    // new server's connections from 1 again.
    bool restart();
    quint16 port() const { return m_port; }
    // The login folder of a user on the local disk.
    QString home(const QString &user) const;
    QString errorText() const { return m_error; }
    // Successful logins since start.
    int logins() const;
    // Passwords the server was sent since start, whether it took them or not, as a password or
    // as the answer to keyboard-interactive.
    int passwordsReceived() const;
    // With logCommands, what the server received so far, a line per command as it arrived:
    // "<connection> <VERB> <argument>" for FTP ("2 STOR /a/b.jpg", "2 PASS ****"), and
    // "<connection> <request> <path>" for SFTP ("3 open /a/b.jpg", "3 write", "3 close").
    // Connections are numbered from 1 in the order the server accepted them.
    QStringList commands() const;
    // Ends the server at once, as a crash would.
    void kill();

private:
    int logLines(const QByteArray &start) const;

    QTemporaryDir m_dir;
    QProcess m_process;
    Options m_options;
    QList<User> m_users;
    QString m_error;
    quint16 m_port = 0;
};
