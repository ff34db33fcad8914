#pragma once

#include "FakeFtpServer.h"
#include "FtpClient.h"

#include <atomic>

// A connection to a FakeFtpServer, with the failures a real one gives: a dropped connection
// is made again by the next operation; a refused login makes that Unreachable.
class FakeFtpClient : public FtpClient
{
public:
    explicit FakeFtpClient(FakeFtpServer &server) : m_server(server) {}
    ~FakeFtpClient() override;

    bool open() override { return true; }
    bool connect(const QString &host, uint16_t port, const QString &user, const QString &password) override;
    ServerIdentity identity() const override { return {}; }
    bool trust(const ServerIdentity &) override { return false; }
    bool folderExists(const QString &folder) override;
    bool makeFolder(const QString &folder) override;
    std::optional<QList<RemoteEntry>> listFolder(const QString &folder) override;
    bool putFile(const QString &localPath, const QString &path, const Progress &progress) override;
    bool putMayHaveLeftPart() const override { return m_partLeft; }
    bool rename(const QString &from, const QString &to) override;
    bool removeFile(const QString &path) override;
    void tidyRemove(const QString &path) override;
    bool setModified(const QString &path, const QDateTime &time) override;
    Failure lastFailure() const override { return m_failure; }
    QString lastReply() const override { return QString(); }
    void cancel() override;
    void close() override;

private:
    // Logs in again after a dropped connection; false (with the failure) when it cannot.
    bool begin(const QString &operation, const QString &path);
    bool fail(Failure failure);
    bool logIn();
    void loseConnection();
    bool succeed();

    FakeFtpServer &m_server;
    bool m_loggedIn = false;
    int m_generation = 0;
    bool m_partLeft = false;
    std::atomic<bool> m_cancelled{false};
    Failure m_failure = Failure::None;
};
