#include "PublishMemory.h"

using namespace Qt::Literals::StringLiterals;

std::shared_ptr<PartLedger> PublishMemory::parts(const FtpSettings &server)
{
    std::shared_ptr<PartLedger> &ledger = m_parts[keyOf(server)];
    if (!ledger)
        ledger = std::make_shared<PartLedger>();
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
    return TransferSecurityText::stored(server.security) + u'\n' + server.address.trimmed().toLower() +
           u'\n' + server.port.trimmed() + u'\n' + server.username;
}
