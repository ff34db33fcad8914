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
// Every step runs through a TransferEngine, which cuts the socket on Cancel or a stall, so no
// wait is longer than the stall limit. Listings carry the exact sizes and times the server
// keeps.
class SftpClient : public FtpClient
{
public:
    using Waiting = TransferEngine::Waiting;
    using Cancelled = TransferEngine::Cancelled;

    explicit SftpClient(ConnectionOptions options = {}, Waiting whileWaiting = {}, Cancelled cancelled = {});
    ~SftpClient() override;

    bool open() override;
    bool connect(const QString &host, uint16_t port, const QString &user, const QString &password) override;
    ServerIdentity identity() const override { return m_identity; }
    bool trust(const ServerIdentity &identity) override { return m_hostKeys.trust(identity); }
    bool folderExists(const QString &folder) override;
    bool makeFolder(const QString &folder) override;
    std::optional<QList<RemoteEntry>> listFolder(const QString &folder) override;
    bool putFile(const QString &localPath, const QString &path, const Progress &progress) override;
    bool putMayHaveLeftPart() const override { return m_putOpened; }
    PutAs putFileAs(const QString &localPath, const QString &temporaryPath, const QString &path,
                    const QDateTime &time, Failure &timeFailure, const Progress &progress) override;
    bool rename(const QString &from, const QString &to) override;
    bool removeFile(const QString &path) override;
    void tidyRemove(const QString &path) override;
    bool setModified(const QString &path, const QDateTime &time) override;
    Failure lastFailure() const override { return m_failure; }
    QString lastReply() const override { return m_lastReply; }
    void cancel() override { m_engine.cancel(); }
    void close() override;

private:
    using Operation = std::function<bool(SftpConnection &)>;

    // Runs the operation on the connection, logging in again first when it was lost.
    bool perform(const Operation &operation,
                 TransferEngine::Budget budget = TransferEngine::Budget::Operation,
                 const Progress *progress = nullptr, qint64 total = 0);
    bool refuse();

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
    Failure m_failure = Failure::None;
    QString m_lastReply;
    bool m_putOpened = false;
};
