#include "ServerClock.h"

#include <QHash>
#include <cmath>

namespace {

constexpr qint64 QuarterHour = 15 * 60;
// Zones lie within UTC-12 and UTC+14; a set time whose listing is further off than this was not
// taken.
constexpr qint64 FurthestZone = 14 * 3600;

qint64 toQuarterHours(qint64 seconds)
{
    return static_cast<qint64>(std::llround(static_cast<double>(seconds) / QuarterHour)) * QuarterHour;
}

} // namespace

std::optional<ServerClock> ServerClock::learn(const QDateTime &listed, const QDateTime &setTo, bool timeSet,
                                              const QDateTime &sentAt)
{
    if (!listed.isValid())
        return std::nullopt;
    ServerClock clock;
    // A server may answer that it set the time and keep the time of arrival all the same.
    const qint64 fromSet = timeSet && setTo.isValid() ? setTo.secsTo(listed) : FurthestZone + 1;
    clock.m_keepsTimesGiven = std::abs(fromSet) <= FurthestZone;
    clock.m_offsetSeconds = toQuarterHours(clock.m_keepsTimesGiven ? fromSet : sentAt.secsTo(listed));
    return clock;
}

std::optional<ServerClock> ServerClock::fromOffsets(const QList<qint64> &offsets)
{
    QHash<qint64, int> counts;
    for (const qint64 offset : offsets) {
        if (offset % QuarterHour == 0 && std::abs(offset) <= FurthestZone)
            ++counts[offset];
    }
    std::optional<ServerClock> clock;
    int most = 1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > most || (it.value() == most && clock && it.key() > clock->m_offsetSeconds)) {
            most = it.value();
            clock = ServerClock();
            clock->m_offsetSeconds = it.key();
        }
    }
    return clock;
}
