#pragma once

#include "FtpClient.h"

#include <QByteArray>
#include <QDateTime>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>

// An in-memory server for upload tests: a tree of folders and files below the login folder,
// shared by the clients connected to it (see FakeFtpClient), with what a test scripts: refusals,
// dropped connections, stalls, listings without sizes or times, a limit on connections, and puts
// held until the test lets them end. Safe to use from the clients' threads.
class FakeFtpServer
{
public:
    struct File
    {
        QByteArray bytes;
        QDateTime modified;
    };
    // What a scripted operation gives instead of doing its work.
    enum class Trouble
    {
        Refuse,
        Drop,
        Stall,
    };

    // A test's look at the run in the middle of it.
    using Hook = std::function<void(const QString &operation, const QString &path)>;

    FakeFtpServer();

    void addFolder(const QString &path);
    void addFile(const QString &path, const QByteArray &bytes, const QDateTime &modified);
    QMap<QString, File> files() const;
    QSet<QString> folders() const;

    // The operation ("put", "list", "exists", "mkdir", "remove", "rename", "time") on a path
    // meets the trouble every time from now on. A put is named by the local file's name, as it
    // goes to the server under a temporary one.
    void script(const QString &operation, const QString &path, Trouble trouble);
    // Listings give names only.
    void setListsSizesAndTimes(bool lists);
    // Logins beyond this many connections at once are refused; 0 for no limit.
    void setConnectionLimit(int limit);
    // Every login from now on is refused.
    void setReachable(bool reachable);
    // A put onto a file that is there is refused, as by servers that do not overwrite.
    void setReplacesFiles(bool replaces);
    // Listings tell times this many seconds off UTC, as a server's local time; a server that
    // takes no times refuses them, and a file keeps the time it arrived.
    void setClock(qint64 listingOffsetSeconds, bool takesTimes);
    // The server's clock, which stamps the time a file arrived, runs this much further ahead.
    void advanceClock(qint64 seconds);
    // The server goes away: logins are refused, and every connection is gone; a put in flight
    // ends there, leaving the part it had.
    void vanish();
    // Puts of a local file of this name wait until released (or their client is cancelled).
    void hold(const QString &name);
    void release(const QString &name);
    // Waits until a put of the file is being held.
    bool waitUntilHeld(const QString &name, int timeoutMs = 5000);

    // Runs before every login ("login") and operation, on the application's thread while the
    // client waits, as a user's click would; what it throws goes on from the client's thread.
    void setHook(Hook hook);

    // Operations in the order they were done, as "put 2008/a.jpg", whichever client did them.
    QStringList log() const;
    int logins() const;
    // The most connections logged in at once.
    int mostConnections() const;
    // The connections logged in now.
    int connections() const;

private:
    friend class FakeFtpClient;

    std::optional<Trouble> troubleFor(const QString &operation, const QString &path) const;
    // The generation logged in to, or -1 when refused.
    int login();
    void logout(int generation);
    void record(const QString &entry);
    void runHook(const QString &operation, const QString &path) const;
    // The server's time, in UTC; called with the mutex held.
    QDateTime now() const { return QDateTime::currentDateTimeUtc().addSecs(m_clockAhead); }

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    QMap<QString, File> m_files;
    QSet<QString> m_folders;
    QMap<QString, Trouble> m_scripted;
    QSet<QString> m_held;
    QSet<QString> m_holding;
    bool m_listsSizesAndTimes = true;
    int m_limit = 0;
    bool m_reachable = true;
    bool m_replacesFiles = true;
    qint64 m_listingOffset = 0;
    bool m_takesTimes = true;
    qint64 m_clockAhead = 0;
    int m_connected = 0;
    int m_mostConnected = 0;
    int m_logins = 0;
    // Counts the times the server went away, so a connection knows it did.
    int m_generation = 0;
    QStringList m_log;
    Hook m_hook;
};
