#pragma once

#include "ConnectionOptions.h"
#include "FtpClient.h"
#include "SftpConnection.h"
#include "SshHostKeyCheck.h"
#include "TransferEngine.h"

#include <functional>
#include <memory>

// The client over SFTP, on libssh2: one SSH session serves the whole run, and comes back by
// itself (logged in again, its host key judged again) for the operation after one that lost
// it. The host key is judged against known_hosts before the password goes out.
//
// Every step runs through a TransferEngine, which cuts the socket on Cancel or, watched, a stall,
// so no wait is longer than the stall limit. Listings carry the exact sizes and times the server
// keeps.
class SftpClient : public FtpClient
{
public:
    explicit SftpClient(ConnectionOptions options = {});
    ~SftpClient() override;

    bool open() override;
    TransferOutcome connect(const QString &host, uint16_t port, const QString &user,
                            const QString &password) override;
    ServerIdentity identity() const override { return m_identity; }
    bool trust(const ServerIdentity &identity) override { return m_hostKeys.trust(identity); }
    TransferOutcome folderExists(const QString &folder) override;
    TransferOutcome makeFolder(const QString &folder) override;
    Listing listFolder(const QString &folder) override;
    TransferOutcome putFile(const QString &localPath, const QString &path, const Progress &progress) override;
    PutAsOutcome putFileAs(const QString &localPath, const QString &temporaryPath, const QString &path,
                           const QDateTime &time, const Progress &progress) override;
    TransferOutcome rename(const QString &from, const QString &to) override;
    TransferOutcome removeFile(const QString &path) override;
    void tidyRemove(const QString &path) override;
    TransferOutcome setModified(const QString &path, const QDateTime &time) override;
    void cancel() override { m_engine.cancel(); }
    void watch() override { m_engine.watch(); }
    void close() override;

private:
    using Operation = std::function<bool(SftpConnection &)>;

    // Runs the operation on the connection, logging in again first when it was lost.
    TransferOutcome perform(const Operation &operation,
                            TransferEngine::Budget budget = TransferEngine::Budget::Operation,
                            const Progress *progress = nullptr, qint64 total = 0);
    static TransferOutcome refuse();

    ConnectionOptions m_options;
    TransferEngine m_engine;
    SshHostKeyCheck m_hostKeys;
    std::unique_ptr<SftpConnection> m_connection;
    bool m_opened = false;
    // A connect has logged in: later operations may log in again with what it was given.
    bool m_loggedIn = false;
    QString m_host;
    uint16_t m_port = 0;
    QString m_user;
    QString m_password;
    ServerIdentity m_identity;
    // Why the last step failed, as the connection saw it.
    SftpConnection::Fault m_fault = SftpConnection::Fault::None;
};
