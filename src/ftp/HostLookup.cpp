#include "HostLookup.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr std::chrono::milliseconds AskEvery{20};

} // namespace

// What the lookup's thread and the caller share; the last of the two to let go frees it.
struct HostLookup::Shared
{
    std::mutex mutex;
    std::condition_variable doneChanged;
    bool done = false;
    int result = EAI_AGAIN;
    addrinfo *found = nullptr;

    ~Shared()
    {
        if (found)
            freeaddrinfo(found);
    }
};

HostLookup::HostLookup(const QString &host, uint16_t port, const GiveUp &giveUp)
    : m_shared(std::make_shared<Shared>())
{
    std::thread([shared = m_shared, name = host.toUtf8(), service = QByteArray::number(port)] {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo *found = nullptr;
        const int result = ::getaddrinfo(name.constData(), service.constData(), &hints, &found);
        const std::lock_guard lock(shared->mutex);
        shared->result = result;
        shared->found = found;
        shared->done = true;
        shared->doneChanged.notify_all();
    }).detach();
    std::unique_lock lock(m_shared->mutex);
    while (!m_shared->doneChanged.wait_for(lock, AskEvery, [this] { return m_shared->done; })) {
        if (giveUp()) {
            m_error = u"no answer from the name server for "_s + host;
            return;
        }
    }
    if (m_shared->result != 0)
        m_error = u"cannot find "_s + host + u": "_s + QString::fromLocal8Bit(gai_strerror(m_shared->result));
    else
        m_addresses = m_shared->found;
}

HostLookup::~HostLookup() = default;
