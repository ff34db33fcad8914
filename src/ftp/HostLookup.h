#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>
#include <netdb.h>

// Finds a host's addresses on a thread of its own, so that a wait for a name server that does
// not answer ends when the caller gives up: a lookup left behind finishes alone and frees what
// it found.
class HostLookup
{
public:
    // Asked every few milliseconds while waiting; true gives up.
    using GiveUp = std::function<bool()>;

    HostLookup(const QString &host, uint16_t port, const GiveUp &giveUp);
    HostLookup(const HostLookup &) = delete;
    HostLookup &operator=(const HostLookup &) = delete;
    ~HostLookup();

    // The addresses found, in getaddrinfo's order; null when none (see errorText).
    const addrinfo *addresses() const { return m_addresses; }
    QString errorText() const { return m_error; }

private:
    struct Shared;
    std::shared_ptr<Shared> m_shared;
    const addrinfo *m_addresses = nullptr;
    QString m_error;
};
