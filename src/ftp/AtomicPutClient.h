#pragma once

#include "FtpClient.h"
#include "PartLedger.h"
#include "ServerClock.h"

#include <QStringList>
#include <memory>

// Puts over any client that replace a remote file at once: the bytes go under a temporary name
// beside the target, hidden from a web page's listing, and are renamed over the target once
// whole, so that an interrupted put never leaves part of a file under its name. For servers
// that will not rename onto an existing file the old one goes first; a server that will not
// rename at all gets its files straight. An inner client that can put under the temporary name
// and rename in one go (putFileAs()) does so. Everything else is the inner client's, through
// inner().
//
// Temporary names never repeat within one run of the program, so a part left by a server that
// died cannot be in the way of a later put. A part is removed only when a put began it: at
// once while the server answers; when the connection was lost, it goes into the ledger, shared
// by the connections to the server, and the next put that succeeds on any of them (or
// removeLeftParts()) removes it. Listing a folder removes the parts this program left there
// before.
class AtomicPutClient
{
public:
    // A put that also gives the file a time: why the time was not set, None when it was (or the
    // file was not stored).
    struct TimedPut
    {
        TransferOutcome put;
        FtpClient::Failure time = FtpClient::Failure::None;
    };

    // Without a ledger, the client keeps one of its own.
    explicit AtomicPutClient(std::unique_ptr<FtpClient> inner, std::shared_ptr<PartLedger> parts = {});

    // A TemporaryName, with n never repeating in this process.
    static QString temporaryName();
    // Whether a name is such a temporary file that is no longer being written: one of this
    // process (no put of ours is under way in a folder being listed), or one untouched for longer
    // than any put of a running program leaves it.
    static bool isStaleTemporary(const RemoteEntry &entry, const QDateTime &now);

    // The connection itself, for everything but puts and listings.
    FtpClient &inner() { return *m_inner; }

    FtpClient::Listing listFolder(const QString &folder);
    // listFolder(), after sending an empty file there and giving it a time, to learn from the
    // listing how the server tells times; clock stays empty when the listing did not tell.
    FtpClient::Listing listFolderReadingClock(const QString &folder, std::optional<ServerClock> &clock);
    TransferOutcome putFile(const QString &localPath, const QString &path,
                            const FtpClient::Progress &progress);
    // putFile(), and the file takes the time as by setModified(): with the put where the inner
    // client can, after it where not.
    TimedPut putFileWithTime(const QString &localPath, const QString &path, const QDateTime &time,
                             const FtpClient::Progress &progress);
    // Removes the parts in the ledger, as far as the server answers.
    void removeLeftParts();

private:
    // How far put() came: timed tells whether the inner client was given the time with the put.
    struct Put
    {
        TransferOutcome outcome;
        bool timed = false;
        FtpClient::Failure timeFailure = FtpClient::Failure::None;
    };

    Put put(const QString &localPath, const QString &path, const QDateTime &time,
            const FtpClient::Progress &progress);
    void dropPart(const QString &temporary, FtpClient::Failure failure);
    FtpClient::Listing listing(const QString &folder, const QString &probe, RemoteEntry *probed);

    std::unique_ptr<FtpClient> m_inner;
    // The server would not rename: files then go straight under their names.
    bool m_renameRefused = false;
    // Parts of failed puts that the server could not be asked to remove yet.
    std::shared_ptr<PartLedger> m_parts;
};
