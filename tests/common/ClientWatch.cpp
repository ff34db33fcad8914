#include "ClientWatch.h"

ClientWatch::ClientWatch(FtpClient &client) : m_client(client), m_thread([this] { run(); }) {}

ClientWatch::~ClientWatch()
{
    m_client.close();
    {
        const std::lock_guard lock(m_mutex);
        m_quitting = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void ClientWatch::cancelAfter(std::chrono::milliseconds delay)
{
    const std::lock_guard lock(m_mutex);
    m_since.start();
    m_cancelAfter = delay;
}

void ClientWatch::run()
{
    std::unique_lock lock(m_mutex);
    while (!m_changed.wait_for(lock, std::chrono::milliseconds(10), [this] { return m_quitting; })) {
        if (m_cancelAfter.count() >= 0 && m_since.elapsed() >= m_cancelAfter.count()) {
            m_cancelAfter = std::chrono::milliseconds(-1);
            m_client.cancel();
        }
        m_client.watch();
    }
}
