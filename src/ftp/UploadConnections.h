#pragma once

#include "ConnectionPool.h"
#include "FtpClient.h"
#include "FtpSettings.h"

#include <QList>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>

class PartLedger;
class UploadHost;
struct RunState;

// The connections of one upload and their health: the first connects (asking the user about a
// server identity that is wanting), the others log in beside it on their own threads and are
// trusted only for what the user accepted. A connection that stalls or goes twice in a row, or
// that cannot log in again, is given up; the server, when none is left.
class UploadConnections
{
public:
    using ClientFactory = std::function<std::unique_ptr<FtpClient>()>;
    using Line = std::function<void(const QString &text)>;

    enum class Health
    {
        Fine,
        // The connection went or stalled once: the next failure of the kind ends it.
        Doubtful,
        Gone,
    };

    // One connection as the upload sees it. The bytes are written by the connection's thread.
    struct Connection
    {
        int index = 0;
        Health health = Health::Fine;
        bool connected = false;
        // The step in hand, or -1.
        int step = -1;
        std::atomic<qint64> sent{0};
        std::atomic<qint64> total{0};
    };

    UploadConnections(const FtpSettings &server, const RunState &run, UploadHost &host,
                      ClientFactory makeClient, std::shared_ptr<PartLedger> parts, Line line);
    ~UploadConnections();

    // Makes the first connection ready; false when the transfer library cannot serve.
    bool open();
    // Connects and logs in the first; then the others start logging in on their own threads.
    bool connectFirst(uint16_t port);
    void connectOthers(uint16_t port);
    // Waits for the others to have logged in (or failed to); gives up those that did not, and
    // says so when the server took fewer than asked for.
    void waitForOthers();

    // Runs an operation on the first connection still there, waiting with the window alive.
    bool call(const std::function<TransferOutcome(AtomicPutClient &)> &operation);

    ConnectionPool &pool() { return *m_pool; }
    const QList<std::shared_ptr<Connection>> &all() const { return m_connections; }
    std::shared_ptr<Connection> byIndex(int index) const;
    // A connection that is there and free, or none.
    std::shared_ptr<Connection> idle() const;
    int alive() const;
    // The connection's health after an operation ended so; true when this failure took it and
    // others are left.
    bool judge(int index, FtpClient::Failure failure);
    // The limit on connections has been told: a connection that cannot log in again says no more.
    bool limitTold() const { return m_limitTold; }
    void setLimitTold() { m_limitTold = true; }

    // Lets the window work; Cancel, once seen, ends every transfer in hand at once.
    bool yieldCancelled();
    // After an unexpected error.
    void cancel();
    void closeAll();

private:
    FtpSettings m_server;
    const RunState &m_run;
    UploadHost &m_host;
    ClientFactory m_makeClient;
    std::shared_ptr<PartLedger> m_parts;
    Line m_line;
    std::unique_ptr<ConnectionPool> m_pool;
    QList<std::shared_ptr<Connection>> m_connections;
    // What the user chose to trust about the server, for the connections made after the first.
    ServerIdentity m_trusted;
    bool m_cancelSent = false;
    bool m_limitTold = false;
};
