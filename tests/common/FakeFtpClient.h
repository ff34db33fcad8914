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
    TransferOutcome connect(const QString &host, uint16_t port, const QString &user,
                            const QString &password) override;
    ServerIdentity identity() const override { return {}; }
    bool trust(const ServerIdentity &) override { return false; }
    TransferOutcome folderExists(const QString &folder) override;
    TransferOutcome makeFolder(const QString &folder) override;
    Listing listFolder(const QString &folder) override;
    TransferOutcome putFile(const QString &localPath, const QString &path, const Progress &progress) override;
    // Puts and renames one after the other, as an FTP server takes them.
    PutAsOutcome putFileAs(const QString &, const QString &, const QString &, const QDateTime &,
                           const Progress &) override
    {
        return {};
    }
    TransferOutcome rename(const QString &from, const QString &to) override;
    TransferOutcome removeFile(const QString &path) override;
    void tidyRemove(const QString &path) override;
    TransferOutcome setModified(const QString &path, const QDateTime &time) override;
    void cancel() override;
    // Nothing of the fake waits on a clock: its stalls are scripted.
    void watch() override {}
    void close() override;

private:
    // Logs in again after a dropped connection; the failure when it cannot.
    TransferOutcome begin(const QString &operation, const QString &path);
    bool logIn();
    void loseConnection();

    FakeFtpServer &m_server;
    bool m_loggedIn = false;
    int m_generation = 0;
    std::atomic<bool> m_cancelled{false};
};
