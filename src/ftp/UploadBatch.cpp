#include "UploadBatch.h"

#include "AtomicPutClient.h"
#include "Catalog.h"
#include "PartLedger.h"
#include "PortText.h"
#include "RemoteFolders.h"
#include "RunState.h"
#include "UploadConnections.h"
#include "UploadHost.h"
#include "UploadPlan.h"
#include "UploadProgress.h"
#include "UploadRemovals.h"
#include "UploadScheduler.h"

using namespace Qt::Literals::StringLiterals;

namespace {

const QString ErrorTitle = u"FTP Error!!"_s;

} // namespace

OutputLayout UploadInputs::layout() const
{
    return OutputLayout(imageRoot, destinationRoot, thumbnailSize, thumbnailPrefix);
}

UploadBatch::UploadBatch(const UploadInputs &inputs, const Catalog &catalog, RunState &run, UploadHost &host,
                         ClientFactory makeClient)
    : m_inputs(inputs), m_catalog(catalog), m_layout(inputs.layout()), m_run(run), m_host(host),
      m_makeClient(std::move(makeClient))
{}

UploadBatch::~UploadBatch() = default;

QString UploadBatch::failureText(int failedFiles)
{
    if (failedFiles == 1)
        return u"1 file failed to upload!!"_s;
    return u"%1 files failed to upload!!"_s.arg(failedFiles);
}

UploadBatch::Outcome UploadBatch::run()
{
    m_result = UploadResult();
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
    if (m_connections)
        m_connections->cancel();
    finish();
}

UploadBatch::Outcome UploadBatch::transfer()
{
    const FtpSettings &settings = m_inputs.server;
    m_memory = m_inputs.memory ? m_inputs.memory : std::make_shared<PublishMemory>();
    m_parts = m_memory->parts(settings);
    const auto print = [this](const QString &text) { line(text); };
    m_connections =
        std::make_unique<UploadConnections>(settings, m_run, m_host, m_makeClient, m_parts, print);
    m_folders = std::make_unique<RemoteFolders>(*m_connections, m_run, print);
    if (!m_connections->open()) {
        fail(u"ERROR: Failed access the internet!!"_s, u"FTP Connection Error!!"_s);
        return Outcome::Refused;
    }
    // Cancel ends the step in hand, which then fails: that is no error to report.
    const std::optional<uint16_t> port =
        PortText::connectPort(settings.port, TransferSecurityText::defaultPort(settings.security));
    if (!port || !m_connections->connectFirst(*port)) {
        if (m_run.cancelRequested())
            return cancelled();
        fail(u"ERROR: Failed to connect to "_s + settings.address, u"Address Connection Error!!"_s);
        return Outcome::Refused;
    }
    // The other connections log in while the folders are seen to on the first.
    m_connections->connectOthers(*port);
    if (!m_folders->locateRoot(settings.root)) {
        if (m_run.cancelRequested())
            return cancelled();
        fail(u"ERROR: Failed to locate root folder!!"_s, u"Cannot locate root folder!!"_s);
        return Outcome::Refused;
    }
    line(u"CD "_s + settings.root);
    m_progress->addLine(u"Finding/Creating Folders on FTP Root"_s);
    line(u" - This may take time, be patient!"_s);

    if (!makeFolders())
        return cancelled();
    line(u"Folders on FTP Root Successfully found/created."_s);
    line(u" - Working on Root Folder"_s);
    return filePhase();
}

bool UploadBatch::makeFolders()
{
    QStringList folders;
    QStringList labels;
    for (const QString &folder : m_catalog.folders()) {
        folders.append(m_layout.relative(folder));
        labels.append(UploadPlan::spelledBelowRoot(folders.constLast(), m_inputs.imageRoot));
    }
    return m_folders->makeFolders(folders, labels, [this] {
        m_host.showBox(u"Cannot find/create folder!!"_s, ErrorTitle, MessageBoxService::Icon::Critical);
    });
}

UploadBatch::Outcome UploadBatch::filePhase()
{
    m_connections->waitForOthers();
    removeLeftParts();
    UploadPlan::Options options;
    options.imageRoot = m_inputs.imageRoot;
    options.onlyChanged = m_inputs.server.onlyChanged;
    options.pageWaves = m_inputs.pageWaves;
    const UploadPlan plan(m_catalog, m_layout, options);
    UploadScheduler scheduler(plan, m_inputs.server, *m_connections, *m_folders, *m_memory, m_run,
                              *m_progress, [this](const QString &text) { line(text); });
    scheduler.run();
    m_result.sent = scheduler.files().sent;
    m_result.skipped = scheduler.files().skipped;
    m_result.failed = scheduler.files().failed;

    if (m_run.cancelRequested()) {
        m_progress->setFileInProgress(u"Operation Cancelled!!"_s);
        return cancelled();
    }
    if (!scheduler.serverGone())
        removeLeftParts();
    const int skipped = skippedFiles();
    if (skipped > 0)
        line(skipped == 1 ? u"1 file already on the server was not sent."_s
                          : u"%1 files already on the server were not sent."_s.arg(skipped));
    if (m_inputs.server.removeMissing && !scheduler.serverGone()) {
        UploadRemovals removals(*m_connections, *m_folders, m_host, m_run,
                                [this](const QString &text) { line(text); });
        removals.offer(m_catalog, m_layout, m_inputs.pageName, m_inputs.pageFolders);
        m_result.removed = removals.removed();
        m_result.failed += removals.failed();
        if (m_run.cancelRequested()) {
            m_progress->setFileInProgress(u"Operation Cancelled!!"_s);
            return cancelled();
        }
    }
    if (failedFiles() > 0) {
        m_progress->setFileInProgress(u"Operation Completed with Errors!!"_s);
        line(failureText(failedFiles()));
        return Outcome::CompleteWithErrors;
    }
    m_progress->setFileInProgress(u"Operation Complete."_s);
    line(u"Files Successfully copied."_s);
    m_host.clearUploadedList();
    return Outcome::Complete;
}

UploadBatch::Outcome UploadBatch::cancelled()
{
    line(u"Operation cancelled."_s);
    return Outcome::Cancelled;
}

// Parts that puts of this or an earlier run left when the connection went.
void UploadBatch::removeLeftParts()
{
    if (m_parts->isEmpty() || m_run.cancelRequested())
        return;
    m_connections->call([](AtomicPutClient &client) {
        client.removeLeftParts();
        return TransferOutcome();
    });
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

void UploadBatch::finish()
{
    if (m_connections) {
        m_connections->closeAll();
        m_folders.reset();
        m_connections.reset();
    }
    m_host.restoreControls();
    if (m_progress)
        m_progress->finishRun();
}
