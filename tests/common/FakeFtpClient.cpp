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

bool FakeFtpClient::connect(const QString &, uint16_t, const QString &, const QString &)
{
    close();
    m_server.runHook(u"login"_s, QString());
    if (m_cancelled)
        return fail(Failure::Cancelled);
    return logIn() ? succeed() : fail(Failure::Unreachable);
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
bool FakeFtpClient::begin(const QString &operation, const QString &path)
{
    m_server.runHook(operation, path);
    if (m_cancelled)
        return fail(Failure::Cancelled);
    // A connection the server dropped while idle is found dead, and made again.
    if (m_loggedIn && m_generation != m_server.m_generation)
        loseConnection();
    if (!m_loggedIn && !logIn())
        return fail(Failure::Unreachable);
    m_server.record(operation + u' ' + path);
    const std::optional<FakeFtpServer::Trouble> trouble = m_server.troubleFor(operation, path);
    if (!trouble)
        return true;
    switch (*trouble) {
    case FakeFtpServer::Trouble::Refuse:
        return fail(Failure::Refused);
    case FakeFtpServer::Trouble::Drop:
    case FakeFtpServer::Trouble::Stall:
        // The connection is gone, or cut as the real clients cut a stalled one.
        loseConnection();
        return fail(*trouble == FakeFtpServer::Trouble::Drop ? Failure::ConnectionLost : Failure::Stalled);
    }
    return true;
}

bool FakeFtpClient::fail(Failure failure)
{
    m_failure = failure;
    return false;
}

bool FakeFtpClient::succeed()
{
    m_failure = Failure::None;
    return true;
}

bool FakeFtpClient::folderExists(const QString &folder)
{
    if (!begin(u"exists"_s, folder))
        return false;
    return m_server.folders().contains(folder) ? succeed() : fail(Failure::Refused);
}

bool FakeFtpClient::makeFolder(const QString &folder)
{
    if (!begin(u"mkdir"_s, folder))
        return false;
    const std::lock_guard lock(m_server.m_mutex);
    if (m_server.m_folders.contains(folder) || !m_server.m_folders.contains(parentOf(folder)))
        return fail(Failure::Refused);
    m_server.m_folders.insert(folder);
    return succeed();
}

std::optional<QList<RemoteEntry>> FakeFtpClient::listFolder(const QString &folder)
{
    if (!begin(u"list"_s, folder))
        return std::nullopt;
    const std::lock_guard lock(m_server.m_mutex);
    if (!m_server.m_folders.contains(folder)) {
        fail(Failure::Refused);
        return std::nullopt;
    }
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
    succeed();
    return entries;
}

bool FakeFtpClient::putFile(const QString &localPath, const QString &path, const Progress &progress)
{
    m_partLeft = false;
    QFile file(localPath);
    if (!file.open(QIODevice::ReadOnly))
        return fail(Failure::LocalFile);
    const QByteArray bytes = file.readAll();
    // Puts go under temporary names: scripts and holds name the file that is sent.
    const QString name = QFileInfo(localPath).fileName();
    if (!begin(u"put"_s, name))
        return false;
    {
        std::unique_lock lock(m_server.m_mutex);
        if (!m_server.m_folders.contains(parentOf(path)) ||
            (!m_server.m_replacesFiles && m_server.m_files.contains(path)))
            return fail(Failure::Refused);
        m_server.m_holding.insert(name);
        m_server.m_changed.notify_all();
        while (m_server.m_held.contains(name) && !m_cancelled)
            m_server.m_changed.wait_for(lock, std::chrono::milliseconds(5));
        m_server.m_holding.remove(name);
        const bool vanished = m_generation != m_server.m_generation;
        if (vanished || m_cancelled) {
            m_partLeft = true;
            m_server.m_files.insert(path, {bytes.left(bytes.size() / 2), m_server.now()});
        }
        if (vanished) {
            lock.unlock();
            loseConnection();
            return fail(Failure::ConnectionLost);
        }
        if (m_cancelled)
            return fail(Failure::Cancelled);
        m_server.m_files.insert(path, {bytes, m_server.now()});
    }
    if (progress)
        progress(bytes.size(), bytes.size());
    return succeed();
}

bool FakeFtpClient::rename(const QString &from, const QString &to)
{
    if (!begin(u"rename"_s, to))
        return false;
    const std::lock_guard lock(m_server.m_mutex);
    if (!m_server.m_files.contains(from))
        return fail(Failure::Refused);
    m_server.m_files.insert(to, m_server.m_files.take(from));
    return succeed();
}

bool FakeFtpClient::removeFile(const QString &path)
{
    if (!begin(u"remove"_s, path))
        return false;
    const std::lock_guard lock(m_server.m_mutex);
    return m_server.m_files.remove(path) > 0 ? succeed() : fail(Failure::Refused);
}

void FakeFtpClient::tidyRemove(const QString &path)
{
    if (!m_loggedIn)
        return;
    m_server.record(u"cleanup "_s + path);
    const std::lock_guard lock(m_server.m_mutex);
    m_server.m_files.remove(path);
}

bool FakeFtpClient::setModified(const QString &path, const QDateTime &time)
{
    if (!begin(u"time"_s, path))
        return false;
    const std::lock_guard lock(m_server.m_mutex);
    const auto found = m_server.m_files.find(path);
    if (found == m_server.m_files.end() || !m_server.m_takesTimes)
        return fail(Failure::Refused);
    found->modified = time;
    return succeed();
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
