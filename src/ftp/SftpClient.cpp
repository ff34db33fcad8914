#include "SftpClient.h"

#include "KnownHosts.h"
#include "SftpConnection.h"

#include <QFile>
#include <QStringList>
#include <algorithm>
#include <limits>

using namespace Qt::Literals::StringLiterals;

namespace {

// The SFTP path of a path below the login folder: relative, as servers resolve such paths from
// it. Empty when it cannot be sent: "." and ".." would name another place, and a line break or
// NUL has no place in a name.
QByteArray sftpPath(const QString &path, bool mayBeLoginFolder)
{
    if (path.contains(u'\r') || path.contains(u'\n') || path.contains(QChar(0)))
        return {};
    const QStringList pieces = path.split(u'/', Qt::SkipEmptyParts);
    if (std::any_of(pieces.begin(), pieces.end(),
                    [](const QString &piece) { return piece == u"."_s || piece == u".."_s; }))
        return {};
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
    switch (stop) {
    case TransferEngine::Stop::Cancelled:
        return FtpClient::Failure::Cancelled;
    case TransferEngine::Stop::Stalled:
    case TransferEngine::Stop::OutOfTime:
        return FtpClient::Failure::Stalled;
    case TransferEngine::Stop::None:
        break;
    }
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

SftpClient::SftpClient(ConnectionOptions options, Waiting whileWaiting, Cancelled cancelled)
    : m_options(std::move(options)),
      m_engine(m_options.stallSeconds * 1000, std::move(whileWaiting), std::move(cancelled)),
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

bool SftpClient::connect(const QString &host, uint16_t port, const QString &user, const QString &password)
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
    m_loggedIn = perform([](SftpConnection &) { return true; });
    // A login the server turned down is its answer; later, it means the connection is lost.
    if (m_fault == SftpConnection::Fault::Login)
        m_failure = Failure::Refused;
    return m_loggedIn;
}

bool SftpClient::folderExists(const QString &folder)
{
    const QByteArray path = sftpPath(folder, true);
    if (!m_loggedIn || path.isEmpty())
        return refuse();
    return perform([&](SftpConnection &connection) { return connection.isFolder(path); });
}

bool SftpClient::makeFolder(const QString &folder)
{
    const QByteArray path = sftpPath(folder, false);
    if (!m_loggedIn || path.isEmpty())
        return refuse();
    return perform([&](SftpConnection &connection) { return connection.makeFolder(path); });
}

std::optional<QList<RemoteEntry>> SftpClient::listFolder(const QString &folder)
{
    const QByteArray path = sftpPath(folder, true);
    if (!m_loggedIn || path.isEmpty()) {
        refuse();
        return std::nullopt;
    }
    std::optional<QList<RemoteEntry>> entries;
    perform([&](SftpConnection &connection) {
        entries = connection.list(path);
        return entries.has_value();
    });
    // Also after a listing that came whole just as the step was stopped.
    if (m_failure != Failure::None)
        return std::nullopt;
    return entries;
}

bool SftpClient::putFile(const QString &localPath, const QString &path, const Progress &progress)
{
    m_putOpened = false;
    const QByteArray remote = sftpPath(path, false);
    if (!m_loggedIn || remote.isEmpty())
        return refuse();
    QFile file(localPath);
    if (!file.open(QIODevice::ReadOnly)) {
        m_failure = Failure::LocalFile;
        m_lastReply = file.errorString();
        return false;
    }
    const qint64 size = file.size();
    bool opened = false;
    const bool stored =
        perform([&](SftpConnection &connection) { return connection.put(file, remote, opened); },
                TransferEngine::Budget::Operation, progress ? &progress : nullptr, size);
    m_putOpened = !stored && opened;
    if (stored && progress)
        progress(size, size);
    return stored;
}

FtpClient::PutAs SftpClient::putFileAs(const QString &localPath, const QString &temporaryPath,
                                       const QString &path, const QDateTime &time, Failure &timeFailure,
                                       const Progress &progress)
{
    m_putOpened = false;
    timeFailure = Failure::None;
    const QByteArray temporary = sftpPath(temporaryPath, false);
    const QByteArray target = sftpPath(path, false);
    if (!m_loggedIn || temporary.isEmpty() || target.isEmpty()) {
        refuse();
        return PutAs::NotStored;
    }
    std::optional<qint64> seconds;
    if (time.isValid()) {
        seconds = sftpSeconds(time);
        if (!seconds)
            timeFailure = Failure::Refused;
    }
    QFile file(localPath);
    if (!file.open(QIODevice::ReadOnly)) {
        m_failure = Failure::LocalFile;
        m_lastReply = file.errorString();
        return PutAs::NotStored;
    }
    const qint64 size = file.size();
    bool opened = false;
    bool written = false;
    SftpConnection::Placed placed;
    // One step: the handle the writes leave open belongs to this session, which a later step may
    // have replaced.
    perform(
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
        m_putOpened = opened;
        return PutAs::NotStored;
    }
    if (placed.stored && progress)
        progress(size, size);
    if (placed.timeFault != SftpConnection::Fault::None)
        timeFailure = failureFor(TransferEngine::Stop::None, placed.timeFault);
    m_putOpened = !placed.stored && !placed.renamed;
    if (placed.renamed)
        return placed.stored ? PutAs::Renamed : PutAs::RenamedInDoubt;
    return placed.stored ? PutAs::NotRenamed : PutAs::NotStored;
}

bool SftpClient::rename(const QString &from, const QString &to)
{
    const QByteArray source = sftpPath(from, false);
    const QByteArray target = sftpPath(to, false);
    if (!m_loggedIn || source.isEmpty() || target.isEmpty())
        return refuse();
    return perform([&](SftpConnection &connection) { return connection.rename(source, target); });
}

bool SftpClient::removeFile(const QString &path)
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

bool SftpClient::setModified(const QString &path, const QDateTime &time)
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

bool SftpClient::perform(const Operation &operation, TransferEngine::Budget budget, const Progress *progress,
                         qint64 total)
{
    bool done = false;
    bool connectFailed = false;
    m_fault = SftpConnection::Fault::None;
    m_lastReply.clear();
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
                    m_lastReply = m_connection->faultText();
                    if (m_fault == SftpConnection::Fault::HostKey)
                        m_identity = m_hostKeys.identity();
                    m_connection.reset();
                    connectFailed = true;
                    return;
                }
            }
            done = operation(*m_connection);
            m_fault = m_connection->fault();
            m_lastReply = m_connection->faultText();
            // A connection that broke is left; the next operation makes another.
            if (m_fault != SftpConnection::Fault::None && m_fault != SftpConnection::Fault::Status &&
                m_fault != SftpConnection::Fault::LocalFile)
                m_connection.reset();
        },
        budget, progress, total);
    // A stopped step has cut the socket, even when the operation had just ended.
    if (stop != TransferEngine::Stop::None && m_connection)
        m_engine.run([this] { m_connection.reset(); }, TransferEngine::Budget::Tidying);
    m_failure = done && stop == TransferEngine::Stop::None ? Failure::None : failureFor(stop, m_fault);
    // The connection could not be made (again): nothing of the operation reached the server.
    if (connectFailed && m_failure == Failure::ConnectionLost)
        m_failure = Failure::Unreachable;
    return m_failure == Failure::None;
}

bool SftpClient::refuse()
{
    m_failure = Failure::Refused;
    m_lastReply.clear();
    return false;
}
