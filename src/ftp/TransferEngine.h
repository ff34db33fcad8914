#pragma once

#include <QtGlobal>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <set>

// Runs the blocking network steps of one connection on a thread of their own while the calling
// thread waits and watches: Cancel, a stall (nothing moved for the stall limit) or a tidying step
// that takes more than its moment stops the step by cutting the connection's sockets, which ends
// any wait of the transfer library's at once. The library opens and closes its sockets through
// this class and reports through touch() and setMoved() that something moved.
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
    // Called again and again, every 10 ms, on the waiting thread.
    using Waiting = std::function<void()>;
    // Asked on the waiting thread; true stops an operation at once.
    using Cancelled = std::function<bool()>;

    // How long a tidying step may take.
    static constexpr long TidyingMs = 500;

    TransferEngine(long stallMs, Waiting whileWaiting = {}, Cancelled cancelled = {});
    TransferEngine(const TransferEngine &) = delete;
    TransferEngine &operator=(const TransferEngine &) = delete;

    // Runs the work to its end, or until it was stopped; tells what stopped it. The work must
    // end soon once its sockets are cut; wake (when set) is called to hurry it.
    Stop run(const std::function<void()> &work, Budget budget, const Progress *progress = nullptr,
             qint64 total = 0);
    // What stopped the step in hand, read by the work to leave its loops.
    Stop stopped() const { return m_stop; }
    void setWake(std::function<void()> wake) { m_wake = std::move(wake); }

    // From any thread: stops the step in hand, and every later one but tidying.
    void cancel();
    // Cancel was asked for, through cancel() or the callback.
    bool cancelRequested() const;

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
    Waiting m_whileWaiting;
    Cancelled m_cancelled;
    std::function<void()> m_wake;
    std::atomic<bool> m_cancelRequested{false};

    std::mutex m_mutex;
    std::condition_variable m_finishedChanged;
    bool m_finished = false;
    std::atomic<Stop> m_stop{Stop::None};
    std::atomic<qint64> m_moved{0};
    std::atomic<qint64> m_lastActivity{0};
    // Every socket of the connection (under the mutex), and the newest: a put's data connection.
    std::set<int> m_sockets;
    int m_newest = -1;
    // Closed by the library while their sent bytes still wait for the server: the closing is
    // only a shutdown until the step ends, so that what they hold can be told.
    std::set<int> m_draining;
};
