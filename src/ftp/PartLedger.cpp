#include "PartLedger.h"

PartLedger::PartLedger(std::shared_ptr<PartJournal> journal, const QString &server)
    : m_journal(std::move(journal)), m_server(server)
{}

void PartLedger::writing(const QString &path)
{
    if (m_journal)
        m_journal->writing(m_server, path);
}

void PartLedger::gone(const QString &path)
{
    if (m_journal)
        m_journal->gone(m_server, path);
    const std::lock_guard lock(m_mutex);
    m_leftBehind.removeAll(path);
}

void PartLedger::leftBehind(const QString &path)
{
    const std::lock_guard lock(m_mutex);
    if (!m_leftBehind.contains(path))
        m_leftBehind.append(path);
}

QStringList PartLedger::takeLeftBehind()
{
    const std::lock_guard lock(m_mutex);
    return std::exchange(m_leftBehind, {});
}

bool PartLedger::isEmpty() const
{
    const std::lock_guard lock(m_mutex);
    return m_leftBehind.isEmpty();
}
