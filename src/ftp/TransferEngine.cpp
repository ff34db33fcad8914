#include "TransferEngine.h"

#include <algorithm>
#include <chrono>
#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

// How long the calling thread waits between its calls back. The end of the work wakes it at
// once; waking more often would take the processor from the work and a local server.
constexpr std::chrono::milliseconds WaitStep{10};

qint64 nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

TransferEngine::TransferEngine(long stallMs, Waiting whileWaiting, Cancelled cancelled)
    : m_stallMs(stallMs), m_whileWaiting(std::move(whileWaiting)), m_cancelled(std::move(cancelled))
{}

void TransferEngine::cancel()
{
    m_cancelRequested = true;
}

bool TransferEngine::cancelRequested() const
{
    return m_cancelRequested || (m_cancelled && m_cancelled());
}

void TransferEngine::touch()
{
    m_lastActivity = nowMs();
}

void TransferEngine::setMoved(qint64 moved)
{
    if (m_moved.exchange(moved) != moved)
        touch();
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
    m_stop = Stop::None;
    m_moved = 0;
    if (budget == Budget::Operation && cancelRequested()) {
        m_stop = Stop::Cancelled;
        return Stop::Cancelled;
    }
    {
        const std::lock_guard lock(m_mutex);
        m_finished = false;
    }
    touch();
    const long limitMs = budget == Budget::Tidying ? TidyingMs : m_stallMs;
    const qint64 started = nowMs();
    std::thread worker([&] {
        work();
        const std::lock_guard lock(m_mutex);
        m_finished = true;
        m_finishedChanged.notify_all();
    });
    // Also when a call back throws: the work must not outlive what it uses.
    struct Joiner
    {
        std::thread &thread;
        std::function<void()> hurry;
        ~Joiner()
        {
            if (thread.joinable()) {
                hurry();
                thread.join();
            }
        }
    } joiner{worker, [this] { stopWith(Stop::OutOfTime); }};

    qint64 shown = -1;
    for (;;) {
        {
            std::unique_lock lock(m_mutex);
            if (m_finishedChanged.wait_for(lock, WaitStep, [&] { return m_finished; }))
                break;
        }
        if (progress && *progress) {
            const qint64 sent = std::min(delivered(), total);
            if (sent != shown)
                (*progress)(sent, total);
            shown = sent;
        }
        if (m_whileWaiting)
            m_whileWaiting();
        if (budget == Budget::Operation && cancelRequested())
            stopWith(Stop::Cancelled);
        else if (budget == Budget::Tidying && nowMs() - started > limitMs)
            stopWith(Stop::OutOfTime);
        else if (nowMs() - m_lastActivity > limitMs)
            stopWith(Stop::Stalled);
    }
    worker.join();
    closeDrained();
    return m_stop;
}
