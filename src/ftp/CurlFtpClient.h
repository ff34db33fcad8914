#pragma once

#include "FtpClient.h"

#include <QByteArray>
#include <QStringList>
#include <functional>

typedef void CURL;
typedef void CURLM;

// The FTP client over one libcurl easy handle, whose connection serves the whole run. libcurl
// addresses folders by URL, so the client keeps the working folder as a list of pieces below
// the login folder and turns each operation into a URL of escaped pieces. Operations run on
// the calling thread; while one waits for the network the client calls back, so that a window
// can keep itself alive.
class CurlFtpClient : public FtpClient
{
public:
    struct Timeouts
    {
        // Giving up on a server that cannot be reached or does not greet.
        long connectSeconds = 30;
        // Failing an operation on a connection that has made no progress.
        long stallSeconds = 60;
    };

    // Called again and again, about every millisecond, while an operation waits.
    using Waiting = std::function<void()>;

    CurlFtpClient();
    explicit CurlFtpClient(Timeouts timeouts, Waiting whileWaiting = {});
    ~CurlFtpClient() override;

    bool open() override;
    bool connect(const QString &host, uint16_t port, const QString &user, const QString &password) override;
    bool changeFolder(const QString &name) override;
    bool makeFolder(const QString &name) override;
    bool putFile(const QString &localPath, const QString &remoteName, const Progress &progress) override;
    void close() override;

private:
    QByteArray folderUrl(const QStringList &pieces) const;
    bool checkFolder(const QStringList &pieces);
    bool perform();

    Timeouts m_timeouts;
    Waiting m_whileWaiting;
    CURL *m_curl = nullptr;
    CURLM *m_multi = nullptr;
    QByteArray m_base;
    QStringList m_pieces;
    bool m_connected = false;
};
