#include "ConnectionPool.h"

#include <algorithm>

ConnectionPool::~ConnectionPool()
{
    closeEvery(false);
    {
        const std::lock_guard lock(m_mutex);
        m_quitting = true;
    }
    m_changed.notify_all();
    for (const auto &connection : m_connections)
        connection->thread.join();
}

int ConnectionPool::add(std::unique_ptr<AtomicPutClient> put)
{
    auto connection = std::make_unique<Connection>();
    connection->put = std::move(put);
    Connection *added = connection.get();
    {
        const std::lock_guard lock(m_mutex);
        m_connections.push_back(std::move(connection));
    }
    added->thread = std::thread([this, added] { work(*added); });
    return size() - 1;
}

bool ConnectionPool::busy(int connection)
{
    const std::lock_guard lock(m_mutex);
    return m_connections.at(static_cast<size_t>(connection))->busy;
}

void ConnectionPool::start(int connection, Step step)
{
    {
        const std::lock_guard lock(m_mutex);
        Connection &target = *m_connections.at(static_cast<size_t>(connection));
        target.step = std::move(step);
        target.busy = true;
        target.finished = false;
    }
    m_changed.notify_all();
}

QList<int> ConnectionPool::collect(std::chrono::milliseconds timeout)
{
    QList<int> ended;
    std::exception_ptr error;
    std::unique_lock lock(m_mutex);
    m_changed.wait_for(lock, timeout, [this] {
        return std::any_of(m_connections.begin(), m_connections.end(),
                           [](const auto &connection) { return connection->finished; });
    });
    watchAll();
    for (int i = 0; i < static_cast<int>(m_connections.size()); ++i) {
        Connection &connection = *m_connections[static_cast<size_t>(i)];
        if (!std::exchange(connection.finished, false))
            continue;
        ended.append(i);
        if (!error)
            error = std::exchange(connection.error, nullptr);
    }
    lock.unlock();
    if (error)
        std::rethrow_exception(error);
    return ended;
}

void ConnectionPool::run(int connection, Step step, const std::function<void()> &whileWaiting)
{
    start(connection, std::move(step));
    Connection &target = *m_connections.at(static_cast<size_t>(connection));
    std::unique_lock lock(m_mutex);
    while (!m_changed.wait_for(lock, std::chrono::milliseconds(10), [&] { return target.finished; })) {
        watchAll();
        lock.unlock();
        if (whileWaiting)
            whileWaiting();
        lock.lock();
    }
    target.finished = false;
    const std::exception_ptr error = std::exchange(target.error, nullptr);
    lock.unlock();
    if (error)
        std::rethrow_exception(error);
}

void ConnectionPool::watchAll()
{
    for (const auto &connection : m_connections)
        connection->put->inner().watch();
}

void ConnectionPool::cancel()
{
    const std::lock_guard lock(m_mutex);
    for (const auto &connection : m_connections)
        connection->put->inner().cancel();
}

// A connection busy with a step is closed once the step has ended, so that its close is watched.
void ConnectionPool::closeEvery(bool rethrow)
{
    for (bool waiting = true; waiting;) {
        waiting = false;
        for (int i = 0; i < size(); ++i) {
            const bool stepInHand = busy(i);
            bool &closed = m_connections.at(static_cast<size_t>(i))->closed;
            waiting = waiting || stepInHand || !closed;
            if (!stepInHand && !std::exchange(closed, true))
                start(i, [](AtomicPutClient &put) { put.inner().close(); });
        }
        try {
            if (waiting)
                collect(std::chrono::milliseconds(10));
        } catch (...) {
            if (rethrow)
                throw;
        }
    }
}

void ConnectionPool::work(Connection &connection)
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [&] { return m_quitting || (connection.busy && connection.step); });
        if (m_quitting)
            return;
        Step step = std::exchange(connection.step, nullptr);
        lock.unlock();
        std::exception_ptr error;
        try {
            step(*connection.put);
        } catch (...) {
            error = std::current_exception();
        }
        lock.lock();
        connection.error = error;
        connection.busy = false;
        connection.finished = true;
        m_changed.notify_all();
    }
}
