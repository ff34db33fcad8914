#include "PublishMemory.h"

using namespace Qt::Literals::StringLiterals;

PublishMemory::PublishMemory(std::shared_ptr<PartJournal> journal) : m_journal(std::move(journal)) {}

std::shared_ptr<PartLedger> PublishMemory::parts(const FtpSettings &server)
{
    const QString key = keyOf(server);
    std::shared_ptr<PartLedger> &ledger = m_parts[key];
    if (!ledger)
        ledger = std::make_shared<PartLedger>(m_journal, key);
    if (m_journal) {
        for (const QString &path : m_journal->adoptOrphans(key))
            ledger->leftBehind(path);
    }
    return ledger;
}

std::optional<ServerClock> PublishMemory::clock(const FtpSettings &server) const
{
    const auto found = m_clocks.constFind(keyOf(server));
    return found == m_clocks.constEnd() ? std::nullopt : std::optional<ServerClock>(*found);
}

void PublishMemory::setClock(const FtpSettings &server, const ServerClock &clock)
{
    m_clocks.insert(keyOf(server), clock);
}

QString PublishMemory::keyOf(const FtpSettings &server)
{
    // One line of text without tabs, as the journal keeps it.
    return TransferSecurityText::stored(server.security) + u' ' + server.address.trimmed().toLower() + u' ' +
           server.port.trimmed() + u' ' + QString::fromLatin1(server.username.toUtf8().toPercentEncoding());
}
