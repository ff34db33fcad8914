#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class Catalog;
class OutputLayout;
class RemoteFolders;
class UploadConnections;
class UploadHost;
struct RunState;

// Offers the user the images no entry of the scan maps to any more, in the folders the upload
// mirrors, and removes what the user agrees to. Only when the scan saw the whole tree.
class UploadRemovals
{
public:
    using Line = std::function<void(const QString &text)>;

    UploadRemovals(UploadConnections &connections, RemoteFolders &folders, UploadHost &host, RunState &run,
                   Line line);

    // With pages on, pageName is the page's name and pageFolders the folders that have one now.
    void offer(const Catalog &catalog, const OutputLayout &layout, const QString &pageName,
               const QStringList &pageFolders);

    // Paths below the FTP root.
    const QStringList &removed() const { return m_removed; }
    const QStringList &failed() const { return m_failed; }

private:
    UploadConnections &m_connections;
    RemoteFolders &m_folders;
    UploadHost &m_host;
    RunState &m_run;
    Line m_line;
    QStringList m_removed;
    QStringList m_failed;
};
