#pragma once

#include "FtpClient.h"
#include "TlsCertificateWatch.h"
#include "TransferSecurity.h"

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <cstdio>
#include <functional>
#include <memory>

typedef void CURL;
typedef void CURLM;

// The FTP client over one libcurl easy handle, whose connection serves the whole run: plain
// FTP, FTP over TLS (required on both channels), or SFTP. libcurl addresses folders by URL, so
// the client keeps the working folder as a list of pieces below the login folder and turns
// each operation into a URL of escaped pieces.
//
// A server's identity is checked before the password goes out: a certificate against the
// system's trust store and the host name, or a public-key pin the user chose; a host key
// against known_hosts. A connect that fails on it tells what it saw through identity().
//
// Each operation runs on a thread of its own, as libcurl waits for some replies (the end of a
// put, commands sent after a transfer) inside one blocking call. The calling thread waits for
// it and calls back meanwhile, so that a window keeps itself alive; on Cancel or a stall it cuts
// the connection's sockets, which ends any wait of libcurl's at once.
class CurlFtpClient : public FtpClient
{
public:
    struct Timeouts
    {
        // Giving up on a server that cannot be reached or does not greet.
        long connectSeconds = 30;
        // Failing an operation on a connection that has made no progress, whatever it waits for.
        long stallSeconds = 60;
    };

    struct Options
    {
        TransferSecurity security = TransferSecurity::Ftp;
        // "host:port sha256//…": the one certificate key the user trusts for that server.
        QString tlsPin = {};
        // Certificate authorities to trust instead of the system's.
        QString certificateAuthorities = {};
        // Empty for ~/.ssh/known_hosts.
        QString knownHostsPath = {};
    };

    // Called again and again, every 10 ms, while an operation waits.
    using Waiting = std::function<void()>;
    // Asked while an operation waits; true fails the operation in hand at once.
    using Cancelled = std::function<bool()>;

    CurlFtpClient();
    explicit CurlFtpClient(Timeouts timeouts, Waiting whileWaiting = {}, Cancelled cancelled = {});
    CurlFtpClient(Timeouts timeouts, Waiting whileWaiting, Cancelled cancelled, Options options);
    ~CurlFtpClient() override;

    bool open() override;
    bool connect(const QString &host, uint16_t port, const QString &user, const QString &password) override;
    ServerIdentity identity() const override { return m_identity; }
    bool trust(const ServerIdentity &identity) override;
    bool changeFolder(const QString &name) override;
    bool makeFolder(const QString &name) override;
    // The file goes under a temporary name in the working folder and is renamed over the
    // target once whole, so that an interrupted put never leaves a part of it there.
    bool putFile(const QString &localPath, const QString &remoteName, const Progress &progress) override;
    void close() override;

private:
    struct Shared;
    struct HostKeyCheck;
    struct RemoteFile
    {
        QStringList pieces;
        QString name;
    };
    enum class Budget
    {
        // Until done, a stall or Cancel.
        Operation,
        // Tidying up, even after Cancel, for a moment only.
        Tidying,
    };

    QByteArray folderUrl(const QStringList &pieces) const;
    QByteArray sftpPath(const QStringList &pieces, const QString &name) const;
    void checkIdentity(int code);
    bool checkFolder(const QStringList &pieces);
    int sendCommands(const QStringList &pieces, const QList<QByteArray> &commands, Budget budget);
    int store(std::FILE *file, const QString &name, qint64 size, const QList<QByteArray> &after,
              const Progress &progress);
    void removeRemote(const RemoteFile &file, Budget budget);
    void removeLeftovers();
    int perform(Budget budget = Budget::Operation, const Progress *progress = nullptr, qint64 total = 0);
    void runAside(const std::function<void()> &work, Budget budget, long limitMs, const Progress *progress,
                  qint64 total);

    Timeouts m_timeouts;
    Options m_options;
    bool m_sftp = false;
    Waiting m_whileWaiting;
    Cancelled m_cancelled;
    std::unique_ptr<Shared> m_shared;
    CURL *m_curl = nullptr;
    CURLM *m_multi = nullptr;
    QByteArray m_base;
    QString m_server;
    TlsCertificateWatch m_certificate;
    std::unique_ptr<HostKeyCheck> m_hostKey;
    ServerIdentity m_identity;
    QStringList m_pieces;
    bool m_connected = false;
    // The server would not rename: files then go straight under their names.
    bool m_renameRefused = false;
    int m_temporaryCount = 0;
    // Temporary files of failed puts that the server could not be asked to remove yet.
    QList<RemoteFile> m_leftovers;
};
