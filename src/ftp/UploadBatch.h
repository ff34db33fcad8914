#pragma once

#include "Catalog.h"
#include "FtpClient.h"
#include "FtpSettings.h"
#include "OutputLayout.h"
#include "PublishMemory.h"
#include "UploadResult.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class PartLedger;
class RemoteFolders;
class UploadConnections;
class UploadHost;
class UploadProgress;
struct RunState;

// What an upload reads when it starts, beside the catalogue: the server, the roots, the
// thumbnail rule and the gallery pages.
struct UploadInputs
{
    FtpSettings server;
    QString imageRoot;
    QString destinationRoot;
    QString thumbnailPrefix;
    QString thumbnailSize;
    // Gallery pages, as paths below the destination root, in groups sent one after another
    // once every image and thumbnail has arrived; none when pages are off.
    QList<QStringList> pageWaves;
    // With pages on: the page's name and the folders that have one (below the destination
    // root), so that an old page in a folder that has none now can go with the removals.
    QString pageName;
    QStringList pageFolders;
    // What earlier runs of this program session learnt of servers; a run without one starts
    // knowing nothing.
    std::shared_ptr<PublishMemory> memory;

    OutputLayout layout() const;
};

// The upload: finds or creates below the FTP root every folder of the catalogue, then sends
// every unticked image's counterpart and its thumbnail, writing each step into the progress
// window, and after them the gallery pages; then offers the removals. Runs to its end on the
// calling thread, with the main window's controls locked; the connections wait on the server on
// threads of their own, so several files can be sent at once.
class UploadBatch
{
public:
    // Makes one more connection to the server of the inputs.
    using ClientFactory = std::function<std::unique_ptr<FtpClient>()>;

    enum class Outcome
    {
        // Stopped before the folders: a setting missing, no connection, no FTP root.
        Refused,
        Cancelled,
        Complete,
        CompleteWithErrors,
    };

    UploadBatch(const UploadInputs &inputs, const Catalog &catalog, RunState &run, UploadHost &host,
                ClientFactory makeClient);
    ~UploadBatch();

    // Everything from the settings check to giving the controls back.
    Outcome run();
    // After an unexpected error: closes the connections and gives the controls back.
    void abandon();

    const UploadResult &result() const { return m_result; }
    // Images and thumbnails of the last run that failed to upload, were missing or not sent.
    int failedFiles() const { return static_cast<int>(m_result.failed.size()); }
    // Files not sent because the server held them already.
    int skippedFiles() const { return static_cast<int>(m_result.skipped.size()); }
    // The closing line of a run with failures.
    static QString failureText(int failedFiles);

private:
    Outcome transfer();
    Outcome filePhase();
    bool makeFolders();
    Outcome cancelled();
    void removeLeftParts();
    void fail(const QString &line, const QString &box);
    void line(const QString &text);
    void finish();

    UploadInputs m_inputs;
    // A snapshot: the list's ticks may change while the upload runs.
    const Catalog m_catalog;
    OutputLayout m_layout;
    RunState &m_run;
    UploadHost &m_host;
    UploadProgress *m_progress = nullptr;
    ClientFactory m_makeClient;
    std::shared_ptr<PublishMemory> m_memory;
    std::shared_ptr<PartLedger> m_parts;
    std::unique_ptr<UploadConnections> m_connections;
    std::unique_ptr<RemoteFolders> m_folders;
    UploadResult m_result;
};
