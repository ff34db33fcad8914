#include "UploadLog.h"

UploadLog::UploadLog(Output output) : m_output(std::move(output)) {}

int UploadLog::append(const QStringList &linesBefore)
{
    return insertAt(m_order.size(), linesBefore);
}

int UploadLog::insertBefore(int slot, const QStringList &linesBefore)
{
    return insertAt(m_order.indexOf(slot), linesBefore);
}

int UploadLog::insertAfter(int slot, const QStringList &linesBefore)
{
    return insertAt(m_order.indexOf(slot) + 1, linesBefore);
}

int UploadLog::insertAt(qsizetype position, const QStringList &linesBefore)
{
    Slot slot;
    slot.linesBefore = linesBefore;
    m_slots.append(slot);
    const int number = static_cast<int>(m_slots.size() - 1);
    // A slot is never put among those shown already: it comes after them.
    m_order.insert(std::max(position, m_shown), number);
    return number;
}

void UploadLog::flush(bool final)
{
    for (; m_shown < m_order.size(); ++m_shown) {
        Slot &slot = m_slots[m_order.at(m_shown)];
        if (!slot.shownBefore && (slot.started || slot.done)) {
            for (const QString &line : std::as_const(slot.linesBefore))
                m_output(line);
            slot.shownBefore = true;
        }
        if (!slot.done && !final)
            return;
        for (const QString &line : std::as_const(slot.lines))
            m_output(line);
    }
}
