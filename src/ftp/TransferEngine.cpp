#include "TransferEngine.h"

#include <QScopeGuard>
#include <algorithm>
#include <chrono>
#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

qint64 nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

TransferEngine::TransferEngine(long stallMs) : m_stallMs(stallMs) {}

TransferFailure TransferEngine::failureOf(Stop stop)
{
    switch (stop) {
    case Stop::Cancelled:
        return TransferFailure::Cancelled;
    case Stop::Stalled:
    case Stop::OutOfTime:
        return TransferFailure::Stalled;
    case Stop::None:
        break;
    }
    return TransferFailure::None;
}

void TransferEngine::setWake(std::function<void()> wake)
{
    const std::lock_guard lock(m_stepMutex);
    m_wake = std::move(wake);
}

void TransferEngine::cancel()
{
    m_cancelRequested = true;
    const std::lock_guard lock(m_stepMutex);
    if (m_running && m_budget == Budget::Operation)
        stopWith(Stop::Cancelled);
}

void TransferEngine::watch()
{
    const std::lock_guard lock(m_stepMutex);
    if (!m_running)
        return;
    const qint64 now = nowMs();
    if (m_budget == Budget::Operation && m_cancelRequested)
        stopWith(Stop::Cancelled);
    else if (m_budget == Budget::Tidying && now - m_started > TidyingMs)
        stopWith(Stop::OutOfTime);
    else if (now - m_lastActivity > (m_budget == Budget::Tidying ? TidyingMs : m_stallMs))
        stopWith(Stop::Stalled);
}

void TransferEngine::touch()
{
    m_lastActivity = nowMs();
}

void TransferEngine::setMoved(qint64 moved)
{
    if (m_moved.exchange(moved) != moved)
        touch();
    if (!m_progress || !*m_progress)
        return;
    const qint64 sent = std::min(delivered(), m_total);
    if (sent != m_shown)
        (*m_progress)(sent, m_total);
    m_shown = sent;
}

int TransferEngine::openSocket(int family, int type, int protocol)
{
    const int socket = ::socket(family, type | SOCK_CLOEXEC, protocol);
    if (socket >= 0) {
        const std::lock_guard lock(m_mutex);
        m_sockets.insert(socket);
        m_newest = socket;
    }
    return socket;
}

int TransferEngine::closeSocket(int socket)
{
    const std::lock_guard lock(m_mutex);
    int queued = 0;
    if (socket == m_newest && ::ioctl(socket, SIOCOUTQ, &queued) == 0 && queued > 0) {
        m_draining.insert(socket);
        return ::shutdown(socket, SHUT_WR);
    }
    m_sockets.erase(socket);
    if (m_newest == socket)
        m_newest = -1;
    return ::close(socket);
}

void TransferEngine::cutSockets()
{
    const std::lock_guard lock(m_mutex);
    for (int socket : m_sockets)
        ::shutdown(socket, SHUT_RDWR);
}

// Bytes the server's side has taken, which is less than the library has written while they
// wait in this side's send buffer: on a slow server that buffer holds seconds of a put.
qint64 TransferEngine::delivered()
{
    qint64 waiting = 0;
    {
        const std::lock_guard lock(m_mutex);
        int queued = 0;
        if (m_newest >= 0 && ::ioctl(m_newest, SIOCOUTQ, &queued) == 0)
            waiting = queued;
    }
    return std::max<qint64>(0, m_moved - waiting);
}

void TransferEngine::closeDrained()
{
    const std::lock_guard lock(m_mutex);
    for (int socket : m_draining) {
        m_sockets.erase(socket);
        if (m_newest == socket)
            m_newest = -1;
        ::close(socket);
    }
    m_draining.clear();
}

void TransferEngine::stopWith(Stop why)
{
    Stop none = Stop::None;
    if (!m_stop.compare_exchange_strong(none, why))
        return;
    if (m_wake)
        m_wake();
    cutSockets();
}

TransferEngine::Stop TransferEngine::run(const std::function<void()> &work, Budget budget,
                                         const Progress *progress, qint64 total)
{
    {
        const std::lock_guard lock(m_stepMutex);
        m_stop = Stop::None;
        m_moved = 0;
        if (budget == Budget::Operation && m_cancelRequested) {
            m_stop = Stop::Cancelled;
            return Stop::Cancelled;
        }
        touch();
        m_started = nowMs();
        m_budget = budget;
        m_running = true;
    }
    m_progress = progress;
    m_total = total;
    m_shown = -1;
    // Also when the work throws: a late watch() must not cut the next step's sockets.
    const auto ending = qScopeGuard([this] {
        m_progress = nullptr;
        const std::lock_guard lock(m_stepMutex);
        m_running = false;
    });
    work();
    closeDrained();
    return m_stop;
}
