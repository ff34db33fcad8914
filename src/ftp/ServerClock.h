#pragma once

#include <QDateTime>
#include <QList>
#include <optional>

// How a server's listings tell the times of its files, learnt from a file just sent to it: some
// servers speak their local time where UTC is meant, some cannot be given a file's time at all
// and keep the time the file arrived.
class ServerClock
{
public:
    // From the time a listing gave a file sent at sentAt (UTC, by this computer's clock), whose
    // time was then set to setTo when timeSet; nothing when the listing gave no time. Offsets are
    // whole quarter hours, as time zones are.
    static std::optional<ServerClock> learn(const QDateTime &listed, const QDateTime &setTo, bool timeSet,
                                            const QDateTime &sentAt);

    // From how far ahead of the local times a listing told those of files this program sent with
    // their times: the offset at least two of them share, in whole quarter hours.
    static std::optional<ServerClock> fromOffsets(const QList<qint64> &offsets);

    // Whether the server takes the times it is given; where it does not, a listed time is when
    // the file arrived.
    bool keepsTimesGiven() const { return m_keepsTimesGiven; }
    qint64 offsetSeconds() const { return m_offsetSeconds; }

private:
    qint64 m_offsetSeconds = 0;
    bool m_keepsTimesGiven = true;
};
