#pragma once

#include "RemoteEntry.h"
#include "ServerIdentity.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

// The operations an upload needs of one connection to a server. Remote paths are "/"-separated
// pieces below the login folder ("www/photos/2008/a.jpg"; "" is the login folder itself), never
// with "." or ".." pieces; there is no working folder. Every operation blocks its calling thread
// until the server has answered. A failed operation tells why through lastFailure(), with the
// server's last reply line in lastReply().
class FtpClient
{
public:
    // Bytes of the file in hand sent so far, and its size. Called on the calling thread.
    using Progress = std::function<void(qint64 sent, qint64 total)>;

    enum class Failure
    {
        None,
        // The server answered no (a reply, a status), or a name cannot be sent safely.
        Refused,
        // The connection broke in the middle of the operation.
        ConnectionLost,
        // The connection could not be made: nothing listens, no greeting, the login was refused
        // (as by a server with a limit on connections), when connecting or reconnecting.
        Unreachable,
        // Nothing moved for the stall limit.
        Stalled,
        // cancel() ended it.
        Cancelled,
        // The local file could not be read.
        LocalFile,
    };

    // How far putFileAs() came.
    enum class PutAs
    {
        // This client does not put so: nothing was sent.
        NotOffered,
        // Not whole under the temporary path, and nothing was renamed; putMayHaveLeftPart() tells
        // whether a part may be there.
        NotStored,
        // Whole under the temporary path, and still there.
        NotRenamed,
        // Renamed over the path, but the server did not confirm it had stored the file whole: what
        // the path holds is in doubt.
        RenamedInDoubt,
        Renamed,
    };

    virtual ~FtpClient() = default;

    // Prepares a connection; false when the transfer library cannot serve.
    virtual bool open() = 0;
    // Connects and logs in; port 0 means the protocol's own.
    virtual bool connect(const QString &host, uint16_t port, const QString &user,
                         const QString &password) = 0;
    // What the last connect found wrong with the server's identity, when it failed on that.
    virtual ServerIdentity identity() const = 0;
    // Trusts what a connect was shown, for the connects that follow (of this client, and of
    // others for the same server when it could be kept); false when it could not be kept for
    // later runs.
    virtual bool trust(const ServerIdentity &identity) = 0;

    // Whether the folder is there and may be entered.
    virtual bool folderExists(const QString &folder) = 0;
    // Makes one folder, whose parent is there.
    virtual bool makeFolder(const QString &folder) = 0;
    // The entries of a folder; nothing when it cannot be listed.
    virtual std::optional<QList<RemoteEntry>> listFolder(const QString &folder) = 0;
    // Stores a whole local file in binary, replacing a file of that path. The bytes go
    // straight to the path: writing under another name first is a layer above.
    virtual bool putFile(const QString &localPath, const QString &path, const Progress &progress) = 0;
    // After a failed put: whether the server may hold a part of the file (the store had begun).
    virtual bool putMayHaveLeftPart() const = 0;
    // Stores a whole local file under temporaryPath and, once the server has taken every byte,
    // gives it the time (when valid) and renames it over path, sending these without waiting for
    // one answer before the next: a client whose protocol allows that offers it, to save waits.
    // lastFailure() tells why it stopped short of Renamed; timeFailure why the time was not set.
    virtual PutAs putFileAs(const QString & /*localPath*/, const QString & /*temporaryPath*/,
                            const QString & /*path*/, const QDateTime & /*time*/, Failure & /*timeFailure*/,
                            const Progress & /*progress*/)
    {
        return PutAs::NotOffered;
    }
    // Renames a file; a server may refuse to rename onto an existing file.
    virtual bool rename(const QString &from, const QString &to) = 0;
    virtual bool removeFile(const QString &path) = 0;
    // Removes a file even after cancel(), giving the server only a moment: for tidying up.
    virtual void tidyRemove(const QString &path) = 0;
    // Sets a file's modification time, to the second.
    virtual bool setModified(const QString &path, const QDateTime &time) = 0;

    // Why the last operation failed; None after one that succeeded.
    virtual Failure lastFailure() const = 0;
    // The server's last reply line (or status text) of the last operation, for logs and tests.
    virtual QString lastReply() const = 0;

    // From any thread: ends the operation in hand at once, and fails every later one but
    // tidying up and close.
    virtual void cancel() = 0;
    // Ends the connection, as far as it was made.
    virtual void close() = 0;
};
