#include "SftpConnection.h"

#include "HostLookup.h"
#include "SshHostKeyCheck.h"

#include <QFile>
#include <QStringList>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace {

// File bytes handed to libssh2 at once: it sends them as a train of write requests and
// returns as the server acknowledges them, so a photo goes out in about one round trip.
constexpr qsizetype InFlight = 1024 * 1024;
constexpr qint64 ReadSize = 256 * 1024;
// Longer names than any file system keeps; a longer one fails the listing.
constexpr size_t NameBuffer = 4096;
// A listing longer than this is a server that does not stop.
constexpr qsizetype MaxEntries = 1 << 20;
// How long a request may wait for a socket that libssh2 names no direction for.
constexpr int UndirectedWaitMs = 100;
// Tearing down a session whose socket is already shut takes no waiting; this only bounds it.
constexpr int TeardownMs = 1000;
// What a call gives when its wait for the socket ended without it.
constexpr ssize_t TimedOut = LIBSSH2_ERROR_SOCKET_TIMEOUT;

QString statusText(unsigned long status)
{
    static const std::array<const char *, 22> names{"OK",
                                                    "End of file",
                                                    "No such file",
                                                    "Permission denied",
                                                    "Failure",
                                                    "Bad message",
                                                    "No connection",
                                                    "Connection lost",
                                                    "Operation unsupported",
                                                    "Invalid handle",
                                                    "No such path",
                                                    "File already exists",
                                                    "Write protected",
                                                    "No media",
                                                    "No space on file system",
                                                    "Quota exceeded",
                                                    "Unknown principal",
                                                    "Lock conflict",
                                                    "Folder not empty",
                                                    "Not a folder",
                                                    "Invalid file name",
                                                    "Link loop"};
    const QString number = QString::number(status);
    return status < names.size() ? number + u' ' + QString::fromLatin1(names[status]) : number;
}

// The access and modification times of a setstat.
LIBSSH2_SFTP_ATTRIBUTES timesOf(qint64 secondsSinceEpoch)
{
    LIBSSH2_SFTP_ATTRIBUTES attributes{};
    attributes.flags = LIBSSH2_SFTP_ATTR_ACMODTIME;
    attributes.atime = static_cast<unsigned long>(secondsSinceEpoch);
    attributes.mtime = static_cast<unsigned long>(secondsSinceEpoch);
    return attributes;
}

} // namespace

// Once for the process, whichever thread comes first.
bool SftpConnection::libraryReady()
{
    static const bool ready = libssh2_init(0) == 0;
    return ready;
}

SftpConnection::SftpConnection(TransferEngine &engine, SshHostKeyCheck &hostKeys)
    : m_engine(engine), m_hostKeys(hostKeys)
{}

SftpConnection::~SftpConnection()
{
    // Without a goodbye: whatever libssh2 still tries to say meets a shut socket at once.
    if (m_socket >= 0)
        ::shutdown(m_socket, SHUT_RDWR);
    m_tearingDown = true;
    m_deadline.setRemainingTime(TeardownMs);
    if (m_sftp)
        call([this] { return libssh2_sftp_shutdown(m_sftp); });
    if (m_session)
        call([this] { return libssh2_session_free(m_session); });
    if (m_socket >= 0)
        m_engine.closeSocket(m_socket);
    for (void *block : m_blocks)
        std::free(block);
}

void *SftpConnection::allocate(size_t count, void **abstract)
{
    void *block = std::malloc(count);
    if (block)
        static_cast<SftpConnection *>(*abstract)->m_blocks.insert(block);
    return block;
}

void *SftpConnection::reallocate(void *block, size_t count, void **abstract)
{
    auto &blocks = static_cast<SftpConnection *>(*abstract)->m_blocks;
    void *moved = std::realloc(block, count ? count : 1);
    if (moved) {
        blocks.erase(block);
        blocks.insert(moved);
    }
    return moved;
}

// Also for what libssh2 was handed from outside, such as the answers to a login's prompts.
void SftpConnection::release(void *block, void **abstract)
{
    static_cast<SftpConnection *>(*abstract)->m_blocks.erase(block);
    std::free(block);
}

ssize_t SftpConnection::receive(libssh2_socket_t socket, void *buffer, size_t length, int flags,
                                void **abstract)
{
    const ssize_t got = ::recv(socket, buffer, length, flags);
    if (got < 0)
        return errno == EWOULDBLOCK ? -EAGAIN : -errno;
    if (got > 0)
        static_cast<SftpConnection *>(*abstract)->m_engine.touch();
    return got;
}

// Keyboard-interactive as a password login: the one prompt gets the password.
void SftpConnection::answerPrompts(const char *, int, const char *, int, int promptCount,
                                   const LIBSSH2_USERAUTH_KBDINT_PROMPT *,
                                   LIBSSH2_USERAUTH_KBDINT_RESPONSE *responses, void **abstract)
{
    const QByteArray &password = static_cast<SftpConnection *>(*abstract)->m_password;
    if (promptCount != 1)
        return;
    // libssh2 frees the answer through release(), with free().
    auto *text = static_cast<char *>(std::malloc(static_cast<size_t>(password.size()) + 1));
    if (!text)
        return;
    std::memcpy(text, password.constData(), static_cast<size_t>(password.size()) + 1);
    responses[0].text = text;
    responses[0].length = static_cast<unsigned int>(password.size());
}

bool SftpConnection::open(const QString &host, uint16_t port, const QString &user, const QString &password,
                          long connectMs)
{
    m_fault = Fault::None;
    m_faultText.clear();
    m_deadline.setRemainingTime(connectMs);
    if (!libraryReady())
        return lose(u"libssh2 cannot start"_s);
    m_session = libssh2_session_init_ex(&allocate, &release, &reallocate, this);
    if (!m_session)
        return lose(u"libssh2 cannot make a session"_s);
    libssh2_session_set_blocking(m_session, 0);
    libssh2_session_callback_set(m_session, LIBSSH2_CALLBACK_RECV, reinterpret_cast<void *>(&receive));

    const char **algorithms = nullptr;
    const int count = libssh2_session_supported_algs(m_session, LIBSSH2_METHOD_HOSTKEY, &algorithms);
    if (count > 0) {
        QStringList supported;
        for (int i = 0; i < count; ++i)
            supported.append(QString::fromLatin1(algorithms[i]));
        libssh2_free(m_session, static_cast<void *>(algorithms));
        libssh2_session_method_pref(m_session, LIBSSH2_METHOD_HOSTKEY,
                                    m_hostKeys.preferredAlgorithms(supported).constData());
    }

    if (!connectSocket(host, port))
        return false;
    const ssize_t shaken = call([this] { return libssh2_session_handshake(m_session, m_socket); });
    if (shaken < 0)
        return fail(shaken);
    size_t keyLength = 0;
    int keyType = 0;
    const char *key = libssh2_session_hostkey(m_session, &keyLength, &keyType);
    if (!key || !m_hostKeys.judge(QByteArray(key, static_cast<qsizetype>(keyLength)))) {
        m_fault = Fault::HostKey;
        m_faultText = u"the host key is not trusted"_s;
        return false;
    }
    m_password = password.toUtf8();
    const bool loggedIn = logIn(user.toUtf8());
    m_password.fill('\0');
    m_password.clear();
    if (!loggedIn)
        return false;
    const ssize_t started = call([this] {
        m_sftp = libssh2_sftp_init(m_session);
        return m_sftp ? 0 : lastError();
    });
    if (!m_sftp)
        return fail(started);
    m_deadline = QDeadlineTimer(QDeadlineTimer::Forever);
    return true;
}

bool SftpConnection::connectSocket(const QString &host, uint16_t port)
{
    const HostLookup lookup(host, port, [this] {
        return m_engine.stopped() != TransferEngine::Stop::None || m_deadline.hasExpired();
    });
    if (!lookup.addresses())
        return lose(lookup.errorText());
    int error = 0;
    for (const addrinfo *address = lookup.addresses(); address; address = address->ai_next) {
        const int socket =
            m_engine.openSocket(address->ai_family, address->ai_socktype, address->ai_protocol);
        if (socket < 0) {
            error = errno;
            continue;
        }
        ::fcntl(socket, F_SETFL, ::fcntl(socket, F_GETFL) | O_NONBLOCK);
        m_socket = socket;
        if (::connect(socket, address->ai_addr, address->ai_addrlen) == 0) {
            error = 0;
        } else if (errno != EINPROGRESS) {
            error = errno;
        } else if (!waitForSocket(POLLOUT)) {
            error = ETIMEDOUT;
        } else {
            socklen_t length = sizeof error;
            ::getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length);
        }
        if (error == 0) {
            // Requests are small and each waits for its answer: none may wait for more to send.
            const int on = 1;
            ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            return true;
        }
        m_socket = -1;
        m_engine.closeSocket(socket);
        if (m_engine.stopped() != TransferEngine::Stop::None || m_deadline.hasExpired())
            break;
    }
    return lose(u"cannot connect to "_s + host + u": "_s + QString::fromLocal8Bit(std::strerror(error)));
}

bool SftpConnection::logIn(const QByteArray &user)
{
    const auto userLength = static_cast<unsigned int>(user.size());
    char *methods = nullptr;
    const ssize_t listed = call([&] {
        methods = libssh2_userauth_list(m_session, user.constData(), userLength);
        return methods || libssh2_userauth_authenticated(m_session) ? 0 : lastError();
    });
    if (listed < 0)
        return fail(listed);
    if (!methods)
        return true;
    const QList<QByteArray> offered = QByteArray(methods).split(',');
    ssize_t result = 0;
    if (offered.contains("password")) {
        result = call([&] {
            return libssh2_userauth_password_ex(m_session, user.constData(), userLength,
                                                m_password.constData(),
                                                static_cast<unsigned int>(m_password.size()), nullptr);
        });
    } else if (offered.contains("keyboard-interactive")) {
        result = call([&] {
            return libssh2_userauth_keyboard_interactive_ex(m_session, user.constData(), userLength,
                                                            &answerPrompts);
        });
    } else {
        m_fault = Fault::Login;
        m_faultText = u"the server takes no password"_s;
        return false;
    }
    if (result == LIBSSH2_ERROR_AUTHENTICATION_FAILED || result == LIBSSH2_ERROR_PASSWORD_EXPIRED) {
        fail(result);
        m_fault = Fault::Login;
        return false;
    }
    return result < 0 ? fail(result) : true;
}

void SftpConnection::close()
{
    if (m_sftp) {
        call([this] { return libssh2_sftp_shutdown(m_sftp); });
        m_sftp = nullptr;
    }
    if (m_session) {
        call([this] {
            return libssh2_session_disconnect_ex(m_session, SSH_DISCONNECT_BY_APPLICATION, "Goodbye", "");
        });
    }
}

ssize_t SftpConnection::call(const Step &step)
{
    for (;;) {
        const ssize_t result = step();
        if (result != LIBSSH2_ERROR_EAGAIN)
            return result;
        const int directions = libssh2_session_block_directions(m_session);
        short events = 0;
        if (directions & LIBSSH2_SESSION_BLOCK_INBOUND)
            events |= POLLIN;
        if (directions & LIBSSH2_SESSION_BLOCK_OUTBOUND)
            events |= POLLOUT;
        if (!waitForSocket(events))
            return TimedOut;
    }
}

// libssh2 keeps a state of its own for each kind of request, so that several can wait for their
// answers at once; but a packet still partly unsent holds the channel, and a request sent then
// would be taken for the rest of it. A request's packet has gone out whole when the channel's send
// window shrank during its call, as nothing else shrinks it; a request not seen so, or that left
// other bytes waiting for the socket, is taken to its end before the next is sent.
QList<SftpConnection::Answer> SftpConnection::callTogether(const QList<Request> &requests)
{
    LIBSSH2_CHANNEL *channel = libssh2_sftp_get_channel(m_sftp);
    QList<Answer> answers(requests.size());
    QList<bool> awaited(requests.size(), false);
    for (qsizetype i = 0; i < requests.size(); ++i) {
        const unsigned long window = libssh2_channel_window_write_ex(channel, nullptr);
        ssize_t result = requests.at(i).step();
        if (result == LIBSSH2_ERROR_EAGAIN) {
            awaited[i] = libssh2_channel_window_write_ex(channel, nullptr) < window &&
                         !(libssh2_session_block_directions(m_session) & LIBSSH2_SESSION_BLOCK_OUTBOUND);
            if (awaited.at(i))
                continue;
            result = call(requests.at(i).step);
        }
        answers[i] = answerOf(result);
        if (answers.at(i).fault != Fault::None && requests.at(i).gates) {
            for (qsizetype unsent = i + 1; unsent < requests.size(); ++unsent)
                answers[unsent] = answers.at(i);
            break;
        }
    }
    // Each answer is read as it is taken: libssh2 keeps only the last status.
    for (qsizetype i = 0; i < requests.size(); ++i) {
        if (awaited.at(i))
            answers[i] = answerOf(call(requests.at(i).step));
    }
    return answers;
}

SftpConnection::Answer SftpConnection::answerOf(ssize_t result)
{
    if (result >= 0)
        return {};
    fail(result);
    return {std::exchange(m_fault, Fault::None), std::exchange(m_faultText, {})};
}

// Until the socket is ready, the deadline passes or the engine stops the step; a stop cuts the
// socket, which ends the poll at once.
bool SftpConnection::waitForSocket(short events)
{
    for (;;) {
        if ((m_engine.stopped() != TransferEngine::Stop::None && !m_tearingDown) || m_deadline.hasExpired())
            return false;
        pollfd socket{m_socket, events ? events : static_cast<short>(POLLIN), 0};
        qint64 wait = m_deadline.remainingTime();
        if (!events)
            wait = wait < 0 ? UndirectedWaitMs : std::min<qint64>(wait, UndirectedWaitMs);
        const int ready = ::poll(&socket, 1, wait < 0 ? -1 : static_cast<int>(std::min<qint64>(wait, 60000)));
        if (ready > 0 || (ready == 0 && !events))
            return true;
        if (ready < 0 && errno != EINTR)
            return false;
    }
}

ssize_t SftpConnection::lastError() const
{
    return libssh2_session_last_errno(m_session);
}

bool SftpConnection::fail(ssize_t code)
{
    if (code == LIBSSH2_ERROR_SFTP_PROTOCOL && m_sftp) {
        m_fault = Fault::Status;
        m_faultText = statusText(libssh2_sftp_last_error(m_sftp));
        return false;
    }
    if (code == TimedOut)
        return lose(u"no answer in time"_s);
    if (code == LIBSSH2_ERROR_TIMEOUT) {
        m_fault = Fault::Silent;
        m_faultText = u"no answer"_s;
        return false;
    }
    char *message = nullptr;
    libssh2_session_last_error(m_session, &message, nullptr, 0);
    return lose(message && *message ? QString::fromUtf8(message) : u"error %1"_s.arg(code));
}

bool SftpConnection::lose(const QString &why)
{
    m_fault = Fault::Lost;
    m_faultText = why;
    return false;
}

bool SftpConnection::closeHandle(LIBSSH2_SFTP_HANDLE *handle)
{
    const ssize_t closed = call([handle] { return libssh2_sftp_close_handle(handle); });
    return closed < 0 ? fail(closed) : true;
}

// An end of stream already waiting on the socket: the server went while nothing was asked.
bool SftpConnection::closedByServer() const
{
    pollfd wait{m_socket, POLLIN, 0};
    if (::poll(&wait, 1, 0) <= 0)
        return false;
    char byte = 0;
    return (wait.revents & (POLLHUP | POLLERR)) != 0 ||
           ::recv(m_socket, &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
}

bool SftpConnection::isFolder(const QByteArray &path)
{
    m_fault = Fault::None;
    LIBSSH2_SFTP_ATTRIBUTES attributes{};
    const ssize_t found = call([&] {
        return libssh2_sftp_stat_ex(m_sftp, path.constData(), static_cast<unsigned int>(path.size()),
                                    LIBSSH2_SFTP_STAT, &attributes);
    });
    if (found < 0)
        return fail(found);
    // A server that tells no type is taken at its word that the path is there.
    if ((attributes.flags & LIBSSH2_SFTP_ATTR_PERMISSIONS) && !LIBSSH2_SFTP_S_ISDIR(attributes.permissions)) {
        m_fault = Fault::Status;
        m_faultText = u"not a folder"_s;
        return false;
    }
    return true;
}

bool SftpConnection::makeFolder(const QByteArray &path)
{
    m_fault = Fault::None;
    const ssize_t made = call([&] {
        return libssh2_sftp_mkdir_ex(m_sftp, path.constData(), static_cast<unsigned int>(path.size()),
                                     LIBSSH2_SFTP_DEFAULT_MODE);
    });
    return made < 0 ? fail(made) : true;
}

std::optional<QList<RemoteEntry>> SftpConnection::list(const QByteArray &path)
{
    m_fault = Fault::None;
    LIBSSH2_SFTP_HANDLE *handle = nullptr;
    const ssize_t opened = call([&] {
        handle = libssh2_sftp_open_ex(m_sftp, path.constData(), static_cast<unsigned int>(path.size()), 0, 0,
                                      LIBSSH2_SFTP_OPENDIR);
        return handle ? 0 : lastError();
    });
    if (!handle) {
        fail(opened);
        return std::nullopt;
    }
    QList<RemoteEntry> entries;
    std::array<char, NameBuffer> name{};
    for (;;) {
        LIBSSH2_SFTP_ATTRIBUTES attributes{};
        const ssize_t length = call([&] {
            return libssh2_sftp_readdir_ex(handle, name.data(), name.size(), nullptr, 0, &attributes);
        });
        if (length == 0)
            break;
        if (length < 0 || entries.size() >= MaxEntries) {
            if (length < 0)
                fail(length);
            else
                lose(u"the listing does not end"_s);
            call([handle] { return libssh2_sftp_close_handle(handle); });
            return std::nullopt;
        }
        const QByteArray raw(name.data(), std::min<qsizetype>(length, name.size()));
        // Names come from the server: none may lead elsewhere.
        if (raw == "." || raw == ".." || raw.contains('/') || raw.contains('\0'))
            continue;
        RemoteEntry entry;
        entry.name = QString::fromUtf8(raw);
        if (attributes.flags & LIBSSH2_SFTP_ATTR_PERMISSIONS)
            entry.folder = LIBSSH2_SFTP_S_ISDIR(attributes.permissions);
        if ((attributes.flags & LIBSSH2_SFTP_ATTR_SIZE) &&
            attributes.filesize <= static_cast<libssh2_uint64_t>(std::numeric_limits<qint64>::max()))
            entry.size = static_cast<qint64>(attributes.filesize);
        if (attributes.flags & LIBSSH2_SFTP_ATTR_ACMODTIME)
            entry.modified = QDateTime::fromSecsSinceEpoch(static_cast<qint64>(attributes.mtime), Qt::UTC);
        entries.append(entry);
    }
    if (!closeHandle(handle))
        return std::nullopt;
    return entries;
}

bool SftpConnection::put(QFile &file, const QByteArray &path, bool &opened)
{
    LIBSSH2_SFTP_HANDLE *handle = write(file, path, opened);
    return handle && closeHandle(handle);
}

SftpConnection::Placed SftpConnection::place(LIBSSH2_SFTP_HANDLE *handle, const QByteArray &temporary,
                                             const QByteArray &target,
                                             std::optional<qint64> secondsSinceEpoch)
{
    m_fault = Fault::None;
    Placed placed;
    // The server takes the requests on one file in the order they were sent, so the file is
    // closed before it takes its time, and has its time before it is renamed. The time goes on
    // it before the rename so that it is not lost when the server will not rename onto a file.
    LIBSSH2_SFTP_ATTRIBUTES attributes = timesOf(secondsSinceEpoch.value_or(0));
    QList<Request> requests{{[handle] { return libssh2_sftp_close_handle(handle); }}};
    if (secondsSinceEpoch)
        requests.append({settingTimes(temporary, attributes), false});
    requests.append({renaming(temporary, target)});
    const QList<Answer> answers = callTogether(requests);
    placed.stored = answers.constFirst().fault == Fault::None;
    placed.renamed = answers.constLast().fault == Fault::None;
    if (secondsSinceEpoch)
        placed.timeFault = answers.at(1).fault;
    const Answer &failed = placed.stored ? answers.constLast() : answers.constFirst();
    m_fault = failed.fault;
    m_faultText = failed.text;
    return placed;
}

LIBSSH2_SFTP_HANDLE *SftpConnection::write(QFile &file, const QByteArray &path, bool &opened)
{
    m_fault = Fault::None;
    opened = false;
    LIBSSH2_SFTP_HANDLE *handle = nullptr;
    const ssize_t made = call([&] {
        handle = libssh2_sftp_open_ex(m_sftp, path.constData(), static_cast<unsigned int>(path.size()),
                                      LIBSSH2_FXF_WRITE | LIBSSH2_FXF_CREAT | LIBSSH2_FXF_TRUNC,
                                      LIBSSH2_SFTP_S_IRUSR | LIBSSH2_SFTP_S_IWUSR | LIBSSH2_SFTP_S_IRGRP |
                                          LIBSSH2_SFTP_S_IROTH,
                                      LIBSSH2_SFTP_OPENFILE);
        return handle ? 0 : lastError();
    });
    if (!handle) {
        fail(made);
        return nullptr;
    }
    opened = true;
    // libssh2 takes the bytes it was given before, unacknowledged, to be at the start of the
    // next call's buffer: the buffer only grows at its end until they are.
    QByteArray pending;
    qsizetype start = 0;
    qint64 sent = 0;
    bool atEnd = false;
    for (;;) {
        if (start >= InFlight) {
            pending.remove(0, start);
            start = 0;
        }
        while (!atEnd && pending.size() - start < InFlight) {
            const QByteArray more = file.read(ReadSize);
            if (more.isEmpty()) {
                if (file.error() != QFileDevice::NoError) {
                    call([handle] { return libssh2_sftp_close_handle(handle); });
                    m_fault = Fault::LocalFile;
                    m_faultText = file.errorString();
                    return nullptr;
                }
                atEnd = true;
            }
            pending += more;
        }
        if (start == pending.size())
            return handle;
        const ssize_t written = call([&] {
            return libssh2_sftp_write(handle, pending.constData() + start,
                                      static_cast<size_t>(pending.size() - start));
        });
        if (written < 0) {
            fail(written);
            call([handle] { return libssh2_sftp_close_handle(handle); });
            return nullptr;
        }
        start += written;
        sent += written;
        m_engine.setMoved(sent);
    }
}

bool SftpConnection::rename(const QByteArray &from, const QByteArray &to)
{
    m_fault = Fault::None;
    const ssize_t renamed = call(renaming(from, to));
    return renamed < 0 ? fail(renamed) : true;
}

// Plain SFTP rename, which does not replace an existing file: the layer above knows that.
SftpConnection::Step SftpConnection::renaming(const QByteArray &from, const QByteArray &to)
{
    return [this, &from, &to] {
        return libssh2_sftp_rename_ex(m_sftp, from.constData(), static_cast<unsigned int>(from.size()),
                                      to.constData(), static_cast<unsigned int>(to.size()), 0);
    };
}

bool SftpConnection::remove(const QByteArray &path)
{
    m_fault = Fault::None;
    const ssize_t removed = call([&] {
        return libssh2_sftp_unlink_ex(m_sftp, path.constData(), static_cast<unsigned int>(path.size()));
    });
    return removed < 0 ? fail(removed) : true;
}

bool SftpConnection::setTimes(const QByteArray &path, qint64 secondsSinceEpoch)
{
    m_fault = Fault::None;
    LIBSSH2_SFTP_ATTRIBUTES attributes = timesOf(secondsSinceEpoch);
    const ssize_t set = call(settingTimes(path, attributes));
    return set < 0 ? fail(set) : true;
}

SftpConnection::Step SftpConnection::settingTimes(const QByteArray &path, LIBSSH2_SFTP_ATTRIBUTES &attributes)
{
    return [this, &path, &attributes] {
        return libssh2_sftp_stat_ex(m_sftp, path.constData(), static_cast<unsigned int>(path.size()),
                                    LIBSSH2_SFTP_SETSTAT, &attributes);
    };
}
