#pragma once

#include "RemoteEntry.h"
#include "TransferEngine.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QList>
#include <QString>
#include <functional>
#include <libssh2.h>
#include <libssh2_sftp.h>
#include <optional>
#include <unordered_set>

class QFile;
class SshHostKeyCheck;

// One SSH session with its SFTP channel, on a socket the engine opened, spoken through
// libssh2 without blocking: every wait is a poll of that socket, which the engine's cut ends
// at once. Paths are SFTP paths as the server takes them. Each request runs within a step of the
// engine, and so does the destructor, which ends the session without a goodbye.
class SftpConnection
{
public:
    // Why the last request failed.
    enum class Fault
    {
        None,
        // The server answered with an SFTP status other than OK.
        Status,
        // The server turned the login down.
        Login,
        // The host key was not accepted: nothing was sent after the key exchange.
        HostKey,
        // The local file could not be read.
        LocalFile,
        // The connection broke, or could not be made in time.
        Lost,
        // The session went on but no answer came for libssh2's own limit (60 s).
        Silent,
    };

    // What place() got done.
    struct Placed
    {
        // Closed whole under the temporary path.
        bool stored = false;
        bool renamed = false;
        // Why the times were not set: None when they were, or none were asked for.
        Fault timeFault = Fault::None;
    };

    SftpConnection(TransferEngine &engine, SshHostKeyCheck &hostKeys);
    SftpConnection(const SftpConnection &) = delete;
    SftpConnection &operator=(const SftpConnection &) = delete;
    ~SftpConnection();

    // Whether libssh2 could start.
    static bool libraryReady();

    // Connects, checks the host key, logs in and starts SFTP, all within the time given.
    bool open(const QString &host, uint16_t port, const QString &user, const QString &password,
              long connectMs);
    // Says goodbye, as far as the server listens.
    void close();
    // Whether the server has closed the connection while it was idle.
    bool closedByServer() const;

    bool isFolder(const QByteArray &path);
    bool makeFolder(const QByteArray &path);
    std::optional<QList<RemoteEntry>> list(const QByteArray &path);
    // Writes the file from its start to its end, reporting the bytes the server took to the
    // engine; opened tells whether the remote file was opened for writing.
    bool put(QFile &file, const QByteArray &path, bool &opened);
    // Opens the remote file and writes the whole local file to it: the handle once every write is
    // acknowledged, or null (the file closed again) when something failed.
    LIBSSH2_SFTP_HANDLE *write(QFile &file, const QByteArray &path, bool &opened);
    // Closes a handle that write() gave for temporary, sets the file's times (when given) and
    // renames it over target, without waiting for one answer before sending the next. The fault
    // is that of the closing or the rename, the first that failed.
    Placed place(LIBSSH2_SFTP_HANDLE *handle, const QByteArray &temporary, const QByteArray &target,
                 std::optional<qint64> secondsSinceEpoch);
    bool rename(const QByteArray &from, const QByteArray &to);
    bool remove(const QByteArray &path);
    bool setTimes(const QByteArray &path, qint64 secondsSinceEpoch);

    Fault fault() const { return m_fault; }
    // The SFTP status as "4 Failure", or what broke.
    QString faultText() const { return m_faultText; }

private:
    using Step = std::function<ssize_t()>;
    // One of the requests sent together.
    struct Request
    {
        Step step;
        // Failed before the next went out: the requests after it are not sent.
        bool gates = true;
    };
    // What a request ended with.
    struct Answer
    {
        Fault fault = Fault::None;
        QString text;
    };

    static void *allocate(size_t count, void **abstract);
    static void *reallocate(void *block, size_t count, void **abstract);
    static void release(void *block, void **abstract);
    static ssize_t receive(libssh2_socket_t socket, void *buffer, size_t length, int flags, void **abstract);
    static void answerPrompts(const char *name, int nameLength, const char *instruction,
                              int instructionLength, int promptCount,
                              const LIBSSH2_USERAUTH_KBDINT_PROMPT *prompts,
                              LIBSSH2_USERAUTH_KBDINT_RESPONSE *responses, void **abstract);

    bool connectSocket(const QString &host, uint16_t port);
    bool logIn(const QByteArray &user);
    // Calls a step of libssh2 again, after waiting for the socket, until it no longer would block.
    ssize_t call(const Step &step);
    // Sends each request once the one before it has gone out, then takes their answers in turn.
    QList<Answer> callTogether(const QList<Request> &requests);
    Answer answerOf(ssize_t result);
    bool waitForSocket(short events);
    // The error of a call that gave no result.
    ssize_t lastError() const;
    bool fail(ssize_t code);
    bool lose(const QString &why);
    bool closeHandle(LIBSSH2_SFTP_HANDLE *handle);
    Step renaming(const QByteArray &from, const QByteArray &to);
    Step settingTimes(const QByteArray &path, LIBSSH2_SFTP_ATTRIBUTES &attributes);

    TransferEngine &m_engine;
    SshHostKeyCheck &m_hostKeys;
    int m_socket = -1;
    LIBSSH2_SESSION *m_session = nullptr;
    LIBSSH2_SFTP *m_sftp = nullptr;
    QByteArray m_password;
    QDeadlineTimer m_deadline{QDeadlineTimer::Forever};
    // Freeing libssh2's objects goes on after a stop, until they are freed.
    bool m_tearingDown = false;
    // What libssh2 holds for this session. Ending the session does not free a file handle whose
    // closing was never answered (a put stopped after its writes); what is left then goes too.
    std::unordered_set<void *> m_blocks;
    Fault m_fault = Fault::None;
    QString m_faultText;
};
