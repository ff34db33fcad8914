#pragma once

#include "FtpSettings.h"
#include "ServerClock.h"

#include <QSet>
#include <QString>
#include <QStringList>
#include <atomic>
#include <memory>
#include <optional>

class PublishMemory;
class RemoteListing;

// How an upload compares local times with a server's listed ones. Files this program sent before
// took their local times, so where the server tells the same quarter-hour offset for two files of
// a folder's size, that is its clock. Where nothing tells it, an empty file sent to a folder and
// listed does (a probe), before any file of that folder is compared. What is learnt is kept in
// the program session's memory.
class ClockReading
{
public:
    ClockReading(PublishMemory &memory, const FtpSettings &server);

    // Whether times can be compared, and how many seconds listed times are ahead of local ones.
    bool known() const { return m_clock.has_value(); }
    qint64 offsetSeconds() const { return m_clock ? m_clock->offsetSeconds() : 0; }
    // No probe could tell the server's times: every file is sent.
    bool untrusted() const { return m_untrusted; }
    // The folder's files wait for a probe.
    bool holdsBack(const QString &folder) const;
    // Set from the connections' threads once the server refuses to set a time, so later puts
    // do not offer one; shared with them.
    const std::shared_ptr<std::atomic<bool>> &timesRefused() const { return m_timesRefused; }

    // From a listing that tells sizes and times, and the local files of the folder (image and
    // thumbnail paths): true when a probe is to be sent to this folder now (the first folder
    // that needs one; the others wait for it too).
    bool learnFrom(const QString &folder, const RemoteListing &listing, const QStringList &localFiles);
    // What the probe found; false when it told nothing and times cannot be compared.
    bool probed(const std::optional<ServerClock> &clock);

private:
    void keep(const ServerClock &clock);

    PublishMemory &m_memory;
    FtpSettings m_server;
    std::optional<ServerClock> m_clock;
    bool m_probeSent = false;
    QSet<QString> m_waiting;
    bool m_untrusted = false;
    std::shared_ptr<std::atomic<bool>> m_timesRefused = std::make_shared<std::atomic<bool>>(false);
};
