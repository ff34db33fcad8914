#include "RemoteListing.h"

RemoteListing::RemoteListing(const QList<RemoteEntry> &entries) : m_entries(entries)
{
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        const RemoteEntry &entry = m_entries.at(i);
        if (entry.folder)
            continue;
        m_files.insert(entry.name, i);
        if (entry.size < 0 || !entry.modified.isValid())
            m_sizesAndTimes = false;
    }
}

bool RemoteListing::holds(const QString &name, qint64 size, const QDateTime &modified) const
{
    const std::optional<qint64> ahead = offsetOf(name, size, modified);
    return ahead && *ahead >= 0;
}

std::optional<qint64> RemoteListing::offsetOf(const QString &name, qint64 size,
                                              const QDateTime &modified) const
{
    const auto found = m_files.constFind(name);
    if (found == m_files.constEnd() || !modified.isValid())
        return std::nullopt;
    const RemoteEntry &entry = m_entries.at(*found);
    if (entry.size != size || !entry.modified.isValid())
        return std::nullopt;
    return entry.modified.toSecsSinceEpoch() - modified.toSecsSinceEpoch();
}
