#include "ConnectionPool.h"

#include <algorithm>

ConnectionPool::~ConnectionPool()
{
    {
        const std::lock_guard lock(m_mutex);
        m_quitting = true;
    }
    m_changed.notify_all();
    for (const auto &connection : m_connections)
        connection->thread.join();
}

int ConnectionPool::add(std::unique_ptr<AtomicPutClient> client)
{
    auto connection = std::make_unique<Connection>();
    connection->client = std::move(client);
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
    const auto anyFinished = [&] {
        return std::any_of(m_connections.begin(), m_connections.end(),
                           [](const auto &connection) { return connection->finished; });
    };
    m_changed.wait_for(lock, timeout, anyFinished);
    for (int i = 0; i < static_cast<int>(m_connections.size()); ++i) {
        Connection &connection = *m_connections[static_cast<size_t>(i)];
        if (!connection.finished)
            continue;
        connection.finished = false;
        ended.append(i);
        takeError(connection, error);
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
    for (;;) {
        std::exception_ptr error;
        {
            std::unique_lock lock(m_mutex);
            if (m_changed.wait_for(lock, std::chrono::milliseconds(10), [&] { return target.finished; })) {
                target.finished = false;
                takeError(target, error);
                lock.unlock();
                if (error)
                    std::rethrow_exception(error);
                return;
            }
        }
        if (whileWaiting)
            whileWaiting();
    }
}

void ConnectionPool::takeError(Connection &connection, std::exception_ptr &error)
{
    if (connection.error && !error)
        error = std::exchange(connection.error, nullptr);
}

void ConnectionPool::cancel()
{
    const std::lock_guard lock(m_mutex);
    for (const auto &connection : m_connections)
        connection->client->cancel();
}

void ConnectionPool::closeAll()
{
    for (int i = 0; i < size(); ++i) {
        if (!busy(i))
            start(i, [](FtpClient &client) { client.close(); });
    }
    while (std::any_of(m_connections.begin(), m_connections.end(), [this](const auto &connection) {
        const std::lock_guard lock(m_mutex);
        return connection->busy;
    }))
        collect(std::chrono::milliseconds(10));
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
            step(*connection.client);
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
