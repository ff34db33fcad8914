#include "SftpClient.h"

#include "KnownHosts.h"
#include "RemotePath.h"
#include "SftpConnection.h"

#include <QFile>
#include <QStringList>
#include <algorithm>
#include <limits>

using namespace Qt::Literals::StringLiterals;

namespace {

// The SFTP path of a path below the login folder: relative, as servers resolve such paths from
// it. Empty when it cannot be sent.
QByteArray sftpPath(const QString &path, bool mayBeLoginFolder)
{
    if (!RemotePath::safe(path))
        return {};
    const QStringList pieces = RemotePath::piecesOf(path);
    if (pieces.isEmpty())
        return mayBeLoginFolder ? QByteArrayLiteral(".") : QByteArray();
    return pieces.join(u'/').toUtf8();
}

// SFTP carries times as unsigned 32-bit seconds: nothing for a time it cannot.
std::optional<qint64> sftpSeconds(const QDateTime &time)
{
    const qint64 seconds = time.isValid() ? time.toSecsSinceEpoch() : -1;
    if (seconds < 0 || seconds > std::numeric_limits<quint32>::max())
        return std::nullopt;
    return seconds;
}

FtpClient::Failure failureFor(TransferEngine::Stop stop, SftpConnection::Fault fault)
{
    if (stop != TransferEngine::Stop::None)
        return TransferEngine::failureOf(stop);
    switch (fault) {
    case SftpConnection::Fault::Status:
        return FtpClient::Failure::Refused;
    case SftpConnection::Fault::LocalFile:
        return FtpClient::Failure::LocalFile;
    case SftpConnection::Fault::Silent:
        return FtpClient::Failure::Stalled;
    case SftpConnection::Fault::None:
    case SftpConnection::Fault::Login:
    case SftpConnection::Fault::HostKey:
    case SftpConnection::Fault::Lost:
        break;
    }
    return FtpClient::Failure::ConnectionLost;
}

} // namespace

SftpClient::SftpClient(ConnectionOptions options)
    : m_options(std::move(options)), m_engine(m_options.stallSeconds * 1000),
      m_hostKeys(m_options.knownHostsPath.isEmpty() ? KnownHosts::defaultPath() : m_options.knownHostsPath)
{}

SftpClient::~SftpClient()
{
    close();
}

bool SftpClient::open()
{
    close();
    m_opened = SftpConnection::libraryReady();
    return m_opened;
}

TransferOutcome SftpClient::connect(const QString &host, uint16_t port, const QString &user,
                                    const QString &password)
{
    close();
    m_identity = {};
    if (!m_opened || host.isEmpty())
        return refuse();
    m_host = host;
    m_port = port == 0 ? TransferSecurityText::defaultPort(TransferSecurity::Sftp) : port;
    m_user = user;
    m_password = password;
    m_hostKeys.setServer(m_host, m_port);
    TransferOutcome outcome = perform([](SftpConnection &) { return true; });
    m_loggedIn = outcome.ok();
    // A login the server turned down is its answer; later, it means the connection is lost.
    if (m_fault == SftpConnection::Fault::Login)
        outcome.failure = Failure::Refused;
    return outcome;
}

TransferOutcome SftpClient::folderExists(const QString &folder)
{
    const QByteArray path = sftpPath(folder, true);
    if (!m_loggedIn || path.isEmpty())
        return refuse();
    return perform([&](SftpConnection &connection) { return connection.isFolder(path); });
}

TransferOutcome SftpClient::makeFolder(const QString &folder)
{
    const QByteArray path = sftpPath(folder, false);
    if (!m_loggedIn || path.isEmpty())
        return refuse();
    return perform([&](SftpConnection &connection) { return connection.makeFolder(path); });
}

FtpClient::Listing SftpClient::listFolder(const QString &folder)
{
    const QByteArray path = sftpPath(folder, true);
    if (!m_loggedIn || path.isEmpty())
        return {{}, refuse()};
    std::optional<QList<RemoteEntry>> entries;
    const TransferOutcome outcome = perform([&](SftpConnection &connection) {
        entries = connection.list(path);
        return entries.has_value();
    });
    // Also after a listing that came whole just as the step was stopped.
    if (!outcome)
        return {{}, outcome};
    return {*entries, outcome};
}

TransferOutcome SftpClient::putFile(const QString &localPath, const QString &path, const Progress &progress)
{
    const QByteArray remote = sftpPath(path, false);
    if (!m_loggedIn || remote.isEmpty())
        return refuse();
    QFile file(localPath);
    if (!file.open(QIODevice::ReadOnly))
        return TransferOutcome::failed(Failure::LocalFile, file.errorString());
    const qint64 size = file.size();
    bool opened = false;
    TransferOutcome stored =
        perform([&](SftpConnection &connection) { return connection.put(file, remote, opened); },
                TransferEngine::Budget::Operation, progress ? &progress : nullptr, size);
    stored.partMayBeLeft = !stored && opened;
    if (stored && progress)
        progress(size, size);
    return stored;
}

FtpClient::PutAsOutcome SftpClient::putFileAs(const QString &localPath, const QString &temporaryPath,
                                              const QString &path, const QDateTime &time,
                                              const Progress &progress)
{
    PutAsOutcome reached;
    reached.offered = true;
    const QByteArray temporary = sftpPath(temporaryPath, false);
    const QByteArray target = sftpPath(path, false);
    if (!m_loggedIn || temporary.isEmpty() || target.isEmpty()) {
        reached.outcome = refuse();
        return reached;
    }
    std::optional<qint64> seconds;
    if (time.isValid()) {
        seconds = sftpSeconds(time);
        if (!seconds)
            reached.timeFailure = Failure::Refused;
    }
    QFile file(localPath);
    if (!file.open(QIODevice::ReadOnly)) {
        reached.outcome = TransferOutcome::failed(Failure::LocalFile, file.errorString());
        return reached;
    }
    const qint64 size = file.size();
    bool opened = false;
    bool written = false;
    SftpConnection::Placed placed;
    // One step: the handle the writes leave open belongs to this session, which a later step may
    // have replaced.
    reached.outcome = perform(
        [&](SftpConnection &connection) {
            LIBSSH2_SFTP_HANDLE *handle = connection.write(file, temporary, opened);
            written = handle != nullptr;
            if (!written)
                return false;
            // A Cancel that came during the writes keeps the file from its name, as it keeps a
            // rename after a put from being sent; the handle goes with the session.
            if (m_engine.stopped() != TransferEngine::Stop::None)
                return false;
            placed = connection.place(handle, temporary, target, seconds);
            return placed.stored && placed.renamed;
        },
        TransferEngine::Budget::Operation, progress ? &progress : nullptr, size);
    if (!written) {
        reached.outcome.partMayBeLeft = opened;
        return reached;
    }
    if (placed.stored && progress)
        progress(size, size);
    if (placed.timeFault != SftpConnection::Fault::None)
        reached.timeFailure = failureFor(TransferEngine::Stop::None, placed.timeFault);
    reached.outcome.partMayBeLeft = !placed.stored && !placed.renamed;
    reached.stored = placed.stored;
    reached.renamed = placed.renamed;
    return reached;
}

TransferOutcome SftpClient::rename(const QString &from, const QString &to)
{
    const QByteArray source = sftpPath(from, false);
    const QByteArray target = sftpPath(to, false);
    if (!m_loggedIn || source.isEmpty() || target.isEmpty())
        return refuse();
    return perform([&](SftpConnection &connection) { return connection.rename(source, target); });
}

TransferOutcome SftpClient::removeFile(const QString &path)
{
    const QByteArray remote = sftpPath(path, false);
    if (!m_loggedIn || remote.isEmpty())
        return refuse();
    return perform([&](SftpConnection &connection) { return connection.remove(remote); });
}

void SftpClient::tidyRemove(const QString &path)
{
    const QByteArray remote = sftpPath(path, false);
    if (!m_loggedIn || remote.isEmpty())
        return;
    perform([&](SftpConnection &connection) { return connection.remove(remote); },
            TransferEngine::Budget::Tidying);
}

TransferOutcome SftpClient::setModified(const QString &path, const QDateTime &time)
{
    const QByteArray remote = sftpPath(path, false);
    const std::optional<qint64> seconds = sftpSeconds(time);
    if (!m_loggedIn || remote.isEmpty() || !seconds)
        return refuse();
    return perform([&](SftpConnection &connection) { return connection.setTimes(remote, *seconds); });
}

void SftpClient::close()
{
    if (m_connection) {
        m_engine.run(
            [this] {
                m_connection->close();
                m_connection.reset();
            },
            TransferEngine::Budget::Tidying);
    }
    m_loggedIn = false;
}

TransferOutcome SftpClient::perform(const Operation &operation, TransferEngine::Budget budget,
                                    const Progress *progress, qint64 total)
{
    bool done = false;
    bool connectFailed = false;
    m_fault = SftpConnection::Fault::None;
    QString reply;
    const TransferEngine::Stop stop = m_engine.run(
        [&] {
            // Like an FTP client, a session the server ended while idle is not tried again.
            if (m_connection && m_connection->closedByServer())
                m_connection.reset();
            if (!m_connection) {
                m_connection = std::make_unique<SftpConnection>(m_engine, m_hostKeys);
                if (!m_connection->open(m_host, m_port, m_user, m_password,
                                        m_options.connectSeconds * 1000)) {
                    m_fault = m_connection->fault();
                    reply = m_connection->faultText();
                    if (m_fault == SftpConnection::Fault::HostKey)
                        m_identity = m_hostKeys.identity();
                    m_connection.reset();
                    connectFailed = true;
                    return;
                }
            }
            done = operation(*m_connection);
            m_fault = m_connection->fault();
            reply = m_connection->faultText();
            // A connection that broke is left; the next operation makes another.
            if (m_fault != SftpConnection::Fault::None && m_fault != SftpConnection::Fault::Status &&
                m_fault != SftpConnection::Fault::LocalFile)
                m_connection.reset();
        },
        budget, progress, total);
    // A stopped step has cut the socket, even when the operation had just ended.
    if (stop != TransferEngine::Stop::None && m_connection)
        m_engine.run([this] { m_connection.reset(); }, TransferEngine::Budget::Tidying);
    Failure failure = done && stop == TransferEngine::Stop::None ? Failure::None : failureFor(stop, m_fault);
    // The connection could not be made (again): nothing of the operation reached the server.
    if (connectFailed && failure == Failure::ConnectionLost)
        failure = Failure::Unreachable;
    return {failure, reply};
}

TransferOutcome SftpClient::refuse()
{
    return TransferOutcome::failed(Failure::Refused);
}
