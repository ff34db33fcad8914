#include "UploadBatch.h"

#include "AtomicPutClient.h"
#include "FileSystem.h"
#include "IdentityMessages.h"
#include "PortText.h"
#include "RemovalPlan.h"
#include "RunState.h"
#include "UploadHost.h"
#include "UploadProgress.h"

#include <QFileInfo>
#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString ErrorTitle = u"FTP Error!!"_s;
// How many paths the question about removals names before it counts the rest.
constexpr int RemovalsNamed = 10;

QString joined(const QString &path, const QString &piece)
{
    if (piece.isEmpty())
        return path;
    return path.isEmpty() ? piece : path + u'/' + piece;
}

// A path below the image root as the lines show it: the entry's text after the image root, so
// it starts with a separator unless the root text ends in one.
QString spelledBelowRoot(const QString &relative, const QString &imageRoot)
{
    return relative.isEmpty() || imageRoot.endsWith(u'/') ? relative : u'/' + relative;
}

QString folderLabel(const QString &relative)
{
    return relative.isEmpty() ? u"Root Folder"_s : u'/' + relative;
}

QString filesText(int count)
{
    return count == 1 ? u"1 file"_s : u"%1 files"_s.arg(count);
}

bool connectionTrouble(FtpClient::Failure failure)
{
    return failure == FtpClient::Failure::ConnectionLost || failure == FtpClient::Failure::Stalled ||
           failure == FtpClient::Failure::Unreachable;
}

} // namespace

OutputLayout UploadInputs::layout() const
{
    return OutputLayout(imageRoot, destinationRoot, thumbnailSize, thumbnailPrefix);
}

// One connection as the batch sees it. The bytes are written by the connection's thread.
struct UploadBatch::Connection
{
    int index = 0;
    Health health = Health::Fine;
    bool connected = false;
    // The step in hand, or -1.
    int step = -1;
    std::atomic<qint64> sent{0};
    std::atomic<qint64> total{0};
};

// One step of the file phase, in the order of the list: entering a folder (and listing it),
// sending an entry's image and thumbnail, or sending one file of the gallery pages. What a connection's
// thread writes here is read only after the step has been collected.
struct UploadBatch::Step
{
    enum class Kind
    {
        Folder,
        Entry,
        Page,
    };
    Kind kind = Kind::Entry;
    // The folder below the FTP root, and as the lines name it.
    QString relativeFolder;
    QString folderLine;
    // Folder: whether it is to be entered first, and listed.
    bool check = true;
    bool list = false;
    // Folder: whether the listing also learns how the server tells times.
    bool readClock = false;
    // Entry: the list's row, the folder step it belongs to, and the step that lists its folder.
    int entry = -1;
    int folderStep = -1;
    int listingStep = -1;
    // Page: its group; it goes when every step before that group is done.
    int wave = -1;
    QString localImage;
    QString localThumbnail;
    QString remoteImage;
    QString remoteThumbnail;
    QDateTime imageTime;
    QDateTime thumbnailTime;
    bool sendImage = true;
    bool sendThumbnail = false;

    // Shown when the step's turn comes, before anything it found.
    QStringList preLines;
    bool prePrinted = false;
    bool dispatched = false;
    bool done = false;
    QStringList lines;

    // What the connection found.
    bool exists = false;
    FtpClient::Failure failure = FtpClient::Failure::None;
    std::optional<QList<RemoteEntry>> listed;
    std::optional<ServerClock> clock;
    bool imageSent = false;
    bool thumbnailSent = false;
    FtpClient::Failure thumbnailFailure = FtpClient::Failure::None;
    FtpClient::Failure timeFailure = FtpClient::Failure::None;
};

UploadBatch::UploadBatch(const UploadInputs &inputs, RunState &run, UploadHost &host,
                         ClientFactory makeClient)
    : m_inputs(inputs), m_layout(inputs.layout()), m_run(run), m_host(host),
      m_makeClient(std::move(makeClient))
{}

UploadBatch::~UploadBatch()
{
    if (m_pool)
        m_pool->cancel();
}

QString UploadBatch::failureText(int failedFiles)
{
    if (failedFiles == 1)
        return u"1 file failed to upload!!"_s;
    return u"%1 files failed to upload!!"_s.arg(failedFiles);
}

UploadBatch::Outcome UploadBatch::run()
{
    m_failedFiles = 0;
    m_skippedFiles = 0;
    Outcome outcome = Outcome::Refused;
    if (!m_inputs.server.complete()) {
        m_host.showBox(u"FTP Settings not correct!!"_s, ErrorTitle, MessageBoxService::Icon::Critical);
    } else {
        m_progress = &m_host.openProgress();
        outcome = transfer();
    }
    finish();
    return outcome;
}

void UploadBatch::abandon()
{
    if (m_pool)
        m_pool->cancel();
    finish();
}

UploadBatch::Outcome UploadBatch::transfer()
{
    const FtpSettings &settings = m_inputs.server;
    m_memory = m_inputs.memory ? m_inputs.memory : std::make_shared<PublishMemory>();
    m_parts = m_memory->parts(settings);
    m_clock = m_memory->clock(settings);
    // SFTP speaks of times in seconds since 1970 in UTC, and every server takes them.
    if (settings.security == TransferSecurity::Sftp)
        m_clock = ServerClock();
    m_pool = std::make_unique<ConnectionPool>();
    auto first = std::make_shared<Connection>();
    first->index = m_pool->add(std::make_unique<AtomicPutClient>(m_makeClient(), m_parts));
    m_connections.append(first);
    bool opened = false;
    m_pool->run(
        first->index, [&](AtomicPutClient &client) { opened = client.inner().open(); },
        [this] { yieldCancelled(); });
    if (!opened) {
        fail(u"ERROR: Failed access the internet!!"_s, u"FTP Connection Error!!"_s);
        return Outcome::Refused;
    }
    // Cancel ends the step in hand, which then fails: that is no error to report.
    const std::optional<uint16_t> port =
        PortText::connectPort(settings.port, TransferSecurityText::defaultPort(settings.security));
    if (!port || !connectFirst(*port)) {
        if (m_run.cancelRequested())
            return cancelledEarly();
        fail(u"ERROR: Failed to connect to "_s + settings.address, u"Address Connection Error!!"_s);
        return Outcome::Refused;
    }
    first->connected = true;
    // The other connections log in while the folders are seen to on the first.
    connectOthers(*port);
    if (!locateRoot(settings.root)) {
        if (m_run.cancelRequested())
            return cancelledEarly();
        fail(u"ERROR: Failed to locate root folder!!"_s, u"Cannot locate root folder!!"_s);
        return Outcome::Refused;
    }
    line(u"CD "_s + settings.root);
    m_progress->addLine(u"Finding/Creating Folders on FTP Root"_s);
    line(u" - This may take time, be patient!"_s);

    if (!folderPhase())
        return cancelledEarly();
    line(u"Folders on FTP Root Successfully found/created."_s);
    line(u" - Working on Root Folder"_s);
    return filePhase();
}

// A server whose identity is wanting is connected to only when the user trusts what it
// offered; a changed one never is.
bool UploadBatch::connectFirst(uint16_t port)
{
    const FtpSettings &settings = m_inputs.server;
    const auto connect = [&] {
        return call([&](AtomicPutClient &client) {
            return client.inner().connect(settings.address, port, settings.username, settings.password);
        });
    };
    if (connect())
        return true;
    ServerIdentity identity;
    m_pool->run(
        0, [&](AtomicPutClient &client) { identity = client.inner().identity(); },
        [this] { yieldCancelled(); });
    if (identity.problem == ServerIdentity::Problem::None || m_run.cancelRequested())
        return false;
    line(IdentityMessages::line(identity));
    switch (identity.problem) {
    case ServerIdentity::Problem::UntrustedCertificate:
    case ServerIdentity::Problem::UnknownHostKey: {
        if (!m_host.askYesNo(IdentityMessages::question(identity), IdentityMessages::questionTitle(identity),
                             MessageBoxService::Icon::Exclamation, false))
            return false;
        bool kept = false;
        m_pool->run(
            0, [&](AtomicPutClient &client) { kept = client.inner().trust(identity); },
            [this] { yieldCancelled(); });
        if (!kept)
            line(IdentityMessages::notKept());
        if (identity.problem == ServerIdentity::Problem::UntrustedCertificate)
            FtpSettings::storeTlsPin(identity.server + u' ' + identity.publicKeyPin);
        m_trusted = identity;
        return connect();
    }
    case ServerIdentity::Problem::ChangedCertificate:
    case ServerIdentity::Problem::ChangedHostKey:
        m_host.showBox(IdentityMessages::warning(identity), IdentityMessages::warningTitle(identity),
                       MessageBoxService::Icon::Exclamation);
        return false;
    case ServerIdentity::Problem::EncryptionRefused:
    case ServerIdentity::Problem::None:
        break;
    }
    return false;
}

// Each further connection logs in on its own thread. It is shown what the first was, so it is
// trusted only for the very certificate or key the user accepted.
void UploadBatch::connectOthers(uint16_t port)
{
    const FtpSettings settings = m_inputs.server;
    const ServerIdentity trusted = m_trusted;
    for (int i = 1; i < settings.connections; ++i) {
        auto connection = std::make_shared<Connection>();
        connection->index = m_pool->add(std::make_unique<AtomicPutClient>(m_makeClient(), m_parts));
        m_connections.append(connection);
        m_pool->start(connection->index, [settings, port, trusted, connection](AtomicPutClient &put) {
            FtpClient &client = put.inner();
            const auto login = [&] {
                return client.connect(settings.address, port, settings.username, settings.password).ok();
            };
            bool connected = client.open() && login();
            const ServerIdentity offered = client.identity();
            if (!connected && trusted.problem != ServerIdentity::Problem::None &&
                offered.problem == trusted.problem && offered.fingerprint == trusted.fingerprint) {
                client.trust(offered);
                connected = login();
            }
            connection->connected = connected;
        });
    }
}

UploadBatch::Outcome UploadBatch::cancelledEarly()
{
    line(u"Operation cancelled."_s);
    return Outcome::Cancelled;
}

// The root is taken piece by piece from the login folder, so a leading "/" does not make it
// absolute; a piece that fails does not stop the others being tried below what was reached.
bool UploadBatch::locateRoot(const QString &root)
{
    bool located = true;
    m_rootPath.clear();
    for (const QString &piece : root.split(u'/')) {
        if (piece.isEmpty())
            continue;
        const QString below = joined(m_rootPath, piece);
        if (call([&](AtomicPutClient &client) { return client.inner().folderExists(below); }))
            m_rootPath = below;
        else
            located = false;
    }
    return located;
}

// False when the phase was cancelled, by the user or by a folder that cannot be had.
bool UploadBatch::folderPhase()
{
    const QString imageRoot = m_inputs.imageRoot;
    const QStringList entries = m_inputs.folders;
    for (const QString &entry : entries) {
        if (yieldCancelled())
            return false;
        const QString relative = m_layout.relative(entry);
        bool failed = false;
        QString reached = m_rootPath;
        for (const QString &piece : relative.split(u'/')) {
            if (yieldCancelled())
                break;
            if (piece.isEmpty())
                continue;
            const QString below = joined(reached, piece);
            if (call([&](AtomicPutClient &client) { return client.inner().folderExists(below); })) {
                reached = below;
                continue;
            }
            if (m_run.cancelRequested())
                break;
            if (call([&](AtomicPutClient &client) { return client.inner().makeFolder(below); })) {
                if (call([&](AtomicPutClient &client) { return client.inner().folderExists(below); })) {
                    reached = below;
                } else if (!m_run.cancelRequested()) {
                    line(u"ERROR: "_s + piece + u" cannot be found!!"_s);
                    failed = true;
                }
            } else if (!m_run.cancelRequested()) {
                line(u"ERROR: "_s + piece + u" cannot be created!!"_s);
                failed = true;
            }
        }
        if (yieldCancelled())
            return false;
        if (failed) {
            line(u"ERROR: Cannot find/create "_s + spelledBelowRoot(relative, imageRoot));
            m_host.showBox(u"Cannot find/create folder!!"_s, ErrorTitle, MessageBoxService::Icon::Critical);
            m_run.setCancelRequested(true);
            return false;
        }
    }
    return true;
}

// Runs an operation on the first connection still there, waiting for it with the window alive.
bool UploadBatch::call(const std::function<TransferOutcome(AtomicPutClient &)> &operation)
{
    const auto alive = std::find_if(m_connections.cbegin(), m_connections.cend(), [](const auto &connection) {
        return connection->health != Health::Gone;
    });
    if (alive == m_connections.cend())
        return false;
    bool result = false;
    m_pool->run((*alive)->index, [&](AtomicPutClient &client) { result = operation(client).ok(); },
                [this] { yieldCancelled(); });
    return result;
}

UploadBatch::Outcome UploadBatch::filePhase()
{
    waitForConnections();
    removeLeftParts();
    planSteps();
    m_progress->showFileCount(0, m_toSend);
    for (int i = 0; i < m_steps.size(); ++i)
        m_pending.append(i);

    for (;;) {
        printReady();
        const bool cancelled = yieldCancelled();
        if (!cancelled && !m_serverGone) {
            while (dispatchNext()) {
            }
        }
        showInFlight();
        const bool inFlight = std::any_of(m_connections.cbegin(), m_connections.cend(),
                                          [](const auto &connection) { return connection->step >= 0; });
        if (!inFlight) {
            if (cancelled || m_serverGone || m_pending.isEmpty())
                break;
            // Steps are left and no connection can take them.
            m_serverGone = true;
            break;
        }
        for (int connection : m_pool->collect(std::chrono::milliseconds(10)))
            finishStep(connection);
    }
    printReady(true);

    if (m_run.cancelRequested()) {
        m_progress->setFileInProgress(u"Operation Cancelled!!"_s);
        line(u"Operation cancelled."_s);
        return Outcome::Cancelled;
    }
    if (m_serverGone)
        giveUpOnServer();
    else
        removeLeftParts();
    if (m_skippedFiles > 0)
        line(m_skippedFiles == 1 ? u"1 file already on the server was not sent."_s
                                 : u"%1 files already on the server were not sent."_s.arg(m_skippedFiles));
    if (m_inputs.server.removeMissing && !m_serverGone) {
        offerRemovals();
        if (m_run.cancelRequested()) {
            m_progress->setFileInProgress(u"Operation Cancelled!!"_s);
            line(u"Operation cancelled."_s);
            return Outcome::Cancelled;
        }
    }
    if (m_failedFiles > 0) {
        m_progress->setFileInProgress(u"Operation Completed with Errors!!"_s);
        line(failureText(m_failedFiles));
        return Outcome::CompleteWithErrors;
    }
    m_progress->setFileInProgress(u"Operation Complete."_s);
    line(u"Files Successfully copied."_s);
    m_host.clearUploadedList();
    return Outcome::Complete;
}

// The connections made beside the first have logged in, or the server would not have them.
void UploadBatch::waitForConnections()
{
    const auto connecting = [this] {
        return std::any_of(m_connections.cbegin() + 1, m_connections.cend(),
                           [this](const auto &connection) { return m_pool->busy(connection->index); });
    };
    while (connecting()) {
        m_pool->collect(std::chrono::milliseconds(10));
        yieldCancelled();
    }
    m_pool->collect(std::chrono::milliseconds(0));
    int connected = 0;
    for (const auto &connection : std::as_const(m_connections)) {
        if (connection->connected)
            ++connected;
        else
            connection->health = Health::Gone;
    }
    if (connected < m_inputs.server.connections && !m_run.cancelRequested()) {
        line(u" - The server accepts %1 connections; going on with %1."_s.arg(connected));
        m_limitTold = true;
    }
}

// Every folder change of the list is a step, as is every entry to send. With only new and
// changed files, each folder is listed by its step; one with images directly in the FTP root
// gets a step of its own, as that folder needs no entering.
void UploadBatch::planSteps()
{
    const bool onlyChanged = m_inputs.server.onlyChanged;
    QString current;
    int folderStep = -1;
    // The scan lists a folder's sub-folders among its images, so a folder may come back after
    // them: it is listed once, by its first step.
    QHash<QString, int> listingSteps;
    for (int i = 0; i < m_inputs.entries.size(); ++i) {
        if (m_inputs.ticked.at(i))
            continue;
        ++m_toSend;
        const QString relativeFolder = OutputLayout::folderOf(m_layout.relative(m_inputs.entries.at(i)));
        const QString remoteFolder = spelledBelowRoot(relativeFolder, m_inputs.imageRoot);
        if (remoteFolder != current || (folderStep < 0 && onlyChanged)) {
            auto folder = std::make_shared<Step>();
            folder->kind = Step::Kind::Folder;
            folder->relativeFolder = relativeFolder;
            folder->folderLine = remoteFolder;
            folder->check = remoteFolder != current;
            folder->list = onlyChanged && !listingSteps.contains(relativeFolder);
            if (folder->list)
                listingSteps.insert(relativeFolder, static_cast<int>(m_steps.size()));
            if (folder->check)
                folder->preLines.append(u" - Working on "_s + remoteFolder);
            current = remoteFolder;
            folderStep = static_cast<int>(m_steps.size());
            m_steps.append(folder);
        }
        auto entry = std::make_shared<Step>();
        entry->entry = i;
        entry->relativeFolder = relativeFolder;
        entry->folderStep = folderStep;
        entry->listingStep = listingSteps.value(relativeFolder, -1);
        m_steps.append(entry);
    }
    // The pages come last, so that no page shows a picture that is not there yet.
    for (int wave = 0; wave < m_inputs.pageWaves.size(); ++wave) {
        for (const QString &file : m_inputs.pageWaves.at(wave)) {
            auto page = std::make_shared<Step>();
            page->kind = Step::Kind::Page;
            page->wave = wave;
            page->relativeFolder = OutputLayout::folderOf(file);
            page->localImage = joined(m_inputs.destinationRoot, file);
            page->remoteImage = remotePath(file);
            if (m_steps.isEmpty() || m_steps.constLast()->kind != Step::Kind::Page)
                page->preLines.append(u" - Working on gallery pages"_s);
            m_steps.append(page);
            ++m_toSend;
        }
    }
}

// Hands the next step to a connection that is free, in the list's order; the entries of a
// folder wait for its step. False when nothing could be handed out now.
bool UploadBatch::dispatchNext()
{
    if (m_pending.isEmpty())
        return false;
    const int index = m_pending.constFirst();
    const std::shared_ptr<Step> step = m_steps.at(index);
    const auto waitsFor = [this](int before) { return before >= 0 && !m_steps.at(before)->done; };
    if (step->kind == Step::Kind::Entry &&
        (waitsFor(step->folderStep) || waitsFor(step->listingStep) ||
         (!m_clock && !m_clockUntrusted && m_clockNeeded.contains(step->relativeFolder))))
        return false;
    if (step->kind == Step::Kind::Page &&
        !std::all_of(m_steps.cbegin(), m_steps.cend(), [&step](const auto &each) {
            return each->done || (each->kind == Step::Kind::Page && each->wave >= step->wave);
        }))
        return false;
    const auto idle = std::find_if(m_connections.cbegin(), m_connections.cend(), [](const auto &connection) {
        return connection->health != Health::Gone && connection->connected && connection->step < 0;
    });
    if (idle == m_connections.cend())
        return false;
    m_pending.removeFirst();
    step->dispatched = true;
    const std::shared_ptr<Connection> connection = *idle;

    if (step->kind == Step::Kind::Folder) {
        const QString path = remotePath(step->relativeFolder);
        connection->step = index;
        // A folder that lists is there; only one that does not is looked at again.
        m_pool->start(connection->index, [step, path](AtomicPutClient &client) {
            if (step->list) {
                const FtpClient::Listing listed = step->readClock
                                                      ? client.listFolderReadingClock(path, step->clock)
                                                      : client.listFolder(path);
                step->listed = listed.outcome ? std::optional(listed.entries) : std::nullopt;
                step->failure = listed.outcome.failure;
                step->exists = step->listed.has_value();
                if (step->exists || step->failure != FtpClient::Failure::Refused)
                    return;
            }
            const TransferOutcome found = step->check ? client.inner().folderExists(path) : TransferOutcome();
            step->exists = found.ok();
            if (!step->exists || !step->list)
                step->failure = found.failure;
        });
        return true;
    }

    prepareEntry(*step);
    if (step->done)
        return true;
    connection->step = index;
    connection->sent = 0;
    connection->total = 0;
    const bool setTimes = m_inputs.server.onlyChanged;
    m_pool->start(connection->index, [step, connection, setTimes, this](AtomicPutClient &client) {
        const auto progress = [&connection](qint64 sent, qint64 total) {
            connection->sent = sent;
            connection->total = total;
        };
        // The server's copy takes the local time, so later runs compare exactly.
        const auto put = [&](const QString &local, const QString &remote, const QDateTime &time) {
            if (!setTimes || m_timesRefused)
                return client.putFile(local, remote, progress);
            const AtomicPutClient::TimedPut stored = client.putFileWithTime(local, remote, time, progress);
            if (stored.time == FtpClient::Failure::Refused)
                m_timesRefused = true;
            else if (stored.time != FtpClient::Failure::None)
                step->timeFailure = stored.time;
            return stored.put;
        };
        if (step->sendImage) {
            const TransferOutcome image = put(step->localImage, step->remoteImage, step->imageTime);
            step->imageSent = image.ok();
            step->failure = image.failure;
            if (!step->imageSent)
                return;
        } else {
            step->imageSent = true;
        }
        if (step->sendThumbnail) {
            connection->sent = 0;
            connection->total = 0;
            const TransferOutcome thumbnail =
                put(step->localThumbnail, step->remoteThumbnail, step->thumbnailTime);
            step->thumbnailSent = thumbnail.ok();
            step->thumbnailFailure = thumbnail.failure;
        }
    });
    return true;
}

// Works out on this thread what an entry (or a page, named already) needs sent; one without its
// file is done here.
void UploadBatch::prepareEntry(Step &step)
{
    if (step.kind == Step::Kind::Entry) {
        const QString entry = m_inputs.entries.at(step.entry);
        step.localImage = m_layout.copyPath(entry);
        step.localThumbnail = m_layout.thumbnailPath(entry);
        const QString folder = remotePath(step.relativeFolder);
        const QString name = OutputLayout::fileName(step.localImage);
        step.remoteImage = joined(folder, name);
        step.remoteThumbnail = joined(folder, m_layout.thumbnailName(name));
    }
    const QString name = OutputLayout::fileName(step.localImage);
    if (!FileSystem::FileExists(step.localImage)) {
        ++m_failedFiles;
        step.lines.append(u"ERROR: "_s + step.localImage + u" does not exist!!"_s);
        step.done = true;
        m_progress->showFileCount(++m_done, m_toSend);
        return;
    }
    step.sendThumbnail = !step.localThumbnail.isEmpty() && FileSystem::FileExists(step.localThumbnail);
    const QFileInfo image(step.localImage);
    step.imageTime = image.lastModified().toUTC();
    const QFileInfo thumbnail(step.localThumbnail);
    if (step.sendThumbnail)
        step.thumbnailTime = thumbnail.lastModified().toUTC();
    if (!m_inputs.server.onlyChanged)
        return;
    const std::optional<RemoteListing> remote = m_listings.value(step.relativeFolder);
    if (!remote || !remote->tellsSizesAndTimes() || m_clockUntrusted)
        return;
    if (remote->holds(name, image.size(), asListed(step.imageTime))) {
        step.sendImage = false;
        ++m_skippedFiles;
    }
    if (step.sendThumbnail &&
        remote->holds(m_layout.thumbnailName(name), thumbnail.size(), asListed(step.thumbnailTime))) {
        step.sendThumbnail = false;
        ++m_skippedFiles;
    }
}

void UploadBatch::finishStep(int connection)
{
    const auto found =
        std::find_if(m_connections.cbegin(), m_connections.cend(),
                     [connection](const auto &candidate) { return candidate->index == connection; });
    if (found == m_connections.cend() || (*found)->step < 0)
        return;
    const int index = std::exchange((*found)->step, -1);
    if (m_steps.at(index)->kind == Step::Kind::Folder) {
        finishFolder(index, connection);
        return;
    }
    finishEntry(index, connection);
    // The bar stays on the file that ended until another is in flight.
    const qint64 total = (*found)->total;
    if (m_steps.at(index)->imageSent && (*found)->sent == total)
        m_progress->showTransfer(total, total);
}

void UploadBatch::finishFolder(int index, int connection)
{
    Step &step = *m_steps.at(index);
    if (!step.exists) {
        if (step.failure == FtpClient::Failure::Cancelled)
            return;
        if (connectionTrouble(step.failure)) {
            // Not the folder's fault: it is tried again, by another connection if this one went.
            judge(connection, step.failure);
            requeue(index);
            return;
        }
        judge(connection, step.failure);
        step.lines.append(u"Failed to locate "_s + step.folderLine);
        step.done = true;
        m_run.setCancelRequested(true);
        return;
    }
    judge(connection, step.listed || !step.list ? FtpClient::Failure::None : step.failure);
    step.done = true;
    if (!step.list)
        return;
    m_listings.insert(step.relativeFolder,
                      step.listed ? std::optional<RemoteListing>(RemoteListing(*step.listed)) : std::nullopt);
    const bool comparable = step.listed && RemoteListing(*step.listed).tellsSizesAndTimes();
    if (step.readClock) {
        if (step.clock) {
            keepClock(*step.clock);
        } else if (!m_clock) {
            m_clockUntrusted = true;
            step.lines.append(
                u" - The server's times cannot be compared with this computer's; every file is sent."_s);
        }
        return;
    }
    if (!comparable)
        step.lines.append(u" - The server gives no sizes or times in "_s + folderLabel(step.relativeFolder) +
                          u"; every file there is sent."_s);
    else if (!m_clock && !m_clockUntrusted)
        readClock(index);
}

// Files this program sent before took their local times, so where the server tells the same
// quarter-hour offset for two files of the folder's size, that is its clock. Where nothing tells
// it, an empty file sent there and listed does, before any file of the folder is compared.
void UploadBatch::readClock(int listingStep)
{
    const QString folder = m_steps.at(listingStep)->relativeFolder;
    const RemoteListing remote = *m_listings.value(folder);
    QList<qint64> offsets;
    for (const auto &step : std::as_const(m_steps)) {
        if (step->kind != Step::Kind::Entry || step->relativeFolder != folder)
            continue;
        const QString entry = m_inputs.entries.at(step->entry);
        for (const QString &path : {m_layout.copyPath(entry), m_layout.thumbnailPath(entry)}) {
            const QFileInfo local(path);
            if (const std::optional<qint64> offset =
                    remote.offsetOf(local.fileName(), local.size(), local.lastModified().toUTC()))
                offsets.append(*offset);
        }
    }
    if (offsets.isEmpty())
        return;
    if (const std::optional<ServerClock> clock = ServerClock::fromOffsets(offsets)) {
        keepClock(*clock);
        return;
    }
    m_clockNeeded.insert(folder);
    if (m_clockStep >= 0)
        return;
    auto probe = std::make_shared<Step>();
    probe->kind = Step::Kind::Folder;
    probe->relativeFolder = folder;
    probe->folderLine = m_steps.at(listingStep)->folderLine;
    probe->check = false;
    probe->list = true;
    probe->readClock = true;
    insertStep(listingStep + 1, probe);
    m_clockStep = listingStep + 1;
    requeue(m_clockStep);
}

void UploadBatch::keepClock(const ServerClock &clock)
{
    m_clock = clock;
    m_memory->setClock(m_inputs.server, clock);
    // Times it will not take need not be offered again.
    m_timesRefused = m_timesRefused || !clock.keepsTimesGiven();
}

void UploadBatch::finishEntry(int index, int connection)
{
    using Failure = FtpClient::Failure;
    Step &step = *m_steps.at(index);
    if (!step.imageSent && step.failure == Failure::Unreachable) {
        // Nothing of it reached the server: another connection sends it, or it is counted as
        // not sent when none is left.
        judge(connection, step.failure);
        step.failure = Failure::None;
        requeue(index);
        return;
    }
    // A put that Cancel ended is no failure, and the thumbnail stays behind with it.
    if (!step.imageSent) {
        if (step.failure != Failure::Cancelled) {
            ++m_failedFiles;
            step.lines.append((step.kind == Step::Kind::Page ? u"ERROR: Failed to upload gallery file "_s
                                                             : u"ERROR: Failed to upload image file "_s) +
                              step.localImage);
        }
        judge(connection, step.failure);
    } else {
        judge(connection, step.sendImage ? step.timeFailure : Failure::None);
        if (step.sendThumbnail && !step.thumbnailSent) {
            if (step.thumbnailFailure != Failure::Cancelled) {
                ++m_failedFiles;
                step.lines.append(u"ERROR: Failed to upload thumbnail file "_s + step.localThumbnail);
            }
            judge(connection, step.thumbnailFailure);
        }
    }
    step.done = true;
    m_progress->showFileCount(++m_done, m_toSend);
}

// A connection that stalls or goes twice in a row, or that cannot log in again, is given up; the
// server, when no connection is left.
void UploadBatch::judge(int index, FtpClient::Failure failure)
{
    const auto found = std::find_if(m_connections.cbegin(), m_connections.cend(),
                                    [index](const auto &connection) { return connection->index == index; });
    if (found == m_connections.cend())
        return;
    Connection &connection = **found;
    switch (failure) {
    case FtpClient::Failure::None:
    case FtpClient::Failure::Refused:
        connection.health = Health::Fine;
        return;
    case FtpClient::Failure::Cancelled:
    case FtpClient::Failure::LocalFile:
        return;
    case FtpClient::Failure::ConnectionLost:
    case FtpClient::Failure::Stalled:
        connection.health = connection.health == Health::Fine ? Health::Doubtful : Health::Gone;
        break;
    case FtpClient::Failure::Unreachable:
        connection.health = Health::Gone;
        break;
    }
    if (connection.health != Health::Gone)
        return;
    const int left = static_cast<int>(std::count_if(m_connections.cbegin(), m_connections.cend(),
                                                    [](const auto &c) { return c->health != Health::Gone; }));
    if (left == 0) {
        m_serverGone = true;
        return;
    }
    if (failure == FtpClient::Failure::Unreachable && !m_limitTold) {
        // Told where the list stands now, before the lines of the steps still to come.
        auto notice = std::make_shared<Step>();
        notice->done = true;
        notice->lines.append(u" - The server accepts %1 connections; going on with %1."_s.arg(left));
        insertStep(m_pending.isEmpty() ? static_cast<int>(m_steps.size()) : m_pending.constFirst(), notice);
        m_limitTold = true;
    }
}

// Every index at or after the place moves on by one.
void UploadBatch::insertStep(int at, const std::shared_ptr<Step> &step)
{
    m_steps.insert(at, step);
    const auto shift = [at](int &index) { index += index >= at ? 1 : 0; };
    for (int &pending : m_pending)
        shift(pending);
    for (const auto &each : std::as_const(m_steps)) {
        shift(each->folderStep);
        shift(each->listingStep);
    }
    shift(m_clockStep);
    for (const auto &connection : std::as_const(m_connections))
        shift(connection->step);
}

void UploadBatch::requeue(int index)
{
    m_steps.at(index)->dispatched = false;
    const auto at = std::lower_bound(m_pending.begin(), m_pending.end(), index);
    m_pending.insert(at, index);
}

// Lines come out in the list's order: a step's lines wait for those of the steps before it. At
// the end, steps that will never be done no longer hold back those after them.
void UploadBatch::printReady(bool final)
{
    for (; m_printed < m_steps.size(); ++m_printed) {
        Step &step = *m_steps.at(m_printed);
        if (!step.prePrinted && (step.dispatched || step.done)) {
            for (const QString &text : std::as_const(step.preLines))
                line(text);
            step.prePrinted = true;
        }
        if (!step.done && !final)
            return;
        for (const QString &text : std::as_const(step.lines))
            line(text);
    }
}

// The file named is the first in flight in the list's order; the bar counts every one.
void UploadBatch::showInFlight()
{
    qint64 sent = 0;
    qint64 total = 0;
    int first = -1;
    for (const auto &connection : std::as_const(m_connections)) {
        if (connection->step < 0 || m_steps.at(connection->step)->kind == Step::Kind::Folder)
            continue;
        sent += connection->sent;
        total += connection->total;
        if (first < 0 || connection->step < first)
            first = connection->step;
    }
    if (first < 0)
        return;
    m_progress->setFileInProgress(m_steps.at(first)->localImage);
    m_progress->showTransfer(sent, total);
}

// Parts that puts of this or an earlier run left when the connection went.
void UploadBatch::removeLeftParts()
{
    if (m_parts->isEmpty() || m_run.cancelRequested())
        return;
    call([](AtomicPutClient &client) {
        client.removeLeftParts();
        return TransferOutcome();
    });
}

// A local time as the server's listings would tell it.
QDateTime UploadBatch::asListed(const QDateTime &time) const
{
    return m_clock ? time.addSecs(m_clock->offsetSeconds()) : time;
}

// The files left are not tried one by one against a server that does not answer.
void UploadBatch::giveUpOnServer()
{
    int notSent = 0;
    for (const auto &step : std::as_const(m_steps)) {
        if (step->kind == Step::Kind::Folder || step->done)
            continue;
        if (step->kind == Step::Kind::Page) {
            notSent += FileSystem::FileExists(step->localImage) ? 1 : 0;
            continue;
        }
        const QString entry = m_inputs.entries.at(step->entry);
        notSent += FileSystem::FileExists(m_layout.copyPath(entry)) ? 1 : 0;
        const QString thumbnail = m_layout.thumbnailPath(entry);
        notSent += !thumbnail.isEmpty() && FileSystem::FileExists(thumbnail) ? 1 : 0;
    }
    m_failedFiles += notSent;
    line(u"ERROR: The server stopped answering; "_s + filesText(notSent) +
         (notSent == 1 ? u" was"_s : u" were"_s) + u" not sent."_s);
}

// Images no entry of the scan maps to any more, in the folders this upload mirrors; only when
// the scan saw the whole tree, and only what the user agrees to.
void UploadBatch::offerRemovals()
{
    if (!m_inputs.wholeTree) {
        line(u" - The last scan did not cover the whole image root, so nothing was removed."_s);
        return;
    }
    RemovalPlan plan(m_layout, m_inputs.entries, m_inputs.folders);
    if (!m_inputs.pageName.isEmpty())
        plan.removePagesOutside(m_inputs.pageName, m_inputs.pageFolders);
    QStringList doomed;
    for (const QString &folder : plan.folders()) {
        if (yieldCancelled())
            return;
        const std::optional<RemoteListing> remote = listing(folder);
        if (!remote) {
            if (!m_run.cancelRequested())
                line(u" - "_s + folderLabel(folder) + u" could not be listed; nothing was removed there."_s);
            continue;
        }
        for (const QString &name : plan.candidates(folder, remote->entries()))
            doomed.append(joined(folder, name));
    }
    if (doomed.isEmpty())
        return;
    QString question = u"Remove %1 from the server?\n"_s.arg(filesText(static_cast<int>(doomed.size())));
    for (int i = 0; i < doomed.size() && i < RemovalsNamed; ++i)
        question += u"\n/"_s + doomed.at(i);
    if (doomed.size() > RemovalsNamed)
        question += u"\n…and %1 more"_s.arg(doomed.size() - RemovalsNamed);
    if (!m_host.askYesNo(question, u"Remove Files"_s, MessageBoxService::Icon::Question, true))
        return;
    for (const QString &path : std::as_const(doomed)) {
        if (yieldCancelled())
            return;
        const QString target = remotePath(path);
        if (call([&](AtomicPutClient &client) { return client.inner().removeFile(target); })) {
            line(u"Removed /"_s + path);
        } else if (!m_run.cancelRequested()) {
            ++m_failedFiles;
            line(u"ERROR: Failed to remove /"_s + path);
        }
    }
}

std::optional<RemoteListing> UploadBatch::listing(const QString &folder)
{
    // Each folder is listed once in a run, whatever that gave.
    if (const auto found = m_listings.constFind(folder); found != m_listings.constEnd())
        return *found;
    const QString path = remotePath(folder);
    std::optional<QList<RemoteEntry>> entries;
    call([&](AtomicPutClient &client) {
        const FtpClient::Listing listed = client.listFolder(path);
        if (listed.outcome)
            entries = listed.entries;
        return listed.outcome;
    });
    std::optional<RemoteListing> remote;
    if (entries)
        remote = RemoteListing(*entries);
    m_listings.insert(folder, remote);
    return remote;
}

QString UploadBatch::remotePath(const QString &relative) const
{
    return joined(m_rootPath, relative);
}

void UploadBatch::fail(const QString &text, const QString &box)
{
    line(text);
    m_host.showBox(box, ErrorTitle, MessageBoxService::Icon::Critical);
}

void UploadBatch::line(const QString &text)
{
    m_progress->addLine(text);
    m_progress->repaintNow();
}

// Lets the window work; Cancel, once seen, ends every transfer in hand at once.
bool UploadBatch::yieldCancelled()
{
    const bool cancelled = m_host.yieldCancelled();
    if (cancelled && !m_cancelSent && m_pool) {
        m_pool->cancel();
        m_cancelSent = true;
    }
    return cancelled;
}

void UploadBatch::finish()
{
    if (m_pool) {
        m_pool->closeAll();
        m_pool.reset();
    }
    m_host.restoreControls();
    if (m_progress)
        m_progress->finishRun();
}
