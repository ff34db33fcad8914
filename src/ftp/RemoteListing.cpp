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
    const auto found = m_files.constFind(name);
    if (found == m_files.constEnd())
        return false;
    const RemoteEntry &entry = m_entries.at(*found);
    if (entry.size != size || !entry.modified.isValid() || !modified.isValid())
        return false;
    const qint64 local = modified.toSecsSinceEpoch();
    return entry.modified.toSecsSinceEpoch() >= local;
}
