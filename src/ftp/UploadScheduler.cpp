#include "UploadScheduler.h"

#include "AtomicPutClient.h"
#include "FileSystem.h"
#include "PublishMemory.h"
#include "RemoteFolders.h"
#include "RunState.h"
#include "UploadConnections.h"
#include "UploadProgress.h"

#include <QFileInfo>
#include <algorithm>

using namespace Qt::Literals::StringLiterals;
using Failure = FtpClient::Failure;

namespace {

bool connectionTrouble(Failure failure)
{
    return failure == Failure::ConnectionLost || failure == Failure::Stalled ||
           failure == Failure::Unreachable;
}

QString filesText(int count)
{
    return count == 1 ? u"1 file"_s : u"%1 files"_s.arg(count);
}

} // namespace

// A step as it runs. What a connection's thread writes here is read only after the step has
// been collected.
struct UploadScheduler::StepRun
{
    // One file of the step that goes, and how that went.
    struct Sending
    {
        UploadFile file;
        QDateTime time;
        bool sent = false;
        Failure failure = Failure::None;
    };

    int slot = -1;
    bool dispatched = false;
    bool prepared = false;
    bool done = false;

    // A folder: whether it is there, and what its listing showed.
    bool exists = false;
    Failure failure = Failure::None;
    std::optional<QList<RemoteEntry>> listed;
    std::optional<ServerClock> clock;

    // Files: those to send, the image (or page) before its thumbnail.
    QList<Sending> sendings;
    Failure timeFailure = Failure::None;
};

UploadScheduler::UploadScheduler(const UploadPlan &plan, const FtpSettings &server,
                                 UploadConnections &connections, RemoteFolders &folders,
                                 PublishMemory &memory, RunState &run, UploadProgress &progress,
                                 UploadLog::Output line)
    : m_steps(plan.steps()), m_server(server), m_connections(connections), m_folders(folders),
      m_memory(memory), m_run(run), m_progress(progress), m_line(line), m_log(line),
      m_toSend(plan.filesToSend()), m_clock(memory, server)
{
    for (int i = 0; i < m_steps.size(); ++i) {
        auto stepRun = std::make_shared<StepRun>();
        stepRun->slot = m_log.append(plan.linesBefore(i));
        m_runs.append(stepRun);
        m_pending.append(i);
        m_order.append(i);
    }
}

void UploadScheduler::run()
{
    m_progress.showFileCount(0, m_toSend);
    ConnectionPool &pool = m_connections.pool();
    for (;;) {
        m_log.flush();
        const bool cancelled = m_connections.yieldCancelled();
        if (!cancelled && !m_serverGone) {
            while (dispatchNext()) {
            }
        }
        showInFlight();
        const auto &all = m_connections.all();
        const bool inFlight = std::any_of(all.cbegin(), all.cend(),
                                          [](const auto &connection) { return connection->step >= 0; });
        if (!inFlight) {
            // Steps left that no connection can take mean the server is gone.
            if (!cancelled && !m_serverGone && !m_pending.isEmpty())
                m_serverGone = true;
            break;
        }
        for (int connection : pool.collect(std::chrono::milliseconds(10)))
            finish(connection);
    }
    m_log.flush(true);
    if (m_serverGone && !m_run.cancelRequested())
        giveUp();
}

bool UploadScheduler::dispatchNext()
{
    if (m_pending.isEmpty())
        return false;
    const int index = m_pending.constFirst();
    const auto waitsFor = [this](int before) { return before >= 0 && !m_runs.at(before)->done; };
    if (const auto *entry = std::get_if<EntryStep>(&m_steps.at(index))) {
        if (waitsFor(entry->folderStep) || waitsFor(entry->listingStep) || m_clock.holdsBack(entry->folder))
            return false;
    }
    if (const auto *page = std::get_if<PageStep>(&m_steps.at(index))) {
        for (int i = 0; i < m_steps.size(); ++i) {
            const auto *other = std::get_if<PageStep>(&m_steps.at(i));
            if (!m_runs.at(i)->done && !(other && other->wave >= page->wave))
                return false;
        }
    }
    const std::shared_ptr<UploadConnections::Connection> connection = m_connections.idle();
    if (!connection)
        return false;
    m_pending.removeFirst();
    StepRun &stepRun = *m_runs.at(index);
    stepRun.dispatched = true;
    m_log.started(stepRun.slot);
    if (std::holds_alternative<FolderStep>(m_steps.at(index))) {
        startFolder(index, connection->index);
        return true;
    }
    if (!prepare(index))
        return true;
    startFiles(index, connection->index);
    return true;
}

// A folder that lists is there; only one that does not is looked at again.
void UploadScheduler::startFolder(int index, int connection)
{
    const FolderStep step = std::get<FolderStep>(m_steps.at(index));
    const std::shared_ptr<StepRun> stepRun = m_runs.at(index);
    const QString path = m_folders.remotePath(step.folder);
    m_connections.byIndex(connection)->step = index;
    m_connections.pool().start(connection, [step, stepRun, path](AtomicPutClient &client) {
        if (step.list) {
            const FtpClient::Listing listed = step.readClock
                                                  ? client.listFolderReadingClock(path, stepRun->clock)
                                                  : client.listFolder(path);
            stepRun->listed = listed.outcome ? std::optional(listed.entries) : std::nullopt;
            stepRun->failure = listed.outcome.failure;
            stepRun->exists = stepRun->listed.has_value();
            if (stepRun->exists || stepRun->failure != Failure::Refused)
                return;
        }
        const TransferOutcome found = step.enter ? client.inner().folderExists(path) : TransferOutcome();
        stepRun->exists = found.ok();
        if (!stepRun->exists || !step.list)
            stepRun->failure = found.failure;
    });
}

// Works out what of an entry (or a page) goes, once; one whose file is missing, or that needs
// nothing sent, is done here.
bool UploadScheduler::prepare(int index)
{
    StepRun &stepRun = *m_runs.at(index);
    if (stepRun.prepared)
        return true;
    stepRun.prepared = true;
    const UploadStep &step = m_steps.at(index);
    const auto *entry = std::get_if<EntryStep>(&step);
    const UploadFile primary = entry ? entry->image : std::get<PageStep>(step).page;
    if (!FileSystem::FileExists(primary.local)) {
        m_files.failed.append(primary.remote);
        m_log.add(stepRun.slot, u"ERROR: "_s + primary.local + u" does not exist!!"_s);
        stepRun.done = true;
        m_log.done(stepRun.slot);
        countDone();
        return false;
    }
    const RemoteListing *listing =
        m_server.onlyChanged && !m_clock.untrusted() ? m_folders.kept(folderOf(index)) : nullptr;
    const qint64 offset = m_clock.offsetSeconds();
    for (const UploadFile &file : {primary, entry ? entry->thumbnail : UploadFile()}) {
        if (file.local.isEmpty() ||
            (file.role == UploadFile::Role::Thumbnail && !FileSystem::FileExists(file.local)))
            continue;
        const QFileInfo local(file.local);
        const QDateTime time = local.lastModified().toUTC();
        if (UploadPlan::sends(OutputLayout::fileName(file.remote), {local.size(), time}, listing, offset))
            stepRun.sendings.append({file, time});
        else
            m_files.skipped.append(file.remote);
    }
    if (!stepRun.sendings.isEmpty())
        return true;
    stepRun.done = true;
    m_log.done(stepRun.slot);
    countDone();
    return false;
}

void UploadScheduler::startFiles(int index, int connection)
{
    const std::shared_ptr<UploadConnections::Connection> target = m_connections.byIndex(connection);
    const std::shared_ptr<StepRun> stepRun = m_runs.at(index);
    target->step = index;
    target->sent = 0;
    target->total = 0;
    const bool setTimes = m_server.onlyChanged;
    const std::shared_ptr<std::atomic<bool>> timesRefused = m_clock.timesRefused();
    QList<QString> remotes;
    for (const StepRun::Sending &sending : std::as_const(stepRun->sendings))
        remotes.append(m_folders.remotePath(sending.file.remote));
    m_connections.pool().start(
        connection, [stepRun, target, setTimes, timesRefused, remotes](AtomicPutClient &client) {
            const auto progress = [&target](qint64 sent, qint64 total) {
                target->sent = sent;
                target->total = total;
            };
            for (qsizetype i = 0; i < stepRun->sendings.size(); ++i) {
                StepRun::Sending &sending = stepRun->sendings[i];
                if (sending.sent)
                    continue;
                target->sent = 0;
                target->total = 0;
                // The server's copy takes the local time, so later runs compare exactly.
                TransferOutcome outcome;
                if (!setTimes || *timesRefused) {
                    outcome = client.putFile(sending.file.local, remotes.at(i), progress);
                } else {
                    const AtomicPutClient::TimedPut timed =
                        client.putFileWithTime(sending.file.local, remotes.at(i), sending.time, progress);
                    if (timed.time == Failure::Refused)
                        *timesRefused = true;
                    else if (timed.time != Failure::None)
                        stepRun->timeFailure = timed.time;
                    outcome = timed.put;
                }
                sending.sent = outcome.ok();
                sending.failure = outcome.failure;
                // A thumbnail stays behind with its image.
                if (!sending.sent && sending.file.role != UploadFile::Role::Thumbnail)
                    return;
            }
        });
}

void UploadScheduler::finish(int index)
{
    const std::shared_ptr<UploadConnections::Connection> connection = m_connections.byIndex(index);
    if (!connection || connection->step < 0)
        return;
    const int step = std::exchange(connection->step, -1);
    if (std::holds_alternative<FolderStep>(m_steps.at(step))) {
        finishFolder(step, index);
        return;
    }
    finishFiles(step, index);
    // The bar stays on the file that ended until another is in flight.
    const qint64 total = connection->total;
    const auto &sendings = m_runs.at(step)->sendings;
    if (!sendings.isEmpty() && sendings.constFirst().sent && connection->sent == total)
        m_progress.showTransfer(total, total);
}

void UploadScheduler::finishFolder(int index, int connection)
{
    const FolderStep &step = std::get<FolderStep>(m_steps.at(index));
    StepRun &stepRun = *m_runs.at(index);
    if (!stepRun.exists) {
        if (stepRun.failure == Failure::Cancelled)
            return;
        if (connectionTrouble(stepRun.failure)) {
            // Not the folder's fault: it is tried again, by another connection if this one went.
            judge(connection, stepRun.failure);
            requeue(index);
            return;
        }
        judge(connection, stepRun.failure);
        m_log.add(stepRun.slot, u"Failed to locate "_s + step.label);
        stepRun.done = true;
        m_log.done(stepRun.slot);
        m_run.setCancelRequested(true);
        return;
    }
    judge(connection, stepRun.listed || !step.list ? Failure::None : stepRun.failure);
    stepRun.done = true;
    m_log.done(stepRun.slot);
    if (!step.list)
        return;
    m_folders.keep(step.folder, stepRun.listed ? std::optional<RemoteListing>(RemoteListing(*stepRun.listed))
                                               : std::nullopt);
    if (step.readClock) {
        if (!m_clock.probed(stepRun.clock))
            m_log.add(
                stepRun.slot,
                u" - The server's times cannot be compared with this computer's; every file is sent."_s);
        return;
    }
    const RemoteListing *listing = m_folders.kept(step.folder);
    if (!listing || !listing->tellsSizesAndTimes())
        m_log.add(stepRun.slot, u" - The server gives no sizes or times in "_s +
                                    UploadPlan::folderLabel(step.folder) + u"; every file there is sent."_s);
    else if (m_clock.learnFrom(step.folder, *listing, localFilesIn(step.folder)))
        sendProbe(index);
}

// The entries of the folder wait until the empty file sent there tells the server's clock.
void UploadScheduler::sendProbe(int listingStep)
{
    FolderStep probe = std::get<FolderStep>(m_steps.at(listingStep));
    probe.enter = false;
    probe.list = true;
    probe.readClock = true;
    const int index = static_cast<int>(m_steps.size());
    m_steps.append(probe);
    auto stepRun = std::make_shared<StepRun>();
    stepRun->slot = m_log.insertAfter(m_runs.at(listingStep)->slot);
    m_runs.append(stepRun);
    m_order.insert(m_order.indexOf(listingStep) + 1, index);
    requeue(index);
}

void UploadScheduler::finishFiles(int index, int connection)
{
    StepRun &stepRun = *m_runs.at(index);
    StepRun::Sending *primary = nullptr;
    StepRun::Sending *thumbnail = nullptr;
    for (StepRun::Sending &sending : stepRun.sendings)
        (sending.file.role == UploadFile::Role::Thumbnail ? thumbnail : primary) = &sending;
    if (primary && !primary->sent && primary->failure == Failure::Unreachable) {
        // Nothing of it reached the server: another connection sends it, or it is counted as
        // not sent when none is left.
        judge(connection, primary->failure);
        primary->failure = Failure::None;
        requeue(index);
        return;
    }
    // A put that Cancel ended is no failure, and the thumbnail stays behind with it.
    if (primary && !primary->sent) {
        if (primary->failure != Failure::Cancelled) {
            m_files.failed.append(primary->file.remote);
            m_log.add(stepRun.slot, (primary->file.role == UploadFile::Role::Page
                                         ? u"ERROR: Failed to upload gallery file "_s
                                         : u"ERROR: Failed to upload image file "_s) +
                                        primary->file.local);
        }
        judge(connection, primary->failure);
    } else {
        if (primary)
            m_files.sent.append(primary->file.remote);
        judge(connection, primary ? stepRun.timeFailure : Failure::None);
        if (thumbnail && thumbnail->sent) {
            m_files.sent.append(thumbnail->file.remote);
        } else if (thumbnail) {
            if (thumbnail->failure != Failure::Cancelled) {
                m_files.failed.append(thumbnail->file.remote);
                m_log.add(stepRun.slot, u"ERROR: Failed to upload thumbnail file "_s + thumbnail->file.local);
            }
            judge(connection, thumbnail->failure);
        }
    }
    stepRun.done = true;
    m_log.done(stepRun.slot);
    countDone();
}

void UploadScheduler::judge(int connection, Failure failure)
{
    if (!m_connections.judge(connection, failure)) {
        if (m_connections.alive() == 0)
            m_serverGone = true;
        return;
    }
    if (failure != Failure::Unreachable || m_connections.limitTold())
        return;
    // Told where the list stands now, before the lines of the steps still to come.
    const int left = m_connections.alive();
    const int slot =
        m_pending.isEmpty() ? m_log.append() : m_log.insertBefore(m_runs.at(m_pending.constFirst())->slot);
    m_log.add(slot, u" - The server accepts %1 connections; going on with %1."_s.arg(left));
    m_log.done(slot);
    m_connections.setLimitTold();
}

void UploadScheduler::requeue(int index)
{
    m_runs.at(index)->dispatched = false;
    const qsizetype rank = m_order.indexOf(index);
    const auto at = std::find_if(m_pending.begin(), m_pending.end(),
                                 [&](int pending) { return m_order.indexOf(pending) > rank; });
    m_pending.insert(at, index);
}

// The files left are not tried one by one against a server that does not answer.
void UploadScheduler::giveUp()
{
    int notSent = 0;
    for (int i = 0; i < m_steps.size(); ++i) {
        if (m_runs.at(i)->done || std::holds_alternative<FolderStep>(m_steps.at(i)))
            continue;
        const auto *entry = std::get_if<EntryStep>(&m_steps.at(i));
        for (const UploadFile &file : {entry ? entry->image : std::get<PageStep>(m_steps.at(i)).page,
                                       entry ? entry->thumbnail : UploadFile()}) {
            if (!file.local.isEmpty() && FileSystem::FileExists(file.local)) {
                m_files.failed.append(file.remote);
                ++notSent;
            }
        }
    }
    m_line(u"ERROR: The server stopped answering; "_s + filesText(notSent) +
           (notSent == 1 ? u" was"_s : u" were"_s) + u" not sent."_s);
}

// The file named is the first in flight in the list's order; the bar counts every one.
void UploadScheduler::showInFlight()
{
    qint64 sent = 0;
    qint64 total = 0;
    int first = -1;
    for (const auto &connection : m_connections.all()) {
        if (connection->step < 0 || std::holds_alternative<FolderStep>(m_steps.at(connection->step)))
            continue;
        sent += connection->sent;
        total += connection->total;
        if (first < 0 || connection->step < first)
            first = connection->step;
    }
    if (first < 0)
        return;
    const auto *entry = std::get_if<EntryStep>(&m_steps.at(first));
    m_progress.setFileInProgress(entry ? entry->image.local
                                       : std::get<PageStep>(m_steps.at(first)).page.local);
    m_progress.showTransfer(sent, total);
}

void UploadScheduler::countDone()
{
    m_progress.showFileCount(++m_done, m_toSend);
}

QStringList UploadScheduler::localFilesIn(const QString &folder) const
{
    QStringList files;
    for (const UploadStep &step : std::as_const(m_steps)) {
        if (const auto *entry = std::get_if<EntryStep>(&step); entry && entry->folder == folder)
            files << entry->image.local << entry->thumbnail.local;
    }
    return files;
}

QString UploadScheduler::folderOf(int index) const
{
    return std::visit([](const auto &step) { return step.folder; }, m_steps.at(index));
}
