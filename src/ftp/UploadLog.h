#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// The lines of an upload's file phase, kept in the list's order whatever order the connections
// finish in. Each step has a slot: the lines shown when its turn comes (once it is handed to a
// connection), then the lines of what it found, shown once it and every slot before it are done.
// Slots can be put between others later (a notice, a step inserted), without renumbering any.
class UploadLog
{
public:
    using Output = std::function<void(const QString &line)>;

    explicit UploadLog(Output output);

    // A new slot at the end, or just before another; returns its number.
    int append(const QStringList &linesBefore = {});
    int insertBefore(int slot, const QStringList &linesBefore = {});
    int insertAfter(int slot, const QStringList &linesBefore = {});

    void add(int slot, const QString &line) { m_slots[slot].lines.append(line); }
    // The slot's turn has come: its lines before can be shown.
    void started(int slot) { m_slots[slot].started = true; }
    void done(int slot) { m_slots[slot].done = true; }

    // Shows what is ready, in order; at the end, slots that will never be done no longer hold
    // back those after them.
    void flush(bool final = false);

private:
    struct Slot
    {
        QStringList linesBefore;
        QStringList lines;
        bool started = false;
        bool shownBefore = false;
        bool done = false;
    };

    int insertAt(qsizetype position, const QStringList &linesBefore);

    Output m_output;
    QList<Slot> m_slots;
    // Slot numbers in the list's order, and how many of them are shown.
    QList<int> m_order;
    qsizetype m_shown = 0;
};
