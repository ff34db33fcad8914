#include "UploadConnections.h"

#include "AtomicPutClient.h"
#include "IdentityMessages.h"
#include "RunState.h"
#include "UploadHost.h"

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

UploadConnections::UploadConnections(const FtpSettings &server, const RunState &run, UploadHost &host,
                                     ClientFactory makeClient, std::shared_ptr<PartLedger> parts, Line line)
    : m_server(server), m_run(run), m_host(host), m_makeClient(std::move(makeClient)),
      m_parts(std::move(parts)), m_line(std::move(line)), m_pool(std::make_unique<ConnectionPool>())
{}

UploadConnections::~UploadConnections()
{
    m_pool->cancel();
}

bool UploadConnections::open()
{
    auto first = std::make_shared<Connection>();
    first->index = m_pool->add(std::make_unique<AtomicPutClient>(m_makeClient(), m_parts));
    m_connections.append(first);
    bool opened = false;
    m_pool->run(
        first->index, [&](AtomicPutClient &client) { opened = client.inner().open(); },
        [this] { yieldCancelled(); });
    return opened;
}

// A server whose identity is wanting is connected to only when the user trusts what it
// offered; a changed one never is.
bool UploadConnections::connectFirst(uint16_t port)
{
    const auto connect = [&] {
        return call([&](AtomicPutClient &client) {
            return client.inner().connect(m_server.address, port, m_server.username, m_server.password);
        });
    };
    if (connect()) {
        m_connections.constFirst()->connected = true;
        return true;
    }
    ServerIdentity identity;
    m_pool->run(
        0, [&](AtomicPutClient &client) { identity = client.inner().identity(); },
        [this] { yieldCancelled(); });
    if (identity.problem == ServerIdentity::Problem::None || m_run.cancelRequested())
        return false;
    m_line(IdentityMessages::line(identity));
    switch (identity.problem) {
    case ServerIdentity::Problem::UntrustedCertificate:
    case ServerIdentity::Problem::UnknownHostKey: {
        if (!m_host.askYesNo(IdentityMessages::question(identity), IdentityMessages::questionTitle(identity),
                             MessageBoxService::Icon::Exclamation, false))
            return false;
        bool kept = false;
        m_pool->run(
            0, [&](AtomicPutClient &client) { kept = client.inner().trust(identity); },
            [this] { yieldCancelled(); });
        if (!kept)
            m_line(IdentityMessages::notKept());
        if (identity.problem == ServerIdentity::Problem::UntrustedCertificate)
            FtpSettings::storeTlsPin(identity.server + u' ' + identity.publicKeyPin);
        m_trusted = identity;
        const bool connected = connect();
        m_connections.constFirst()->connected = connected;
        return connected;
    }
    case ServerIdentity::Problem::ChangedCertificate:
    case ServerIdentity::Problem::ChangedHostKey:
        m_host.showBox(IdentityMessages::warning(identity), IdentityMessages::warningTitle(identity),
                       MessageBoxService::Icon::Exclamation);
        return false;
    case ServerIdentity::Problem::EncryptionRefused:
    case ServerIdentity::Problem::None:
        break;
    }
    return false;
}

// Each further connection is shown what the first was, so it is trusted only for the very
// certificate or key the user accepted.
void UploadConnections::connectOthers(uint16_t port)
{
    const FtpSettings settings = m_server;
    const ServerIdentity trusted = m_trusted;
    for (int i = 1; i < settings.connections; ++i) {
        auto connection = std::make_shared<Connection>();
        connection->index = m_pool->add(std::make_unique<AtomicPutClient>(m_makeClient(), m_parts));
        m_connections.append(connection);
        m_pool->start(connection->index, [settings, port, trusted, connection](AtomicPutClient &put) {
            FtpClient &client = put.inner();
            const auto login = [&] {
                return client.connect(settings.address, port, settings.username, settings.password).ok();
            };
            bool connected = client.open() && login();
            const ServerIdentity offered = client.identity();
            if (!connected && trusted.problem != ServerIdentity::Problem::None &&
                offered.problem == trusted.problem && offered.fingerprint == trusted.fingerprint) {
                client.trust(offered);
                connected = login();
            }
            connection->connected = connected;
        });
    }
}

void UploadConnections::waitForOthers()
{
    const auto connecting = [this] {
        return std::any_of(m_connections.cbegin() + 1, m_connections.cend(),
                           [this](const auto &connection) { return m_pool->busy(connection->index); });
    };
    while (connecting()) {
        m_pool->collect(std::chrono::milliseconds(10));
        yieldCancelled();
    }
    m_pool->collect(std::chrono::milliseconds(0));
    int connected = 0;
    for (const auto &connection : std::as_const(m_connections)) {
        if (connection->connected)
            ++connected;
        else
            connection->health = Health::Gone;
    }
    if (connected < m_server.connections && !m_run.cancelRequested()) {
        m_line(u" - The server accepts %1 connections; going on with %1."_s.arg(connected));
        m_limitTold = true;
    }
}

bool UploadConnections::call(const std::function<TransferOutcome(AtomicPutClient &)> &operation)
{
    const auto alive = std::find_if(m_connections.cbegin(), m_connections.cend(), [](const auto &connection) {
        return connection->health != Health::Gone;
    });
    if (alive == m_connections.cend())
        return false;
    bool result = false;
    m_pool->run((*alive)->index, [&](AtomicPutClient &client) { result = operation(client).ok(); },
                [this] { yieldCancelled(); });
    return result;
}

std::shared_ptr<UploadConnections::Connection> UploadConnections::byIndex(int index) const
{
    const auto found = std::find_if(m_connections.cbegin(), m_connections.cend(),
                                    [index](const auto &connection) { return connection->index == index; });
    return found == m_connections.cend() ? nullptr : *found;
}

std::shared_ptr<UploadConnections::Connection> UploadConnections::idle() const
{
    const auto found = std::find_if(m_connections.cbegin(), m_connections.cend(), [](const auto &connection) {
        return connection->health != Health::Gone && connection->connected && connection->step < 0;
    });
    return found == m_connections.cend() ? nullptr : *found;
}

int UploadConnections::alive() const
{
    return static_cast<int>(std::count_if(m_connections.cbegin(), m_connections.cend(),
                                          [](const auto &c) { return c->health != Health::Gone; }));
}

bool UploadConnections::judge(int index, FtpClient::Failure failure)
{
    const std::shared_ptr<Connection> connection = byIndex(index);
    if (!connection)
        return false;
    switch (failure) {
    case FtpClient::Failure::None:
    case FtpClient::Failure::Refused:
        connection->health = Health::Fine;
        return false;
    case FtpClient::Failure::Cancelled:
    case FtpClient::Failure::LocalFile:
        return false;
    case FtpClient::Failure::ConnectionLost:
    case FtpClient::Failure::Stalled:
        connection->health = connection->health == Health::Fine ? Health::Doubtful : Health::Gone;
        break;
    case FtpClient::Failure::Unreachable:
        connection->health = Health::Gone;
        break;
    }
    return connection->health == Health::Gone && alive() > 0;
}

bool UploadConnections::yieldCancelled()
{
    const bool cancelled = m_host.yieldCancelled();
    if (cancelled && !m_cancelSent) {
        m_pool->cancel();
        m_cancelSent = true;
    }
    return cancelled;
}

void UploadConnections::cancel()
{
    m_pool->cancel();
}

void UploadConnections::closeAll()
{
    m_pool->closeAll();
}
