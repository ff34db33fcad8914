#pragma once

#include "ConnectionPool.h"
#include "FtpClient.h"
#include "FtpSettings.h"
#include "OutputLayout.h"
#include "PublishMemory.h"
#include "RemoteListing.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class UploadHost;
class UploadProgress;
struct RunState;

// What an upload reads when it starts: the server, the roots, the thumbnail rule, the folders
// and entries of the last scan with their ticks.
struct UploadInputs
{
    FtpSettings server;
    QString imageRoot;
    QString destinationRoot;
    QString thumbnailPrefix;
    QString thumbnailSize;
    // The hidden folder list, every entry whatever the ticks.
    QStringList folders;
    QStringList entries;
    QList<bool> ticked;
    // The scan listed every image below the image root, so what it did not list is gone.
    bool wholeTree = false;
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

// The upload: finds or creates below the FTP root every folder of the last scan, then sends
// every unticked image's counterpart and its thumbnail, writing each step into the progress
// window, and after them the gallery pages. Runs to its end on the calling thread, with the main window's
// controls locked; the connections wait on the server on threads of their own, so several files can be sent
// at once. The lines keep the order of the list whatever order the files arrive in.
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

    UploadBatch(const UploadInputs &inputs, RunState &run, UploadHost &host, ClientFactory makeClient);
    ~UploadBatch();

    // Everything from the settings check to giving the controls back.
    Outcome run();
    // After an unexpected error: closes the connections and gives the controls back.
    void abandon();

    // Images and thumbnails of the last run that failed to upload, were missing or not sent.
    int failedFiles() const { return m_failedFiles; }
    // Files not sent because the server held them already.
    int skippedFiles() const { return m_skippedFiles; }
    // The closing line of a run with failures.
    static QString failureText(int failedFiles);

private:
    struct Step;
    struct Connection;
    enum class Health
    {
        Fine,
        // The connection went or stalled once: the next failure of the kind ends it.
        Doubtful,
        Gone,
    };

    Outcome transfer();
    bool connectFirst(uint16_t port);
    void connectOthers(uint16_t port);
    Outcome cancelledEarly();
    bool locateRoot(const QString &root);
    bool folderPhase();
    bool call(const std::function<TransferOutcome(AtomicPutClient &)> &operation);
    Outcome filePhase();
    void planSteps();
    bool dispatchNext();
    void prepareEntry(Step &step);
    void finishStep(int connection);
    void finishFolder(int index, int connection);
    void finishEntry(int index, int connection);
    void insertStep(int at, const std::shared_ptr<Step> &step);
    void judge(int connection, FtpClient::Failure failure);
    void requeue(int index);
    void printReady(bool final = false);
    void showInFlight();
    void waitForConnections();
    void giveUpOnServer();
    void readClock(int listingStep);
    void keepClock(const ServerClock &clock);
    void removeLeftParts();
    QDateTime asListed(const QDateTime &time) const;
    void offerRemovals();
    std::optional<RemoteListing> listing(const QString &folder);
    QString remotePath(const QString &relative) const;
    void fail(const QString &line, const QString &box);
    void line(const QString &text);
    bool yieldCancelled();
    void finish();

    UploadInputs m_inputs;
    OutputLayout m_layout;
    RunState &m_run;
    UploadHost &m_host;
    UploadProgress *m_progress = nullptr;
    ClientFactory m_makeClient;
    std::unique_ptr<ConnectionPool> m_pool;
    QList<std::shared_ptr<Connection>> m_connections;
    bool m_cancelSent = false;
    // What the user chose to trust about the server, for the connections made after the first.
    ServerIdentity m_trusted;
    // The FTP root below the login folder.
    QString m_rootPath;

    QList<std::shared_ptr<Step>> m_steps;
    QList<int> m_pending;
    int m_printed = 0;
    int m_toSend = 0;
    int m_done = 0;
    bool m_limitTold = false;
    bool m_serverGone = false;
    std::atomic<bool> m_timesRefused{false};
    QHash<QString, std::optional<RemoteListing>> m_listings;
    std::shared_ptr<PublishMemory> m_memory;
    std::shared_ptr<PartLedger> m_parts;
    // How the server's listings tell times, once known; the step that sends a file to learn it,
    // or -1; the folders whose files wait for it.
    std::optional<ServerClock> m_clock;
    int m_clockStep = -1;
    QSet<QString> m_clockNeeded;
    bool m_clockUntrusted = false;

    int m_failedFiles = 0;
    int m_skippedFiles = 0;
};
