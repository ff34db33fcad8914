#include "UploadBatch.h"

#include "AtomicPutClient.h"
#include "DestinationPath.h"
#include "FileSystem.h"
#include "IdentityMessages.h"
#include "PortText.h"
#include "RunState.h"
#include "UploadHost.h"
#include "UploadProgress.h"

using namespace Qt::Literals::StringLiterals;

namespace {

const QString ErrorTitle = u"FTP Error!!"_s;

QString lastPiece(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash < 0 ? path : path.mid(slash + 1);
}

QString withoutLastPiece(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash < 0 ? QString() : path.left(slash);
}

// A path below the image root as the lines show it: the entry's text after the image root, so
// it starts with a separator unless the root text ends in one.
QString spelledBelowRoot(const QString &relative, const QString &imageRoot)
{
    return relative.isEmpty() || imageRoot.endsWith(u'/') ? relative : u'/' + relative;
}

QString joined(const QString &path, const QString &piece)
{
    if (piece.isEmpty())
        return path;
    return path.isEmpty() ? piece : path + u'/' + piece;
}

} // namespace

OutputLayout UploadInputs::layout() const
{
    return OutputLayout(imageRoot, destinationRoot, thumbnailSize, thumbnailPrefix);
}

UploadBatch::UploadBatch(const UploadInputs &inputs, RunState &run, UploadHost &host,
                         std::unique_ptr<FtpClient> client)
    : m_inputs(inputs), m_run(run), m_host(host),
      m_client(std::make_unique<AtomicPutClient>(std::move(client)))
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
    m_failedFiles = 0;
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
    finish();
}

UploadBatch::Outcome UploadBatch::transfer()
{
    const FtpSettings &settings = m_inputs.server;
    m_opened = m_client->open();
    if (!m_opened) {
        fail(u"ERROR: Failed access the internet!!"_s, u"FTP Connection Error!!"_s);
        return Outcome::Refused;
    }
    // Cancel ends the step in hand, which then fails: that is no error to report.
    const std::optional<uint16_t> port =
        PortText::connectPort(settings.port, TransferSecurityText::defaultPort(settings.security));
    if (!port || !connectToServer(*port)) {
        if (m_run.cancelRequested())
            return cancelledEarly();
        fail(u"ERROR: Failed to connect to "_s + settings.address, u"Address Connection Error!!"_s);
        return Outcome::Refused;
    }
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
    m_currentFolder.clear();
    m_currentPath = m_rootPath;
    line(u" - Working on Root Folder"_s);
    return filePhase();
}

// A server whose identity is wanting is connected to only when the user trusts what it
// offered; a changed one never is.
bool UploadBatch::connectToServer(uint16_t port)
{
    const FtpSettings &settings = m_inputs.server;
    if (m_client->connect(settings.address, port, settings.username, settings.password))
        return true;
    const ServerIdentity identity = m_client->identity();
    if (identity.problem == ServerIdentity::Problem::None || m_run.cancelRequested())
        return false;
    line(IdentityMessages::line(identity));
    switch (identity.problem) {
    case ServerIdentity::Problem::UntrustedCertificate:
    case ServerIdentity::Problem::UnknownHostKey:
        if (!m_host.askYesNo(IdentityMessages::question(identity), IdentityMessages::questionTitle(identity),
                             MessageBoxService::Icon::Exclamation))
            return false;
        if (!m_client->trust(identity))
            line(IdentityMessages::notKept());
        if (identity.problem == ServerIdentity::Problem::UntrustedCertificate)
            FtpSettings::storeTlsPin(identity.server + u' ' + identity.publicKeyPin);
        return m_client->connect(settings.address, port, settings.username, settings.password);
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
        if (m_client->folderExists(below))
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
        if (m_host.yieldCancelled())
            return false;
        const QString relative = DestinationPath::relativeToRoot(entry, imageRoot);
        bool failed = false;
        QString reached = m_rootPath;
        for (const QString &piece : relative.split(u'/')) {
            if (m_host.yieldCancelled())
                break;
            if (piece.isEmpty())
                continue;
            const QString below = joined(reached, piece);
            if (m_client->folderExists(below)) {
                reached = below;
                continue;
            }
            if (m_run.cancelRequested())
                break;
            if (m_client->makeFolder(below)) {
                if (m_client->folderExists(below)) {
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
        if (m_host.yieldCancelled())
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

UploadBatch::Outcome UploadBatch::filePhase()
{
    const int count = static_cast<int>(m_inputs.entries.size());
    int toSend = 0;
    for (int i = 0; i < count; ++i)
        toSend += m_inputs.ticked.at(i) ? 0 : 1;
    int done = 0;
    m_progress->showFileCount(done, toSend);

    bool cancelled = false;
    for (int i = 0; i < count; ++i) {
        if (m_host.yieldCancelled()) {
            cancelled = true;
            break;
        }
        if (m_inputs.ticked.at(i))
            continue;
        if (m_host.yieldCancelled()) {
            cancelled = true;
            break;
        }
        const QString entry = m_inputs.entries.at(i);
        const QString relative = DestinationPath::relativeToRoot(entry, m_inputs.imageRoot);
        const QString remoteFolder = spelledBelowRoot(withoutLastPiece(relative), m_inputs.imageRoot);
        if (remoteFolder != m_currentFolder && !enterRemoteFolder(remoteFolder)) {
            cancelled = true;
            if (m_run.cancelRequested())
                break;
            line(u"Failed to locate "_s + remoteFolder);
            m_run.setCancelRequested(true);
            break;
        }
        sendEntry(i);
        m_progress->showFileCount(++done, toSend);
    }

    if (cancelled || m_run.cancelRequested()) {
        m_progress->setFileInProgress(u"Operation Cancelled!!"_s);
        line(u"Operation cancelled."_s);
        return Outcome::Cancelled;
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

// False when the folder below the FTP root cannot be entered.
bool UploadBatch::enterRemoteFolder(const QString &remoteFolder)
{
    m_currentFolder = remoteFolder;
    m_currentPath = joined(m_rootPath, remoteFolder.split(u'/', Qt::SkipEmptyParts).join(u'/'));
    const bool entered = m_client->folderExists(m_currentPath);
    line(u" - Working on "_s + remoteFolder);
    return entered;
}

void UploadBatch::sendEntry(int index)
{
    const QString entry = m_inputs.entries.at(index);
    const OutputLayout layout = m_inputs.layout();
    const QString localImage = layout.copyPath(entry);
    const QString fileName = lastPiece(localImage);
    const QString localThumbnail = layout.thumbnailPath(entry);
    m_progress->setFileInProgress(localImage);

    if (!FileSystem::FileExists(localImage)) {
        ++m_failedFiles;
        line(u"ERROR: "_s + localImage + u" does not exist!!"_s);
        return;
    }
    // A put that Cancel ended is no failure, and the thumbnail stays behind with it.
    if (!put(localImage, joined(m_currentPath, fileName))) {
        if (m_run.cancelRequested())
            return;
        ++m_failedFiles;
        line(u"ERROR: Failed to upload image file "_s + localImage);
        return;
    }
    if (localThumbnail.isEmpty() || !FileSystem::FileExists(localThumbnail))
        return;
    if (!put(localThumbnail, joined(m_currentPath, layout.thumbnailName(fileName))) &&
        !m_run.cancelRequested()) {
        ++m_failedFiles;
        line(u"ERROR: Failed to upload thumbnail file "_s + localThumbnail);
    }
}

bool UploadBatch::put(const QString &localPath, const QString &path)
{
    m_progress->showTransfer(0, 0);
    return m_client->putFile(localPath, path,
                             [this](qint64 sent, qint64 total) { m_progress->showTransfer(sent, total); });
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
    if (m_opened)
        m_client->close();
    m_opened = false;
    m_host.restoreControls();
    if (m_progress)
        m_progress->finishRun();
}
