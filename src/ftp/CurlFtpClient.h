#pragma once

#include "ConnectionOptions.h"
#include "FtpClient.h"
#include "TlsIdentityCheck.h"
#include "TransferEngine.h"

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <cstdio>
#include <memory>
#include <optional>

typedef void CURL;
typedef void CURLM;

// The client over one libcurl easy handle, whose connection serves the whole run: plain FTP, or
// FTP over TLS (required on both channels). Paths become URLs of escaped pieces below the login
// folder; libcurl enters a file's folder before working on it and remembers where it is. The
// folders are named from the server's root where the login folder reads as such a path, so that
// a change of folder costs one CWD.
//
// An FTPS server's certificate is checked through a TlsIdentityCheck before the password goes
// out. A connect that fails on it tells what it saw through identity().
//
// Each step runs through a TransferEngine, as libcurl waits for some replies (the end of a
// put, commands sent after a transfer) inside one blocking call.
class CurlFtpClient : public FtpClient
{
public:
    using Waiting = TransferEngine::Waiting;
    using Cancelled = TransferEngine::Cancelled;

    explicit CurlFtpClient(ConnectionOptions options = {}, Waiting whileWaiting = {},
                           Cancelled cancelled = {});
    ~CurlFtpClient() override;

    bool open() override;
    bool connect(const QString &host, uint16_t port, const QString &user, const QString &password) override;
    ServerIdentity identity() const override { return m_identity; }
    bool trust(const ServerIdentity &identity) override;
    bool folderExists(const QString &folder) override;
    bool makeFolder(const QString &folder) override;
    std::optional<QList<RemoteEntry>> listFolder(const QString &folder) override;
    bool putFile(const QString &localPath, const QString &path, const Progress &progress) override;
    bool putMayHaveLeftPart() const override { return m_storeBegun; }
    bool rename(const QString &from, const QString &to) override;
    bool removeFile(const QString &path) override;
    void tidyRemove(const QString &path) override;
    bool setModified(const QString &path, const QDateTime &time) override;
    Failure lastFailure() const override { return m_failure; }
    QString lastReply() const override { return m_lastReply; }
    void cancel() override { m_engine.cancel(); }
    void close() override;

private:
    struct Replies;

    QByteArray folderUrl(const QStringList &pieces) const;
    void findLoginFolder();
    void checkIdentity(int code);
    std::optional<QByteArray> listing(const QString &folder, const char *command);
    std::optional<QList<RemoteEntry>> withSizesAndTimes(const QString &folder, const QList<QString> &names);
    bool commands(const QString &folder, const QList<QByteArray> &list,
                  TransferEngine::Budget budget = TransferEngine::Budget::Operation);
    bool perform(TransferEngine::Budget budget = TransferEngine::Budget::Operation,
                 const Progress *progress = nullptr, qint64 total = 0);
    // Ends the connection; the next operation logs in anew.
    void dropConnection();
    bool refuse();

    ConnectionOptions m_options;
    TransferEngine m_engine;
    std::unique_ptr<Replies> m_replies;
    CURL *m_curl = nullptr;
    CURLM *m_multi = nullptr;
    QByteArray m_base;
    QString m_server;
    TlsIdentityCheck m_tls;
    // TLS 1.3 is allowed only for a server that speaks nothing older.
    bool m_tlsCapped = true;
    ServerIdentity m_identity;
    bool m_connected = false;
    // The login folder's pieces from the server's root, when its PWD reply names a folder the
    // server enters.
    std::optional<QStringList> m_root;
    // What this server lacks, learnt on this connection.
    bool m_mlsdMissing = false;
    bool m_sizeMissing = false;
    bool m_mdtmMissing = false;
    // The commands that set a file's time, in the order they are tried.
    enum class TimeCommand
    {
        Mfmt,
        MdtmWithTime,
        SiteUtime,
        None,
    };
    TimeCommand m_timeCommand = TimeCommand::Mfmt;
    // The server's answer to the last of them it did not take.
    QString m_timeRefusal;
    Failure m_failure = Failure::None;
    // libcurl's code for the last step.
    int m_lastCode = 0;
    QString m_lastReply;
    bool m_storeBegun = false;
};
