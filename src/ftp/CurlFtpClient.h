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
    explicit CurlFtpClient(ConnectionOptions options = {});
    ~CurlFtpClient() override;

    bool open() override;
    TransferOutcome connect(const QString &host, uint16_t port, const QString &user,
                            const QString &password) override;
    ServerIdentity identity() const override { return m_identity; }
    bool trust(const ServerIdentity &identity) override;
    TransferOutcome folderExists(const QString &folder) override;
    TransferOutcome makeFolder(const QString &folder) override;
    Listing listFolder(const QString &folder) override;
    TransferOutcome putFile(const QString &localPath, const QString &path, const Progress &progress) override;
    // FTP has no way to send the rename before the store is answered.
    PutAsOutcome putFileAs(const QString &, const QString &, const QString &, const QDateTime &,
                           const Progress &) override
    {
        return {};
    }
    TransferOutcome rename(const QString &from, const QString &to) override;
    TransferOutcome removeFile(const QString &path) override;
    void tidyRemove(const QString &path) override;
    TransferOutcome setModified(const QString &path, const QDateTime &time) override;
    void cancel() override { m_engine.cancel(); }
    void watch() override { m_engine.watch(); }
    void close() override;

private:
    struct Replies;

    QByteArray folderUrl(const QStringList &pieces) const;
    void findLoginFolder();
    void checkIdentity(int code);
    TransferOutcome listing(const QString &folder, const char *command, QByteArray &listing);
    Listing withSizesAndTimes(const QString &folder, const QList<QString> &names);
    TransferOutcome commands(const QString &folder, const QList<QByteArray> &list,
                             TransferEngine::Budget budget = TransferEngine::Budget::Operation);
    TransferOutcome perform(TransferEngine::Budget budget = TransferEngine::Budget::Operation,
                            const Progress *progress = nullptr, qint64 total = 0);
    // Ends the connection; the next operation logs in anew.
    void dropConnection();
    static TransferOutcome refuse();

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
    // libcurl's code for the last step.
    int m_lastCode = 0;
};
