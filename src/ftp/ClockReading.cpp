#include "ClockReading.h"

#include "PublishMemory.h"
#include "RemoteListing.h"

#include <QFileInfo>

ClockReading::ClockReading(PublishMemory &memory, const FtpSettings &server)
    : m_memory(memory), m_server(server), m_clock(memory.clock(server))
{
    // SFTP speaks of times in seconds since 1970 in UTC, and every server takes them.
    if (server.security == TransferSecurity::Sftp)
        m_clock = ServerClock();
}

bool ClockReading::holdsBack(const QString &folder) const
{
    return !m_clock && !m_untrusted && m_waiting.contains(folder);
}

bool ClockReading::learnFrom(const QString &folder, const RemoteListing &listing,
                             const QStringList &localFiles)
{
    if (m_clock || m_untrusted)
        return false;
    QList<qint64> offsets;
    for (const QString &path : localFiles) {
        const QFileInfo local(path);
        if (const std::optional<qint64> offset =
                listing.offsetOf(local.fileName(), local.size(), local.lastModified().toUTC()))
            offsets.append(*offset);
    }
    if (offsets.isEmpty())
        return false;
    if (const std::optional<ServerClock> clock = ServerClock::fromOffsets(offsets)) {
        keep(*clock);
        return false;
    }
    m_waiting.insert(folder);
    return !std::exchange(m_probeSent, true);
}

bool ClockReading::probed(const std::optional<ServerClock> &clock)
{
    if (clock)
        keep(*clock);
    else if (!m_clock)
        m_untrusted = true;
    return !m_untrusted;
}

void ClockReading::keep(const ServerClock &clock)
{
    m_clock = clock;
    m_memory.setClock(m_server, clock);
    // Times it will not take need not be offered again.
    *m_timesRefused = *m_timesRefused || !clock.keepsTimesGiven();
}
