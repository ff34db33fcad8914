#pragma once

#include "RemoteEntry.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <optional>

// A remote folder as one listing showed it, and what it tells about the files to send there.
class RemoteListing
{
public:
    RemoteListing() = default;
    explicit RemoteListing(const QList<RemoteEntry> &entries);

    const QList<RemoteEntry> &entries() const { return m_entries; }
    // Every file of the listing has a size and a time, so files can be compared.
    bool tellsSizesAndTimes() const { return m_sizesAndTimes; }
    // The server holds this file already: a file of the same size, not older than the local
    // one (to the second, as servers keep times).
    bool holds(const QString &name, qint64 size, const QDateTime &modified) const;
    // For a file of the listing with this size, how many seconds its listed time is ahead of
    // the local one.
    std::optional<qint64> offsetOf(const QString &name, qint64 size, const QDateTime &modified) const;

private:
    QList<RemoteEntry> m_entries;
    QHash<QString, qsizetype> m_files;
    bool m_sizesAndTimes = true;
};
