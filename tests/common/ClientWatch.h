#pragma once

#include "FtpClient.h"

#include <QElapsedTimer>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

// Watches a client that no ConnectionPool runs, as the pool's waiting thread would: a thread of
// its own calls watch() every 10 ms, so that a stall ends the operation in hand. cancelAfter()
// has it cancel the client once the time has passed, as a Cancel pressed during an operation.
// The client is closed while still watched, then the thread ends.
class ClientWatch
{
public:
    explicit ClientWatch(FtpClient &client);
    ~ClientWatch();
    ClientWatch(const ClientWatch &) = delete;
    ClientWatch &operator=(const ClientWatch &) = delete;

    // Counted from now.
    void cancelAfter(std::chrono::milliseconds delay);

private:
    void run();

    FtpClient &m_client;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_quitting = false;
    QElapsedTimer m_since;
    std::chrono::milliseconds m_cancelAfter{-1};
    std::thread m_thread;
};
