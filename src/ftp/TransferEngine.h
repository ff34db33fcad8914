#pragma once

#include "TransferOutcome.h"

#include <QtGlobal>
#include <atomic>
#include <functional>
#include <mutex>
#include <set>

// Runs the blocking network steps of one connection on the calling thread, while another thread
// watches them through watch(): Cancel, a stall (nothing moved for the stall limit) or a tidying
// step that takes more than its moment stops the step by cutting the connection's sockets, which
// ends any wait of the transfer library's at once. The library opens and closes its sockets
// through this class and reports through touch() and setMoved() that something moved.
class TransferEngine
{
public:
    enum class Stop
    {
        None,
        Cancelled,
        Stalled,
        OutOfTime,
    };
    enum class Budget
    {
        // Until done, a stall or Cancel.
        Operation,
        // Tidying up, even after Cancel, for a moment only.
        Tidying,
    };

    // Bytes of the file in hand the server has taken, and its size.
    using Progress = std::function<void(qint64 sent, qint64 total)>;
    // How long a tidying step may take.
    static constexpr long TidyingMs = 500;

    explicit TransferEngine(long stallMs);
    TransferEngine(const TransferEngine &) = delete;
    TransferEngine &operator=(const TransferEngine &) = delete;

    // Runs the work on this thread to its end, or until stopped; tells what stopped it. The work
    // must end soon once its sockets are cut; wake (when set) hurries it. setMoved() tells progress.
    Stop run(const std::function<void()> &work, Budget budget, const Progress *progress = nullptr,
             qint64 total = 0);
    // The failure of an operation that the stop ended; None for Stop::None.
    static TransferFailure failureOf(Stop stop);
    // What stopped the step in hand, read by the work to leave its loops.
    Stop stopped() const { return m_stop; }
    void setWake(std::function<void()> wake);
    // From any thread: stops the step in hand, and every later one but tidying.
    void cancel();
    // From the waiting thread, every few ms: stops a stalled step, or a tidying one past its moment.
    void watch();

    // For the transfer library's callbacks, on the work's thread.
    int openSocket(int family, int type, int protocol);
    int closeSocket(int socket);
    void touch();
    // Bytes moved so far in the step in hand; a change counts as activity.
    void setMoved(qint64 moved);
    // Shut, not closed: the library still owns them, and finds them dead at its next use.
    void cutSockets();

private:
    qint64 delivered();
    void closeDrained();
    void stopWith(Stop why);

    long m_stallMs;
    std::atomic<bool> m_cancelRequested{false};
    // The step in hand, as watch() sees it; stopWith() is called under its mutex.
    std::mutex m_stepMutex;
    bool m_running = false;
    Budget m_budget = Budget::Operation;
    qint64 m_started = 0;
    std::function<void()> m_wake;
    std::atomic<Stop> m_stop{Stop::None};
    std::atomic<qint64> m_moved{0};
    std::atomic<qint64> m_lastActivity{0};
    const Progress *m_progress = nullptr;
    qint64 m_shown = -1;
    qint64 m_total = 0;
    std::mutex m_mutex;
    // Every socket of the connection (under the mutex), and the newest: a put's data connection.
    std::set<int> m_sockets;
    int m_newest = -1;
    // Closed by the library while their sent bytes still wait for the server: the closing is
    // only a shutdown until the step ends, so that what they hold can be told.
    std::set<int> m_draining;
};
