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
    std::shared_ptr<PartLedger> parts(const FtpSettings &server);
    std::optional<ServerClock> clock(const FtpSettings &server) const;
    void setClock(const FtpSettings &server, const ServerClock &clock);

private:
    static QString keyOf(const FtpSettings &server);

    QHash<QString, std::shared_ptr<PartLedger>> m_parts;
    QHash<QString, ServerClock> m_clocks;
};
