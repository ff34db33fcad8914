#pragma once

#include "AtomicPutClient.h"

#include <QList>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

// The connections of one upload, each putting under temporary names and working on a thread of
// its own so that several can wait on the server at once. The calling thread hands a connection
// one step at a time, waits for any step to end, and reads what the step left in its own
// variables after that. A step's exception is handed back to the calling thread when the step is
// collected. Each time the calling thread wakes from a wait here it watches every step in hand:
// that is what ends a stalled one.
class ConnectionPool
{
public:
    using Step = std::function<void(AtomicPutClient &put)>;

    ConnectionPool() = default;
    // Closes every connection once its step in hand has ended; cancel() first to end those at once.
    ~ConnectionPool();
    ConnectionPool(const ConnectionPool &) = delete;
    ConnectionPool &operator=(const ConnectionPool &) = delete;

    // Adds a connection and starts its thread; returns its number.
    int add(std::unique_ptr<AtomicPutClient> put);
    int size() const { return static_cast<int>(m_connections.size()); }
    bool busy(int connection);

    // Hands an idle connection a step.
    void start(int connection, Step step);
    // Waits at most the timeout for steps to end; the connections whose steps ended, each once.
    // Rethrows the exception a step ended with.
    QList<int> collect(std::chrono::milliseconds timeout);
    // Runs a step on the connection and waits for it, calling back meanwhile; the steps of the
    // other connections are left to collect().
    void run(int connection, Step step, const std::function<void()> &whileWaiting);

    // Ends the steps in hand at once, and fails every later one: from the calling thread.
    void cancel();
    // Closes every connection, on its own thread, and waits for that.
    void closeAll() { closeEvery(true); }

private:
    struct Connection
    {
        std::unique_ptr<AtomicPutClient> put;
        std::thread thread;
        Step step;
        bool busy = false;
        bool finished = false;
        bool closed = false;
        std::exception_ptr error;
    };

    void work(Connection &connection);
    // Under the mutex.
    void watchAll();
    void closeEvery(bool rethrow);

    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_quitting = false;
    std::deque<std::unique_ptr<Connection>> m_connections;
};
