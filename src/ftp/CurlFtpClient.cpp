#include "CurlFtpClient.h"

#include "KnownHosts.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <curl/curl.h>
#include <linux/sockios.h>
#include <memory>
#include <mutex>
#include <set>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace {

// The longest wait for the sockets before libcurl is asked again. libcurl here can miss the
// moment a passive data connection is made and sleep its full second; asking again soon
// keeps every put at network speed.
constexpr int PollCapMs = 1;
// How long the calling thread waits between its calls back. The end of the work wakes it at
// once; waking more often would take the processor from the work and a local server.
constexpr std::chrono::milliseconds WaitStep{10};
// Tidying up (removing a temporary file after Cancel, saying goodbye) never holds a run longer.
constexpr long TidyingMs = 500;

bool globalInitDone()
{
    static const bool done = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return done;
}

qint64 nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

QByteArray escaped(CURL *curl, const QString &piece)
{
    const QByteArray utf8 = piece.toUtf8();
    char *text = curl_easy_escape(curl, utf8.constData(), static_cast<int>(utf8.size()));
    if (!text)
        return QByteArray();
    QByteArray result(text);
    curl_free(text);
    return result;
}

// A line break in a command argument would end the command and start another.
bool safeInCommand(const QString &name)
{
    return !name.contains(u'\r') && !name.contains(u'\n') && !name.contains(QChar(0));
}

struct FileCloser
{
    void operator()(std::FILE *file) const { std::fclose(file); }
};

struct ListFreer
{
    void operator()(curl_slist *list) const { curl_slist_free_all(list); }
};

// Folder listings (SFTP's way of entering a folder) are not wanted, only whether they came.
size_t discard(char *, size_t size, size_t count, void *)
{
    return size * count;
}

// A path in an SFTP command, quoted so that blanks and quotes stay part of it.
QByteArray quotedPath(const QByteArray &path)
{
    QByteArray quoted = path;
    quoted.replace('\\', "\\\\").replace('"', "\\\"");
    return '"' + quoted + '"';
}

size_t readFromFile(char *buffer, size_t size, size_t count, void *userData)
{
    auto *file = static_cast<std::FILE *>(userData);
    const size_t read = std::fread(buffer, size, count, file);
    if (read == 0 && std::ferror(file))
        return CURL_READFUNC_ABORT;
    return read;
}

} // namespace

// What the operation's thread and the calling thread share.
struct CurlFtpClient::Shared
{
    enum class Stop
    {
        None,
        Cancelled,
        Stalled,
        OutOfTime,
    };

    std::mutex mutex;
    std::condition_variable finishedChanged;
    bool finished = false;
    std::atomic<Stop> stop{Stop::None};
    std::atomic<qint64> sent{0};
    std::atomic<qint64> lastActivity{0};
    // Final reply codes of the operation in hand, in order; written by its thread only.
    QList<int> replyCodes;
    // Every socket of the connection (under the mutex), and the newest: a put's data connection.
    std::set<curl_socket_t> sockets;
    curl_socket_t newest = CURL_SOCKET_BAD;
    // Closed by libcurl while their sent bytes still wait for the server: the closing is only
    // a shutdown until the operation ends, so that what they hold can be told.
    std::set<curl_socket_t> draining;

    void touch() { lastActivity = nowMs(); }

    // Shut, not closed: libcurl still owns them, and finds them dead at its next read or write.
    void cutSockets()
    {
        const std::lock_guard lock(mutex);
        for (curl_socket_t socket : sockets)
            ::shutdown(socket, SHUT_RDWR);
    }

    // Bytes the server's side has taken, which is less than libcurl has written while they
    // wait in this side's send buffer: on a slow server that buffer holds seconds of a put.
    qint64 delivered()
    {
        qint64 waiting = 0;
        {
            const std::lock_guard lock(mutex);
            int queued = 0;
            if (newest != CURL_SOCKET_BAD && ::ioctl(newest, SIOCOUTQ, &queued) == 0)
                waiting = queued;
        }
        return std::max<qint64>(0, sent - waiting);
    }

    static curl_socket_t openSocket(void *data, curlsocktype, curl_sockaddr *address)
    {
        auto *shared = static_cast<Shared *>(data);
        const curl_socket_t socket = ::socket(address->family, address->socktype, address->protocol);
        if (socket != CURL_SOCKET_BAD) {
            const std::lock_guard lock(shared->mutex);
            shared->sockets.insert(socket);
            shared->newest = socket;
        }
        return socket;
    }

    static int closeSocket(void *data, curl_socket_t socket)
    {
        auto *shared = static_cast<Shared *>(data);
        const std::lock_guard lock(shared->mutex);
        int queued = 0;
        if (socket == shared->newest && ::ioctl(socket, SIOCOUTQ, &queued) == 0 && queued > 0) {
            shared->draining.insert(socket);
            return ::shutdown(socket, SHUT_WR);
        }
        shared->sockets.erase(socket);
        if (shared->newest == socket)
            shared->newest = CURL_SOCKET_BAD;
        return ::close(socket);
    }

    void closeDrained()
    {
        const std::lock_guard lock(mutex);
        for (curl_socket_t socket : draining) {
            sockets.erase(socket);
            if (newest == socket)
                newest = CURL_SOCKET_BAD;
            ::close(socket);
        }
        draining.clear();
    }

    static int transferInfo(void *data, curl_off_t, curl_off_t downloaded, curl_off_t, curl_off_t uploaded)
    {
        auto *shared = static_cast<Shared *>(data);
        const qint64 moved = static_cast<qint64>(downloaded + uploaded);
        if (shared->sent.exchange(moved) != moved)
            shared->touch();
        return shared->stop != Stop::None ? 1 : 0;
    }

    // libcurl hands every reply line of the server here.
    static size_t replyLine(char *text, size_t size, size_t count, void *data)
    {
        auto *shared = static_cast<Shared *>(data);
        const size_t length = size * count;
        shared->touch();
        const auto digit = [&](size_t i) { return text[i] >= '0' && text[i] <= '9'; };
        if (length >= 4 && digit(0) && digit(1) && digit(2) && text[3] == ' ')
            shared->replyCodes.append((text[0] - '0') * 100 + (text[1] - '0') * 10 + (text[2] - '0'));
        return length;
    }
};

// The host key libssh2 was offered at the last connect, judged against known_hosts.
struct CurlFtpClient::HostKeyCheck
{
    QString knownHostsPath;
    QString host;
    uint16_t port = 22;
    // A key the user trusted in this run, whether or not known_hosts could keep it.
    QByteArray accepted;
    QByteArray offered;
    KnownHosts::Lookup lookup;

    static int check(void *data, int, const char *key, size_t length)
    {
        auto *self = static_cast<HostKeyCheck *>(data);
        self->offered = QByteArray(key, static_cast<qsizetype>(length));
        if (!self->accepted.isEmpty() && self->offered == self->accepted)
            return CURLKHMATCH_OK;
        self->lookup = KnownHosts(self->knownHostsPath).check(self->host, self->port, self->offered);
        return self->lookup.match == KnownHosts::Match::Known ? CURLKHMATCH_OK : CURLKHMATCH_MISMATCH;
    }
};

CurlFtpClient::CurlFtpClient() : CurlFtpClient(Timeouts{}) {}

CurlFtpClient::CurlFtpClient(Timeouts timeouts, Waiting whileWaiting, Cancelled cancelled)
    : CurlFtpClient(timeouts, std::move(whileWaiting), std::move(cancelled), Options{})
{}

CurlFtpClient::CurlFtpClient(Timeouts timeouts, Waiting whileWaiting, Cancelled cancelled, Options options)
    : m_timeouts(timeouts), m_options(std::move(options)),
      m_sftp(m_options.security == TransferSecurity::Sftp), m_whileWaiting(std::move(whileWaiting)),
      m_cancelled(std::move(cancelled)), m_shared(std::make_unique<Shared>()),
      m_hostKey(std::make_unique<HostKeyCheck>())
{
    m_hostKey->knownHostsPath =
        m_options.knownHostsPath.isEmpty() ? KnownHosts::defaultPath() : m_options.knownHostsPath;
}

CurlFtpClient::~CurlFtpClient()
{
    close();
}

bool CurlFtpClient::open()
{
    close();
    if (!globalInitDone())
        return false;
    m_curl = curl_easy_init();
    m_multi = curl_multi_init();
    if (!m_curl || !m_multi) {
        close();
        return false;
    }
    // No signals for time-outs: a signal handler is no place for a program with windows.
    curl_easy_setopt(m_curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(m_curl, CURLOPT_CONNECTTIMEOUT, m_timeouts.connectSeconds);
    curl_easy_setopt(m_curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(m_curl, CURLOPT_LOW_SPEED_TIME, m_timeouts.stallSeconds);
    curl_easy_setopt(m_curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, m_timeouts.stallSeconds);
    // Pieces such as ".." go to the server as they are, never folded into the URL.
    curl_easy_setopt(m_curl, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(m_curl, CURLOPT_FTP_CREATE_MISSING_DIRS, static_cast<long>(CURLFTP_CREATE_DIR_NONE));
    curl_easy_setopt(m_curl, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_MULTICWD));
    curl_easy_setopt(m_curl, CURLOPT_FTP_USE_EPSV, 1L);
    Shared *shared = m_shared.get();
    curl_easy_setopt(m_curl, CURLOPT_OPENSOCKETFUNCTION, &Shared::openSocket);
    curl_easy_setopt(m_curl, CURLOPT_OPENSOCKETDATA, shared);
    curl_easy_setopt(m_curl, CURLOPT_CLOSESOCKETFUNCTION, &Shared::closeSocket);
    curl_easy_setopt(m_curl, CURLOPT_CLOSESOCKETDATA, shared);
    curl_easy_setopt(m_curl, CURLOPT_XFERINFOFUNCTION, &Shared::transferInfo);
    curl_easy_setopt(m_curl, CURLOPT_XFERINFODATA, shared);
    curl_easy_setopt(m_curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(m_curl, CURLOPT_HEADERFUNCTION, &Shared::replyLine);
    curl_easy_setopt(m_curl, CURLOPT_HEADERDATA, shared);
    curl_easy_setopt(m_curl, CURLOPT_WRITEFUNCTION, discard);
    if (m_options.security == TransferSecurity::Ftps) {
        // TLS or nothing: a server that will not speak it never sees the password.
        curl_easy_setopt(m_curl, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
        curl_easy_setopt(m_curl, CURLOPT_FTPSSLAUTH, static_cast<long>(CURLFTPAUTH_TLS));
        if (!m_options.certificateAuthorities.isEmpty())
            curl_easy_setopt(m_curl, CURLOPT_CAINFO,
                             QFile::encodeName(m_options.certificateAuthorities).constData());
        m_certificate.watch(m_curl);
    }
    if (m_sftp) {
        curl_easy_setopt(m_curl, CURLOPT_SSH_AUTH_TYPES,
                         static_cast<long>(CURLSSH_AUTH_PASSWORD | CURLSSH_AUTH_KEYBOARD));
        curl_easy_setopt(m_curl, CURLOPT_SSH_HOSTKEYFUNCTION, &HostKeyCheck::check);
        curl_easy_setopt(m_curl, CURLOPT_SSH_HOSTKEYDATA, m_hostKey.get());
        // Only read, so that libssh2 asks first for a key of the kind already known.
        if (QFileInfo::exists(m_hostKey->knownHostsPath))
            curl_easy_setopt(m_curl, CURLOPT_SSH_KNOWNHOSTS,
                             QFile::encodeName(m_hostKey->knownHostsPath).constData());
    }
    return true;
}

bool CurlFtpClient::connect(const QString &host, uint16_t port, const QString &user, const QString &password)
{
    // The address goes into a URL: characters that would make another URL of it are refused.
    static const QString notInHost = u"/@?#\\ \t\r\n"_s;
    if (!m_curl || host.isEmpty() ||
        std::any_of(host.begin(), host.end(), [](QChar c) { return notInHost.contains(c); }))
        return false;
    m_connected = false;
    m_pieces.clear();
    m_identity = {};
    if (port == 0)
        port = TransferSecurityText::defaultPort(m_options.security);
    const QString hostPart = host.contains(u':') ? u'[' + host + u']' : host;
    m_server = hostPart + u':' + QString::number(port);
    m_base = (m_sftp ? "sftp://" : "ftp://") + hostPart.toUtf8() + ':' + QByteArray::number(port);
    curl_easy_setopt(m_curl, CURLOPT_USERNAME, user.toUtf8().constData());
    curl_easy_setopt(m_curl, CURLOPT_PASSWORD, password.toUtf8().constData());
    if (m_options.security == TransferSecurity::Ftps) {
        // A certificate the user trusted stands for itself; any other must satisfy the system.
        const QString pinned =
            m_options.tlsPin.startsWith(m_server + u' ') ? m_options.tlsPin.section(u' ', 1) : QString();
        curl_easy_setopt(m_curl, CURLOPT_SSL_VERIFYPEER, pinned.isEmpty() ? 1L : 0L);
        curl_easy_setopt(m_curl, CURLOPT_SSL_VERIFYHOST, pinned.isEmpty() ? 2L : 0L);
        curl_easy_setopt(m_curl, CURLOPT_PINNEDPUBLICKEY,
                         pinned.isEmpty() ? nullptr : pinned.toLatin1().constData());
        m_certificate.reset(host);
    }
    m_hostKey->host = host;
    m_hostKey->port = port;
    m_hostKey->offered.clear();
    m_hostKey->lookup = {};
    curl_easy_setopt(m_curl, CURLOPT_URL, folderUrl({}).constData());
    curl_easy_setopt(m_curl, CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(m_curl, CURLOPT_NOBODY, m_sftp ? 0L : 1L);
    const int code = perform();
    m_connected = code == CURLE_OK;
    if (!m_connected)
        checkIdentity(code);
    return m_connected;
}

// Turns what a failed connect saw of the server into what the user is to be told.
void CurlFtpClient::checkIdentity(int code)
{
    ServerIdentity identity;
    identity.server = m_server;
    if (m_options.security == TransferSecurity::Ftps) {
        identity.fingerprint = m_certificate.fingerprint();
        identity.publicKeyPin = m_certificate.publicKeyPin();
        if (code == CURLE_USE_SSL_FAILED) {
            identity.problem = ServerIdentity::Problem::EncryptionRefused;
        } else if (code == CURLE_SSL_PINNEDPUBKEYNOTMATCH && m_certificate.seen()) {
            identity.problem = ServerIdentity::Problem::ChangedCertificate;
            identity.knownFingerprint = m_options.tlsPin.section(u' ', 1);
        } else if (code == CURLE_PEER_FAILED_VERIFICATION && m_certificate.seen()) {
            identity.problem = ServerIdentity::Problem::UntrustedCertificate;
            identity.reason =
                m_certificate.problem().isEmpty() ? u"it could not be verified"_s : m_certificate.problem();
        }
    } else if (m_sftp && code == CURLE_PEER_FAILED_VERIFICATION && !m_hostKey->offered.isEmpty()) {
        identity.hostKey = m_hostKey->offered;
        identity.knownHostsName = KnownHosts::hostName(m_hostKey->host, m_hostKey->port);
        identity.keyType = KnownHosts::keyType(identity.hostKey);
        identity.fingerprint = KnownHosts::fingerprint(identity.hostKey);
        identity.knownFingerprint = m_hostKey->lookup.knownFingerprint;
        switch (m_hostKey->lookup.match) {
        case KnownHosts::Match::Missing:
            identity.problem = ServerIdentity::Problem::UnknownHostKey;
            break;
        case KnownHosts::Match::Revoked:
            identity.reason = u"the key is marked as revoked"_s;
            identity.problem = ServerIdentity::Problem::ChangedHostKey;
            break;
        case KnownHosts::Match::Changed:
            identity.problem = ServerIdentity::Problem::ChangedHostKey;
            break;
        case KnownHosts::Match::Known:
            break;
        }
    }
    if (identity.problem != ServerIdentity::Problem::None)
        m_identity = identity;
}

bool CurlFtpClient::trust(const ServerIdentity &identity)
{
    if (identity.server != m_server)
        return false;
    if (identity.problem == ServerIdentity::Problem::UntrustedCertificate &&
        !identity.publicKeyPin.isEmpty()) {
        m_options.tlsPin = m_server + u' ' + identity.publicKeyPin;
        return true;
    }
    if (identity.problem == ServerIdentity::Problem::UnknownHostKey && !identity.hostKey.isEmpty()) {
        m_hostKey->accepted = identity.hostKey;
        return KnownHosts(m_hostKey->knownHostsPath).add(m_hostKey->host, m_hostKey->port, identity.hostKey);
    }
    return false;
}

bool CurlFtpClient::changeFolder(const QString &name)
{
    if (!m_connected || name.isEmpty())
        return false;
    if (name == u"."_s)
        return checkFolder(m_pieces);
    if (name == u".."_s && !m_pieces.isEmpty() && m_pieces.constLast() != u".."_s) {
        // The parent of a folder entered on this connection.
        m_pieces.removeLast();
        return true;
    }
    QStringList target = m_pieces;
    target.append(name);
    if (!checkFolder(target))
        return false;
    m_pieces = target;
    return true;
}

bool CurlFtpClient::makeFolder(const QString &name)
{
    if (!m_connected || name.isEmpty() || !safeInCommand(name))
        return false;
    const QByteArray command = m_sftp ? "mkdir " + sftpPath(m_pieces, name) : "MKD " + name.toUtf8();
    return sendCommands(m_pieces, {command}, Budget::Operation) == CURLE_OK;
}

bool CurlFtpClient::putFile(const QString &localPath, const QString &remoteName, const Progress &progress)
{
    if (!m_connected || remoteName.isEmpty() || !safeInCommand(remoteName) || (m_cancelled && m_cancelled()))
        return false;
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(QFile::encodeName(localPath).constData(), "rb"));
    if (!file)
        return false;
    removeLeftovers();
    const qint64 size = QFileInfo(localPath).size();
    const QByteArray name = remoteName.toUtf8();
    if (m_renameRefused)
        return store(file.get(), remoteName, size, {}, progress) == CURLE_OK;

    // Short, so that it fits wherever the name would; hidden from a web page's listing.
    const QString temporary =
        u".pexa-%1-%2.part"_s.arg(QCoreApplication::applicationPid()).arg(++m_temporaryCount);
    const RemoteFile sent{m_pieces, temporary};
    const QByteArray renameFrom = "RNFR " + temporary.toUtf8();
    const QList<QByteArray> rename = m_sftp ? QList<QByteArray>{"rename " + sftpPath(m_pieces, temporary) +
                                                                ' ' + sftpPath(m_pieces, remoteName)}
                                            : QList<QByteArray>{renameFrom, "RNTO " + name};
    const int code = store(file.get(), temporary, size, rename, progress);
    if (code == CURLE_OK)
        return true;
    if (m_shared->stop == Shared::Stop::Cancelled) {
        removeRemote(sent, Budget::Tidying);
        return false;
    }
    if (code == CURLE_QUOTE_ERROR && m_sftp) {
        // SFTP renames onto an existing name fail: the old file goes first.
        if (sendCommands(m_pieces, {"*rm " + sftpPath(m_pieces, remoteName), rename.constFirst()},
                         Budget::Operation) == CURLE_OK) {
            if (progress)
                progress(size, size);
            return true;
        }
        removeRemote(sent, Budget::Operation);
        m_renameRefused = true;
        std::rewind(file.get());
        return store(file.get(), remoteName, size, {}, progress) == CURLE_OK;
    }
    if (code == CURLE_QUOTE_ERROR) {
        if (!m_shared->replyCodes.contains(350)) {
            // RNFR itself was refused: this server does not rename, so files go straight.
            removeRemote(sent, Budget::Operation);
            m_renameRefused = true;
            std::rewind(file.get());
            return store(file.get(), remoteName, size, {}, progress) == CURLE_OK;
        }
        // Some servers will not rename over an existing file.
        if (sendCommands(m_pieces, {"*DELE " + name, renameFrom, "RNTO " + name}, Budget::Operation) ==
            CURLE_OK) {
            if (progress)
                progress(size, size);
            return true;
        }
    }
    // Refused before any byte was sent, nothing was made.
    if (code != CURLE_UPLOAD_FAILED)
        removeRemote(sent, Budget::Operation);
    return false;
}

void CurlFtpClient::close()
{
    if (m_connected && !m_leftovers.isEmpty())
        removeLeftovers();
    m_leftovers.clear();
    CURLM *multi = std::exchange(m_multi, nullptr);
    CURL *curl = std::exchange(m_curl, nullptr);
    if (multi || curl) {
        // The connection lives in the multi handle's cache: cleaning it up says goodbye, which
        // waits for the server's answer; a server that does not give it soon is cut off.
        runAside(
            [multi, curl] {
                if (multi)
                    curl_multi_cleanup(multi);
                if (curl)
                    curl_easy_cleanup(curl);
            },
            Budget::Tidying, TidyingMs, nullptr, 0);
    }
    m_connected = false;
    m_renameRefused = false;
    m_pieces.clear();
}

// SFTP paths start at the server's root, so the login folder is named "~" there.
QByteArray CurlFtpClient::folderUrl(const QStringList &pieces) const
{
    QByteArray url = m_base + (m_sftp ? "/~/" : "/");
    for (const QString &piece : pieces)
        url += escaped(m_curl, piece) + '/';
    return url;
}

// Relative, as SFTP servers take such paths from the login folder: libcurl turns "/~/" into
// the login folder only in a path without quotes, and names with blanks need them.
QByteArray CurlFtpClient::sftpPath(const QStringList &pieces, const QString &name) const
{
    QStringList path = pieces;
    path.append(name);
    return quotedPath(path.join(u'/').toUtf8());
}

// A directory URL without a body makes libcurl enter an FTP folder and nothing more, so
// success means the server accepted the change; over SFTP the folder is listed.
bool CurlFtpClient::checkFolder(const QStringList &pieces)
{
    const QByteArray url = folderUrl(pieces);
    curl_easy_setopt(m_curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(m_curl, CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(m_curl, CURLOPT_NOBODY, m_sftp ? 0L : 1L);
    return perform() == CURLE_OK;
}

// Commands in a folder, after libcurl has entered it; one starting with '*' may fail.
int CurlFtpClient::sendCommands(const QStringList &pieces, const QList<QByteArray> &commands, Budget budget)
{
    std::unique_ptr<curl_slist, ListFreer> list;
    for (const QByteArray &command : commands) {
        curl_slist *longer = curl_slist_append(list.get(), command.constData());
        if (!longer)
            return CURLE_OUT_OF_MEMORY;
        static_cast<void>(list.release());
        list.reset(longer);
    }
    const QByteArray url = folderUrl(pieces);
    curl_easy_setopt(m_curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(m_curl, CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(m_curl, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(m_curl, CURLOPT_POSTQUOTE, list.get());
    const int code = perform(budget);
    curl_easy_setopt(m_curl, CURLOPT_POSTQUOTE, nullptr);
    return code;
}

// Sends the file under the name in the working folder, then the commands.
int CurlFtpClient::store(std::FILE *file, const QString &name, qint64 size, const QList<QByteArray> &after,
                         const Progress &progress)
{
    std::unique_ptr<curl_slist, ListFreer> list;
    for (const QByteArray &command : after) {
        curl_slist *longer = curl_slist_append(list.get(), command.constData());
        if (!longer)
            return CURLE_OUT_OF_MEMORY;
        static_cast<void>(list.release());
        list.reset(longer);
    }
    const QByteArray url = folderUrl(m_pieces) + escaped(m_curl, name);
    curl_easy_setopt(m_curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(m_curl, CURLOPT_NOBODY, 0L);
    curl_easy_setopt(m_curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(m_curl, CURLOPT_READFUNCTION, readFromFile);
    curl_easy_setopt(m_curl, CURLOPT_READDATA, file);
    curl_easy_setopt(m_curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(size));
    curl_easy_setopt(m_curl, CURLOPT_POSTQUOTE, list.get());
    const int code = perform(Budget::Operation, progress ? &progress : nullptr, size);
    curl_easy_setopt(m_curl, CURLOPT_POSTQUOTE, nullptr);
    curl_easy_setopt(m_curl, CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(m_curl, CURLOPT_READDATA, nullptr);
    curl_easy_setopt(m_curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(-1));
    if (code == CURLE_OK && progress)
        progress(size, size);
    return code;
}

// A refusal is final (the server will not, or the file is not there); a connection that failed
// leaves the file for a later try.
void CurlFtpClient::removeRemote(const RemoteFile &file, Budget budget)
{
    const QByteArray command =
        m_sftp ? "rm " + sftpPath(file.pieces, file.name) : "DELE " + file.name.toUtf8();
    const int code = sendCommands(file.pieces, {command}, budget);
    if (code != CURLE_OK && code != CURLE_QUOTE_ERROR)
        m_leftovers.append(file);
}

void CurlFtpClient::removeLeftovers()
{
    const QList<RemoteFile> leftovers = std::exchange(m_leftovers, {});
    for (const RemoteFile &file : leftovers)
        removeRemote(file, Budget::Tidying);
}

// Runs the transfer set up on the handle to its end; CURLE_OK when it succeeded. A transfer
// that was stopped leaves its connection cut, so the next operation logs in anew rather than
// read a reply that was meant for this one.
int CurlFtpClient::perform(Budget budget, const Progress *progress, qint64 total)
{
    Shared &shared = *m_shared;
    shared.stop = Shared::Stop::None;
    shared.replyCodes.clear();
    shared.sent = 0;
    if (budget == Budget::Operation && m_cancelled && m_cancelled()) {
        shared.stop = Shared::Stop::Cancelled;
        return CURLE_ABORTED_BY_CALLBACK;
    }
    CURLcode result = CURLE_RECV_ERROR;
    runAside(
        [&] {
            if (curl_multi_add_handle(m_multi, m_curl) != CURLM_OK) {
                result = CURLE_FAILED_INIT;
                return;
            }
            int running = 1;
            while (shared.stop == Shared::Stop::None && curl_multi_perform(m_multi, &running) == CURLM_OK &&
                   running > 0) {
                long wanted = -1;
                curl_multi_timeout(m_multi, &wanted);
                const int timeout = wanted < 0 || wanted > PollCapMs ? PollCapMs : static_cast<int>(wanted);
                if (curl_multi_poll(m_multi, nullptr, 0, timeout, nullptr) != CURLM_OK)
                    break;
            }
            if (shared.stop != Shared::Stop::None)
                result = CURLE_ABORTED_BY_CALLBACK;
            int queued = 0;
            while (CURLMsg *message = curl_multi_info_read(m_multi, &queued)) {
                if (message->msg == CURLMSG_DONE && message->easy_handle == m_curl)
                    result = message->data.result;
            }
            curl_multi_remove_handle(m_multi, m_curl);
        },
        budget, budget == Budget::Tidying ? TidyingMs : m_timeouts.stallSeconds * 1000, progress, total);
    if (shared.stop != Shared::Stop::None || result == CURLE_OPERATION_TIMEDOUT)
        shared.cutSockets();
    return result;
}

// Runs the work on a thread of its own and waits for it here, calling back meanwhile. The
// work is stopped on Cancel (unless tidying), when nothing has moved for the limit, or when
// tidying has taken its limit.
void CurlFtpClient::runAside(const std::function<void()> &work, Budget budget, long limitMs,
                             const Progress *progress, qint64 total)
{
    Shared &shared = *m_shared;
    {
        const std::lock_guard lock(shared.mutex);
        shared.finished = false;
    }
    shared.touch();
    const qint64 started = nowMs();
    const auto stop = [&](Shared::Stop why) {
        Shared::Stop none = Shared::Stop::None;
        if (!shared.stop.compare_exchange_strong(none, why))
            return;
        if (m_multi)
            curl_multi_wakeup(m_multi);
        shared.cutSockets();
    };
    std::thread worker([&] {
        work();
        const std::lock_guard lock(shared.mutex);
        shared.finished = true;
        shared.finishedChanged.notify_all();
    });
    // Also when a call back throws: the work must not outlive what it uses.
    struct Joiner
    {
        std::thread &thread;
        std::function<void()> hurry;
        ~Joiner()
        {
            if (thread.joinable()) {
                hurry();
                thread.join();
            }
        }
    } joiner{worker, [&] { stop(Shared::Stop::OutOfTime); }};

    qint64 shown = -1;
    for (;;) {
        {
            std::unique_lock lock(shared.mutex);
            if (shared.finishedChanged.wait_for(lock, WaitStep, [&] { return shared.finished; }))
                break;
        }
        if (progress && *progress) {
            const qint64 sent = std::min(shared.delivered(), total);
            if (sent != shown)
                (*progress)(sent, total);
            shown = sent;
        }
        if (m_whileWaiting)
            m_whileWaiting();
        if (budget == Budget::Operation && m_cancelled && m_cancelled())
            stop(Shared::Stop::Cancelled);
        else if (budget == Budget::Tidying && nowMs() - started > limitMs)
            stop(Shared::Stop::OutOfTime);
        else if (nowMs() - shared.lastActivity > limitMs)
            stop(Shared::Stop::Stalled);
    }
    worker.join();
    shared.closeDrained();
}
