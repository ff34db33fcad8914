#pragma once

#include "ServerIdentity.h"

#include <QString>
#include <cstdint>
#include <functional>

// The six FTP operations the upload relies on, over one connection. Every operation blocks
// until the server has answered; a failure shows only as false. Folder changes, folder
// creation and puts are relative to the working folder, which starts at the login folder.
class FtpClient
{
public:
    // Bytes sent so far of the file in hand, and its size.
    using Progress = std::function<void(qint64 sent, qint64 total)>;

    virtual ~FtpClient() = default;

    // Prepares Internet access.
    virtual bool open() = 0;
    // Connects and logs in, in passive mode; port 0 means the protocol's own.
    virtual bool connect(const QString &host, uint16_t port, const QString &user,
                         const QString &password) = 0;
    // What the last connect found wrong with the server's identity, when it failed on that.
    virtual ServerIdentity identity() const = 0;
    // Trusts what the last connect was shown, for the connects that follow; false when it
    // could not be kept for later runs as well.
    virtual bool trust(const ServerIdentity &identity) = 0;
    // Enters one folder, or the parent for "..", when the server accepts it.
    virtual bool changeFolder(const QString &name) = 0;
    // Makes one folder in the working folder; the working folder stays.
    virtual bool makeFolder(const QString &name) = 0;
    // Stores a whole local file in binary, replacing a remote file of the same name.
    virtual bool putFile(const QString &localPath, const QString &remoteName, const Progress &progress) = 0;
    // Ends the connection and Internet access, as far as they were opened.
    virtual void close() = 0;
};
