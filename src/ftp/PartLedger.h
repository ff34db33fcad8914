#pragma once

#include "PartJournal.h"

#include <QString>
#include <QStringList>
#include <memory>
#include <mutex>

// The parts of puts this program begins on one server. A part whose put failed after the
// connection had gone is left behind, to be removed by the next operation that reaches the
// server again, on any connection of the run or of a later run in the same program session;
// with a journal, a later program finds the parts this one could not remove, or was killed
// before it could. Shared by the connections of a run, so any thread may use it.
class PartLedger
{
public:
    explicit PartLedger(std::shared_ptr<PartJournal> journal = {}, const QString &server = {});

    // A put begins writing this part.
    void writing(const QString &path);
    // The part was renamed over its target, or removed.
    void gone(const QString &path);
    // The part may be on the server still, and is to be removed when it can be.
    void leftBehind(const QString &path);
    // The parts left behind; each stays noted until it is gone or left behind again.
    QStringList takeLeftBehind();
    bool isEmpty() const;

private:
    std::shared_ptr<PartJournal> m_journal;
    QString m_server;
    mutable std::mutex m_mutex;
    QStringList m_leftBehind;
};
