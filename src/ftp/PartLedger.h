#pragma once

#include <QString>
#include <QStringList>
#include <mutex>

// The parts of puts this program began on one server and could not remove when they failed,
// because the connection had gone: each is removed by the next operation that reaches the
// server again, on any connection of the run or of a later run in the same program session.
// Shared by the connections of a run, so any thread may use it.
class PartLedger
{
public:
    void add(const QString &path);
    // Every part noted, and the ledger empty.
    QStringList take();
    bool isEmpty() const;

private:
    mutable std::mutex m_mutex;
    QStringList m_parts;
};
