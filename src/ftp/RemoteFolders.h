#pragma once

#include "RemoteListing.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class UploadConnections;
struct RunState;

// The folders of an upload on the server: the FTP root below the login folder, every folder
// of the scan found or created below it, and each folder's listing, taken once in a run.
// Folders are named by their path below the FTP root ("" for the root itself).
class RemoteFolders
{
public:
    using Line = std::function<void(const QString &text)>;
    // Tells the user a folder cannot be had.
    using Refusal = std::function<void()>;

    RemoteFolders(UploadConnections &connections, RunState &run, Line line);

    // The root is taken piece by piece from the login folder, so a leading "/" does not make it
    // absolute; a piece that fails does not stop the others being tried below what was reached.
    bool locateRoot(const QString &root);
    // Finds or creates each folder; false when cancelled, by the user or by a folder that cannot
    // be had (which cancels the run). labels are the folders as the lines name them.
    bool makeFolders(const QStringList &folders, const QStringList &labels, const Refusal &refused);

    // The path below the login folder.
    QString remotePath(const QString &folder) const;

    // The folder's listing, listing it now when it has not been; none when it cannot be listed.
    std::optional<RemoteListing> listing(const QString &folder);
    // A listing taken by a step of the run (none when it failed), or none yet.
    void keep(const QString &folder, const std::optional<RemoteListing> &listing);
    const RemoteListing *kept(const QString &folder) const;

private:
    UploadConnections &m_connections;
    RunState &m_run;
    Line m_line;
    QString m_rootPath;
    QHash<QString, std::optional<RemoteListing>> m_listings;
};
