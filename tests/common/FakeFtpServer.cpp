#include "FakeFtpServer.h"

#include <QCoreApplication>
#include <QThread>
#include <chrono>
#include <exception>

FakeFtpServer::FakeFtpServer()
{
    m_folders.insert(QString());
}

void FakeFtpServer::addFolder(const QString &path)
{
    const std::lock_guard lock(m_mutex);
    m_folders.insert(path);
}

void FakeFtpServer::addFile(const QString &path, const QByteArray &bytes, const QDateTime &modified)
{
    const std::lock_guard lock(m_mutex);
    m_files.insert(path, {bytes, modified});
}

QMap<QString, FakeFtpServer::File> FakeFtpServer::files() const
{
    const std::lock_guard lock(m_mutex);
    return m_files;
}

QSet<QString> FakeFtpServer::folders() const
{
    const std::lock_guard lock(m_mutex);
    return m_folders;
}

void FakeFtpServer::script(const QString &operation, const QString &path, Trouble trouble)
{
    const std::lock_guard lock(m_mutex);
    m_scripted.insert(operation + u' ' + path, trouble);
}

void FakeFtpServer::setListsSizesAndTimes(bool lists)
{
    const std::lock_guard lock(m_mutex);
    m_listsSizesAndTimes = lists;
}

void FakeFtpServer::setConnectionLimit(int limit)
{
    const std::lock_guard lock(m_mutex);
    m_limit = limit;
}

void FakeFtpServer::setReachable(bool reachable)
{
    const std::lock_guard lock(m_mutex);
    m_reachable = reachable;
}

void FakeFtpServer::setReplacesFiles(bool replaces)
{
    const std::lock_guard lock(m_mutex);
    m_replacesFiles = replaces;
}

void FakeFtpServer::setClock(qint64 listingOffsetSeconds, bool takesTimes)
{
    const std::lock_guard lock(m_mutex);
    m_listingOffset = listingOffsetSeconds;
    m_takesTimes = takesTimes;
}

void FakeFtpServer::advanceClock(qint64 seconds)
{
    const std::lock_guard lock(m_mutex);
    m_clockAhead += seconds;
}

void FakeFtpServer::vanish()
{
    {
        const std::lock_guard lock(m_mutex);
        m_reachable = false;
        m_connected = 0;
        ++m_generation;
    }
    m_changed.notify_all();
}

void FakeFtpServer::hold(const QString &path)
{
    const std::lock_guard lock(m_mutex);
    m_held.insert(path);
}

void FakeFtpServer::release(const QString &path)
{
    {
        const std::lock_guard lock(m_mutex);
        m_held.remove(path);
    }
    m_changed.notify_all();
}

bool FakeFtpServer::waitUntilHeld(const QString &path, int timeoutMs)
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return m_holding.contains(path); });
}

QStringList FakeFtpServer::log() const
{
    const std::lock_guard lock(m_mutex);
    return m_log;
}

int FakeFtpServer::logins() const
{
    const std::lock_guard lock(m_mutex);
    return m_logins;
}

int FakeFtpServer::mostConnections() const
{
    const std::lock_guard lock(m_mutex);
    return m_mostConnected;
}

int FakeFtpServer::connections() const
{
    const std::lock_guard lock(m_mutex);
    return m_connected;
}

void FakeFtpServer::setHook(Hook hook)
{
    m_hook = std::move(hook);
}

void FakeFtpServer::runHook(const QString &operation, const QString &path) const
{
    if (!m_hook)
        return;
    std::exception_ptr error;
    const auto call = [&] {
        try {
            m_hook(operation, path);
        } catch (...) {
            error = std::current_exception();
        }
    };
    QCoreApplication *application = QCoreApplication::instance();
    if (QThread::currentThread() == application->thread())
        call();
    else
        QMetaObject::invokeMethod(application, call, Qt::BlockingQueuedConnection);
    if (error)
        std::rethrow_exception(error);
}

std::optional<FakeFtpServer::Trouble> FakeFtpServer::troubleFor(const QString &operation,
                                                                const QString &path) const
{
    const std::lock_guard lock(m_mutex);
    const auto found = m_scripted.constFind(operation + u' ' + path);
    if (found == m_scripted.constEnd())
        return std::nullopt;
    return *found;
}

int FakeFtpServer::login()
{
    const std::lock_guard lock(m_mutex);
    if (!m_reachable || (m_limit > 0 && m_connected >= m_limit))
        return -1;
    ++m_connected;
    ++m_logins;
    m_mostConnected = std::max(m_mostConnected, m_connected);
    return m_generation;
}

void FakeFtpServer::logout(int generation)
{
    const std::lock_guard lock(m_mutex);
    if (generation == m_generation)
        --m_connected;
}

void FakeFtpServer::record(const QString &entry)
{
    const std::lock_guard lock(m_mutex);
    m_log.append(entry);
}
