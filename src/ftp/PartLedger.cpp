#include "PartLedger.h"

void PartLedger::add(const QString &path)
{
    const std::lock_guard lock(m_mutex);
    if (!m_parts.contains(path))
        m_parts.append(path);
}

QStringList PartLedger::take()
{
    const std::lock_guard lock(m_mutex);
    return std::exchange(m_parts, {});
}

bool PartLedger::isEmpty() const
{
    const std::lock_guard lock(m_mutex);
    return m_parts.isEmpty();
}
