#pragma once

#include "RemoteEntry.h"
#include "ServerIdentity.h"
#include "TransferOutcome.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <cstdint>
#include <functional>

// The operations an upload needs of one connection to a server. Remote paths are "/"-separated
// pieces below the login folder ("www/photos/2008/a.jpg"; "" is the login folder itself), never
// with "." or ".." pieces; there is no working folder. Every operation blocks its calling thread
// until the server has answered, or until watch(), called from another thread, stops it, and
// tells how it went.
class FtpClient
{
public:
    // Bytes of the file in hand sent so far, and its size. Called on the operation's thread.
    using Progress = std::function<void(qint64 sent, qint64 total)>;
    using Failure = TransferFailure;

    // A folder's entries, when the outcome is a success.
    struct Listing
    {
        QList<RemoteEntry> entries;
        TransferOutcome outcome;
    };

    // What putFileAs() got done.
    struct PutAsOutcome
    {
        // False from a client that does not put so: nothing was sent.
        bool offered = false;
        // Whole under the temporary path, as the server confirmed.
        bool stored = false;
        // Renamed over the path. Renamed but not stored, what the path holds is in doubt.
        bool renamed = false;
        // Of the put's failure: why it stopped short of stored and renamed.
        TransferOutcome outcome;
        // Why the time was not set: None when it was, or none was asked for.
        Failure timeFailure = Failure::None;
    };

    virtual ~FtpClient() = default;

    // Prepares a connection; false when the transfer library cannot serve.
    virtual bool open() = 0;
    // Connects and logs in; port 0 means the protocol's own.
    virtual TransferOutcome connect(const QString &host, uint16_t port, const QString &user,
                                    const QString &password) = 0;
    // What the last connect found wrong with the server's identity, when it failed on that.
    virtual ServerIdentity identity() const = 0;
    // Trusts what a connect was shown, for the connects that follow (of this client, and of
    // others for the same server when it could be kept); false when it could not be kept for
    // later runs.
    virtual bool trust(const ServerIdentity &identity) = 0;

    // Whether the folder is there and may be entered.
    virtual TransferOutcome folderExists(const QString &folder) = 0;
    // Makes one folder, whose parent is there.
    virtual TransferOutcome makeFolder(const QString &folder) = 0;
    virtual Listing listFolder(const QString &folder) = 0;
    // Stores a whole local file in binary, replacing a file of that path. The bytes go
    // straight to the path: writing under another name first is a layer above.
    virtual TransferOutcome putFile(const QString &localPath, const QString &path,
                                    const Progress &progress) = 0;
    // Stores a whole local file under temporaryPath and, once the server has taken every byte,
    // gives it the time (when valid) and renames it over path, sending these without waiting for
    // one answer before the next: a client whose protocol allows that offers it, to save waits.
    virtual PutAsOutcome putFileAs(const QString &localPath, const QString &temporaryPath,
                                   const QString &path, const QDateTime &time, const Progress &progress) = 0;
    // Renames a file; a server may refuse to rename onto an existing file.
    virtual TransferOutcome rename(const QString &from, const QString &to) = 0;
    virtual TransferOutcome removeFile(const QString &path) = 0;
    // Removes a file even after cancel(), giving the server only a moment: for tidying up.
    virtual void tidyRemove(const QString &path) = 0;
    // Sets a file's modification time, to the second.
    virtual TransferOutcome setModified(const QString &path, const QDateTime &time) = 0;

    // From any thread: ends the operation in hand at once, and fails every later one but
    // tidying up and close.
    virtual void cancel() = 0;
    // From the thread that waits for an operation, every few milliseconds while it runs: ends it
    // when nothing moved for the stall limit, or a tidying step has had its moment. Unwatched, an
    // operation waits as long as the server and the transfer library let it.
    virtual void watch() = 0;
    // Ends the connection, as far as it was made.
    virtual void close() = 0;
};
