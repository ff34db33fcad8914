#include "FakeFtpClient.h"

#include <QFile>
#include <QFileInfo>

using namespace Qt::Literals::StringLiterals;

namespace {

QString parentOf(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash < 0 ? QString() : path.left(slash);
}

} // namespace

FakeFtpClient::~FakeFtpClient()
{
    close();
}

TransferOutcome FakeFtpClient::connect(const QString &, uint16_t, const QString &, const QString &)
{
    close();
    m_server.runHook(u"login"_s, QString());
    if (m_cancelled)
        return TransferOutcome::failed(Failure::Cancelled);
    return logIn() ? TransferOutcome() : TransferOutcome::failed(Failure::Unreachable);
}

bool FakeFtpClient::logIn()
{
    m_generation = m_server.login();
    m_loggedIn = m_generation >= 0;
    return m_loggedIn;
}

void FakeFtpClient::loseConnection()
{
    m_server.logout(m_generation);
    m_loggedIn = false;
}

// Every operation starts here: after Cancel it fails, after a dropped connection it logs in
// again, and a scripted trouble ends it as the script says.
TransferOutcome FakeFtpClient::begin(const QString &operation, const QString &path)
{
    m_server.runHook(operation, path);
    if (m_cancelled)
        return TransferOutcome::failed(Failure::Cancelled);
    // A connection the server dropped while idle is found dead, and made again.
    if (m_loggedIn && m_generation != m_server.m_generation)
        loseConnection();
    if (!m_loggedIn && !logIn())
        return TransferOutcome::failed(Failure::Unreachable);
    m_server.record(operation + u' ' + path);
    const std::optional<FakeFtpServer::Trouble> trouble = m_server.troubleFor(operation, path);
    if (!trouble)
        return {};
    switch (*trouble) {
    case FakeFtpServer::Trouble::Refuse:
        return TransferOutcome::failed(Failure::Refused);
    case FakeFtpServer::Trouble::Drop:
    case FakeFtpServer::Trouble::Stall:
        // The connection is gone, or cut as the real clients cut a stalled one.
        loseConnection();
        return TransferOutcome::failed(*trouble == FakeFtpServer::Trouble::Drop ? Failure::ConnectionLost
                                                                                : Failure::Stalled);
    }
    return {};
}

TransferOutcome FakeFtpClient::folderExists(const QString &folder)
{
    if (TransferOutcome begun = begin(u"exists"_s, folder); !begun)
        return begun;
    return m_server.folders().contains(folder) ? TransferOutcome()
                                               : TransferOutcome::failed(Failure::Refused);
}

TransferOutcome FakeFtpClient::makeFolder(const QString &folder)
{
    if (TransferOutcome begun = begin(u"mkdir"_s, folder); !begun)
        return begun;
    const std::lock_guard lock(m_server.m_mutex);
    if (m_server.m_folders.contains(folder) || !m_server.m_folders.contains(parentOf(folder)))
        return TransferOutcome::failed(Failure::Refused);
    m_server.m_folders.insert(folder);
    return TransferOutcome();
}

FtpClient::Listing FakeFtpClient::listFolder(const QString &folder)
{
    if (TransferOutcome begun = begin(u"list"_s, folder); !begun)
        return {{}, begun};
    const std::lock_guard lock(m_server.m_mutex);
    if (!m_server.m_folders.contains(folder))
        return {{}, TransferOutcome::failed(Failure::Refused)};
    QList<RemoteEntry> entries;
    const auto inFolder = [&](const QString &path) { return path != folder && parentOf(path) == folder; };
    for (const QString &path : std::as_const(m_server.m_folders)) {
        if (inFolder(path))
            entries.append({path.mid(path.lastIndexOf(u'/') + 1), true});
    }
    for (auto it = m_server.m_files.cbegin(); it != m_server.m_files.cend(); ++it) {
        if (!inFolder(it.key()))
            continue;
        RemoteEntry entry{it.key().mid(it.key().lastIndexOf(u'/') + 1)};
        if (m_server.m_listsSizesAndTimes) {
            entry.size = it->bytes.size();
            entry.modified = it->modified.addSecs(m_server.m_listingOffset);
        }
        entries.append(entry);
    }
    return {entries, {}};
}

TransferOutcome FakeFtpClient::putFile(const QString &localPath, const QString &path,
                                       const Progress &progress)
{
    QFile file(localPath);
    if (!file.open(QIODevice::ReadOnly))
        return TransferOutcome::failed(Failure::LocalFile);
    const QByteArray bytes = file.readAll();
    // Puts go under temporary names: scripts and holds name the file that is sent.
    const QString name = QFileInfo(localPath).fileName();
    if (TransferOutcome begun = begin(u"put"_s, name); !begun)
        return begun;
    {
        std::unique_lock lock(m_server.m_mutex);
        if (!m_server.m_folders.contains(parentOf(path)) ||
            (!m_server.m_replacesFiles && m_server.m_files.contains(path)))
            return TransferOutcome::failed(Failure::Refused);
        m_server.m_holding.insert(name);
        m_server.m_changed.notify_all();
        while (m_server.m_held.contains(name) && !m_cancelled)
            m_server.m_changed.wait_for(lock, std::chrono::milliseconds(5));
        m_server.m_holding.remove(name);
        const bool vanished = m_generation != m_server.m_generation;
        if (vanished || m_cancelled)
            m_server.m_files.insert(path, {bytes.left(bytes.size() / 2), m_server.now()});
        if (vanished) {
            lock.unlock();
            loseConnection();
            return {Failure::ConnectionLost, {}, true};
        }
        if (m_cancelled)
            return {Failure::Cancelled, {}, true};
        m_server.m_files.insert(path, {bytes, m_server.now()});
    }
    if (progress)
        progress(bytes.size(), bytes.size());
    return TransferOutcome();
}

TransferOutcome FakeFtpClient::rename(const QString &from, const QString &to)
{
    if (TransferOutcome begun = begin(u"rename"_s, to); !begun)
        return begun;
    const std::lock_guard lock(m_server.m_mutex);
    if (!m_server.m_files.contains(from))
        return TransferOutcome::failed(Failure::Refused);
    m_server.m_files.insert(to, m_server.m_files.take(from));
    return TransferOutcome();
}

TransferOutcome FakeFtpClient::removeFile(const QString &path)
{
    if (TransferOutcome begun = begin(u"remove"_s, path); !begun)
        return begun;
    const std::lock_guard lock(m_server.m_mutex);
    return m_server.m_files.remove(path) > 0 ? TransferOutcome() : TransferOutcome::failed(Failure::Refused);
}

void FakeFtpClient::tidyRemove(const QString &path)
{
    if (!m_loggedIn)
        return;
    m_server.record(u"cleanup "_s + path);
    const std::lock_guard lock(m_server.m_mutex);
    m_server.m_files.remove(path);
}

TransferOutcome FakeFtpClient::setModified(const QString &path, const QDateTime &time)
{
    if (TransferOutcome begun = begin(u"time"_s, path); !begun)
        return begun;
    const std::lock_guard lock(m_server.m_mutex);
    const auto found = m_server.m_files.find(path);
    if (found == m_server.m_files.end() || !m_server.m_takesTimes)
        return TransferOutcome::failed(Failure::Refused);
    found->modified = time;
    return TransferOutcome();
}

void FakeFtpClient::cancel()
{
    m_cancelled = true;
    m_server.m_changed.notify_all();
}

void FakeFtpClient::close()
{
    if (m_loggedIn)
        loseConnection();
}
