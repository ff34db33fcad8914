#pragma once

#include "FtpSettings.h"
#include "PartLedger.h"
#include "ServerClock.h"

#include <QHash>
#include <QString>
#include <memory>
#include <optional>

// What the uploads of one program session learnt of each server they went to: the parts left
// there to remove, and how its listings tell times. A server is its protocol, address, port
// and user.
class PublishMemory
{
public:
    // With a journal, parts are noted on disk too, and those of programs that were killed are
    // taken over.
    explicit PublishMemory(std::shared_ptr<PartJournal> journal = {});

    // The server's ledger, holding too the parts killed programs left there.
    std::shared_ptr<PartLedger> parts(const FtpSettings &server);
    std::optional<ServerClock> clock(const FtpSettings &server) const;
    void setClock(const FtpSettings &server, const ServerClock &clock);

    // The server as the journal names it.
    static QString keyOf(const FtpSettings &server);

private:
    std::shared_ptr<PartJournal> m_journal;
    QHash<QString, std::shared_ptr<PartLedger>> m_parts;
    QHash<QString, ServerClock> m_clocks;
};
