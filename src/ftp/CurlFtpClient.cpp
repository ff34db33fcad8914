#include "CurlFtpClient.h"

#include "FtpListing.h"
#include "RemotePath.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <curl/curl.h>
#include <memory>
#include <utility>

using namespace Qt::Literals::StringLiterals;
using namespace RemotePath;

namespace {

// The longest wait for the sockets before libcurl is asked again. libcurl here can miss the
// moment a passive data connection is made and sleep its full second; asking again soon
// keeps every put at network speed.
constexpr int PollCapMs = 1;

constexpr long TlsFrom12 = CURL_SSLVERSION_TLSv1_2;
constexpr long TlsUpTo12 = TlsFrom12 | static_cast<long>(CURL_SSLVERSION_MAX_TLSv1_2);

bool globalInitDone()
{
    static const bool done = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return done;
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

struct FileCloser
{
    void operator()(std::FILE *file) const { std::fclose(file); }
};

struct ListFreer
{
    void operator()(curl_slist *list) const { curl_slist_free_all(list); }
};

size_t collect(char *data, size_t size, size_t count, void *target)
{
    if (target)
        static_cast<QByteArray *>(target)->append(data, static_cast<qsizetype>(size * count));
    return size * count;
}

size_t readFromFile(char *buffer, size_t size, size_t count, void *userData)
{
    auto *file = static_cast<std::FILE *>(userData);
    const size_t read = std::fread(buffer, size, count, file);
    if (read == 0 && std::ferror(file))
        return CURL_READFUNC_ABORT;
    return read;
}

FtpClient::Failure failureFor(CURLcode code, TransferEngine::Stop stop)
{
    if (stop != TransferEngine::Stop::None)
        return TransferEngine::failureOf(stop);
    switch (code) {
    case CURLE_OK:
        return FtpClient::Failure::None;
    case CURLE_OPERATION_TIMEDOUT:
        return FtpClient::Failure::Stalled;
    case CURLE_READ_ERROR:
        return FtpClient::Failure::LocalFile;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
    case CURLE_LOGIN_DENIED:
        return FtpClient::Failure::Unreachable;
    case CURLE_QUOTE_ERROR:
    case CURLE_UPLOAD_FAILED:
    case CURLE_REMOTE_ACCESS_DENIED:
    case CURLE_REMOTE_FILE_NOT_FOUND:
    case CURLE_REMOTE_DISK_FULL:
    case CURLE_REMOTE_FILE_EXISTS:
    case CURLE_FTP_COULDNT_RETR_FILE:
    case CURLE_FTP_COULDNT_USE_REST:
    case CURLE_URL_MALFORMAT:
        return FtpClient::Failure::Refused;
    default:
        return FtpClient::Failure::ConnectionLost;
    }
}

} // namespace

// libcurl tells here every command it sends and every reply line of the server, in order, so
// that each reply is known with the command it answers.
struct CurlFtpClient::Replies
{
    // A command of the step in hand and the server's final reply to it.
    struct Answer
    {
        QByteArray command;
        int code = 0;
        QByteArray line;

        // The server does not know the command at all.
        bool unknownCommand() const { return code == 500 || code == 502; }
    };

    QList<Answer> answers;
    QByteArray lastLine;
    // The store command that went out in the step in hand, if one did.
    QByteArray store;
    // Whether the step in hand asked for a data connection.
    bool dataConnection = false;
    QByteArray pending;
    TransferEngine *engine = nullptr;

    // Whether the server may have begun a file: a store went out and was not refused at once.
    bool storeBegun() const
    {
        const Answer *answer = answerTo(store);
        return !store.isEmpty() && (!answer || answer->code < 400);
    }

    // The first reply to a command of the step in hand; null when none came.
    const Answer *answerTo(const QByteArray &command) const
    {
        for (const Answer &answer : answers) {
            if (answer.command == command)
                return &answer;
        }
        return nullptr;
    }

    static int debug(CURL *, curl_infotype type, char *text, size_t size, void *data)
    {
        auto *self = static_cast<Replies *>(data);
        const QByteArray bytes(text, static_cast<qsizetype>(size));
        if (type == CURLINFO_HEADER_OUT) {
            self->pending = bytes.endsWith("\r\n") ? bytes.chopped(2) : bytes;
            if (self->pending.startsWith("STOR "))
                self->store = self->pending;
            if (self->pending == "EPSV" || self->pending == "PASV")
                self->dataConnection = true;
        } else if (type == CURLINFO_HEADER_IN) {
            self->engine->touch();
            for (const QByteArray &line : bytes.split('\n'))
                self->replyLine(line);
        }
        return 0;
    }

    void replyLine(const QByteArray &line)
    {
        const auto digit = [&](qsizetype i) { return line[i] >= '0' && line[i] <= '9'; };
        // "123-" starts a reply of several lines and "123 " (or a bare "123") ends one.
        if (line.size() < 3 || !digit(0) || !digit(1) || !digit(2) ||
            (line.size() > 3 && line[3] != ' ' && line[3] != '\r'))
            return;
        lastLine = line.trimmed();
        answers.append({pending, (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0'), lastLine});
    }

    static curl_socket_t openSocket(void *data, curlsocktype, curl_sockaddr *address)
    {
        const int socket = static_cast<Replies *>(data)->engine->openSocket(
            address->family, address->socktype, address->protocol);
        return socket < 0 ? CURL_SOCKET_BAD : socket;
    }

    static int closeSocket(void *data, curl_socket_t socket)
    {
        return static_cast<Replies *>(data)->engine->closeSocket(socket);
    }

    static int transferInfo(void *data, curl_off_t, curl_off_t downloaded, curl_off_t, curl_off_t uploaded)
    {
        TransferEngine *engine = static_cast<Replies *>(data)->engine;
        engine->setMoved(static_cast<qint64>(downloaded + uploaded));
        return engine->stopped() != TransferEngine::Stop::None ? 1 : 0;
    }
};

CurlFtpClient::CurlFtpClient(ConnectionOptions options)
    : m_options(std::move(options)), m_engine(m_options.stallSeconds * 1000),
      m_replies(std::make_unique<Replies>()), m_tls(m_options.tlsPin, m_options.certificateAuthorities)
{
    m_replies->engine = &m_engine;
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
    m_engine.setWake([multi = m_multi] { curl_multi_wakeup(multi); });
    // No signals for time-outs: a signal handler is no place for a program with windows.
    curl_easy_setopt(m_curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(m_curl, CURLOPT_CONNECTTIMEOUT, m_options.connectSeconds);
    curl_easy_setopt(m_curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(m_curl, CURLOPT_LOW_SPEED_TIME, m_options.stallSeconds);
    curl_easy_setopt(m_curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, m_options.stallSeconds);
    // Pieces go to the server as they are, never folded into the URL.
    curl_easy_setopt(m_curl, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(m_curl, CURLOPT_FTP_CREATE_MISSING_DIRS, static_cast<long>(CURLFTP_CREATE_DIR_NONE));
    // One CWD for a whole folder path, not one for each of its pieces.
    curl_easy_setopt(m_curl, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_SINGLECWD));
    curl_easy_setopt(m_curl, CURLOPT_FTP_USE_EPSV, 1L);
    Replies *replies = m_replies.get();
    curl_easy_setopt(m_curl, CURLOPT_OPENSOCKETFUNCTION, &Replies::openSocket);
    curl_easy_setopt(m_curl, CURLOPT_OPENSOCKETDATA, replies);
    curl_easy_setopt(m_curl, CURLOPT_CLOSESOCKETFUNCTION, &Replies::closeSocket);
    curl_easy_setopt(m_curl, CURLOPT_CLOSESOCKETDATA, replies);
    curl_easy_setopt(m_curl, CURLOPT_XFERINFOFUNCTION, &Replies::transferInfo);
    curl_easy_setopt(m_curl, CURLOPT_XFERINFODATA, replies);
    curl_easy_setopt(m_curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(m_curl, CURLOPT_DEBUGFUNCTION, &Replies::debug);
    curl_easy_setopt(m_curl, CURLOPT_DEBUGDATA, replies);
    curl_easy_setopt(m_curl, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(m_curl, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(m_curl, CURLOPT_WRITEDATA, nullptr);
    if (m_options.security == TransferSecurity::Ftps) {
        // TLS or nothing: a server that will not speak it never sees the password.
        curl_easy_setopt(m_curl, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
        curl_easy_setopt(m_curl, CURLOPT_FTPSSLAUTH, static_cast<long>(CURLFTPAUTH_TLS));
        // Servers that require every data connection to resume the control connection's TLS
        // session (vsftpd's and proftpd's stock settings) refuse most of them over TLS 1.3:
        // libcurl offers each data connection the one ticket of the control connection's
        // handshake, which such a server resumes once and then answers with a full handshake.
        // TLS 1.2 resumes by session ID as often as asked.
        curl_easy_setopt(m_curl, CURLOPT_SSLVERSION, m_tlsCapped ? TlsUpTo12 : TlsFrom12);
        m_tls.watch(m_curl);
    }
    return true;
}

TransferOutcome CurlFtpClient::connect(const QString &host, uint16_t port, const QString &user,
                                       const QString &password)
{
    // The address goes into a URL: characters that would make another URL of it are refused.
    static const QString notInHost = u"/@?#\\ \t\r\n"_s;
    if (!m_curl || host.isEmpty() ||
        std::any_of(host.begin(), host.end(), [](QChar c) { return notInHost.contains(c); }))
        return refuse();
    m_connected = false;
    m_identity = {};
    m_root.reset();
    m_mlsdMissing = m_sizeMissing = m_mdtmMissing = false;
    m_timeCommand = TimeCommand::Mfmt;
    m_timeRefusal.clear();
    if (port == 0)
        port = TransferSecurityText::defaultPort(m_options.security);
    const QString hostPart = host.contains(u':') ? u'[' + host + u']' : host;
    m_server = hostPart + u':' + QString::number(port);
    m_base = "ftp://" + hostPart.toUtf8() + ':' + QByteArray::number(port);
    curl_easy_setopt(m_curl, CURLOPT_USERNAME, user.toUtf8().constData());
    curl_easy_setopt(m_curl, CURLOPT_PASSWORD, password.toUtf8().constData());
    if (m_options.security == TransferSecurity::Ftps)
        m_tls.beforeConnect(m_curl, host, m_server);
    curl_easy_setopt(m_curl, CURLOPT_URL, folderUrl({}).constData());
    curl_easy_setopt(m_curl, CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(m_curl, CURLOPT_NOBODY, 1L);
    TransferOutcome outcome = perform();
    // A server that speaks nothing older than TLS 1.3 is still reached, with what that costs.
    if (!outcome && m_tlsCapped && m_lastCode == CURLE_SSL_CONNECT_ERROR &&
        m_options.security == TransferSecurity::Ftps) {
        m_tlsCapped = false;
        curl_easy_setopt(m_curl, CURLOPT_SSLVERSION, TlsFrom12);
        outcome = perform();
    }
    m_connected = outcome.ok();
    // A login the server turned down is its answer; later, it means the connection is lost.
    if (m_lastCode == CURLE_LOGIN_DENIED)
        outcome.failure = Failure::Refused;
    if (m_connected)
        findLoginFolder();
    return outcome;
}

// A folder named from the login folder is entered from there, so libcurl first goes back to it
// with a CWD of its own; named from the server's root it takes one CWD. The login folder's path
// is trusted only when it reads as one and the server enters it.
void CurlFtpClient::findLoginFolder()
{
    char *entry = nullptr;
    if (curl_easy_getinfo(m_curl, CURLINFO_FTP_ENTRY_PATH, &entry) != CURLE_OK || !entry)
        return;
    const QString path = QString::fromUtf8(entry);
    if (!path.startsWith(u'/') || path.contains(u'\\') || path.contains(QChar::ReplacementCharacter) ||
        !safe(path))
        return;
    m_root = piecesOf(path);
    if (!folderExists(QString()))
        m_root.reset();
}

// Turns what a failed connect saw of the server into what the user is to be told.
void CurlFtpClient::checkIdentity(int code)
{
    if (m_options.security != TransferSecurity::Ftps)
        return;
    const ServerIdentity identity = m_tls.judge(code);
    if (identity.problem != ServerIdentity::Problem::None)
        m_identity = identity;
}

bool CurlFtpClient::trust(const ServerIdentity &identity)
{
    return m_options.security == TransferSecurity::Ftps && m_tls.trust(identity);
}

// A folder URL without a body makes libcurl enter the folder and nothing more, so success
// means the server accepted the change.
TransferOutcome CurlFtpClient::folderExists(const QString &folder)
{
    if (!m_connected || !safe(folder))
        return refuse();
    curl_easy_setopt(m_curl, CURLOPT_URL, folderUrl(piecesOf(folder)).constData());
    curl_easy_setopt(m_curl, CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(m_curl, CURLOPT_NOBODY, 1L);
    return perform();
}

TransferOutcome CurlFtpClient::makeFolder(const QString &folder)
{
    if (!m_connected || !safeEntry(folder))
        return refuse();
    return commands(folderOf(folder), {"MKD " + nameOf(folder).toUtf8()});
}

FtpClient::Listing CurlFtpClient::listFolder(const QString &folder)
{
    if (!m_connected || !safe(folder))
        return {{}, refuse()};
    QByteArray text;
    if (!m_mlsdMissing) {
        const TransferOutcome listed = listing(folder, "MLSD", text);
        if (listed)
            return {FtpListing::parseMlsd(text), listed};
        const Replies::Answer *answer = m_replies->answerTo("MLSD");
        if (!answer || !answer->unknownCommand())
            return {{}, listed};
        m_mlsdMissing = true;
    }
    const TransferOutcome named = listing(folder, nullptr, text);
    if (!named)
        return {{}, named};
    return withSizesAndTimes(folder, FtpListing::parseNames(text));
}

// A folder's listing: the command's, or the names alone.
TransferOutcome CurlFtpClient::listing(const QString &folder, const char *command, QByteArray &listing)
{
    listing.clear();
    curl_easy_setopt(m_curl, CURLOPT_URL, folderUrl(piecesOf(folder)).constData());
    curl_easy_setopt(m_curl, CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(m_curl, CURLOPT_NOBODY, 0L);
    curl_easy_setopt(m_curl, CURLOPT_WRITEDATA, &listing);
    curl_easy_setopt(m_curl, CURLOPT_CUSTOMREQUEST, command);
    curl_easy_setopt(m_curl, CURLOPT_DIRLISTONLY, command ? 0L : 1L);
    const TransferOutcome listed = perform();
    curl_easy_setopt(m_curl, CURLOPT_WRITEDATA, nullptr);
    curl_easy_setopt(m_curl, CURLOPT_CUSTOMREQUEST, nullptr);
    curl_easy_setopt(m_curl, CURLOPT_DIRLISTONLY, 0L);
    return listed;
}

// Where the listing gave names alone: SIZE and MDTM of each, all sent at once. SIZE counts bytes
// in binary mode only, which the listing left. A name that SIZE refuses is no plain file; where
// the server knows no SIZE, folders cannot be told from files, and every entry is a file of
// unknown size. The first name alone shows which of the two commands the server knows.
FtpClient::Listing CurlFtpClient::withSizesAndTimes(const QString &folder, const QList<QString> &names)
{
    TransferOutcome outcome;
    QList<RemoteEntry> entries;
    for (const QString &name : names)
        entries.append({name});
    qsizetype asked = 0;
    while (asked < entries.size() && !(m_sizeMissing && m_mdtmMissing)) {
        const qsizetype end = asked == 0 ? 1 : entries.size();
        QList<QByteArray> list;
        if (asked == 0)
            list.append("*TYPE I");
        for (qsizetype i = asked; i < end; ++i) {
            const QByteArray name = entries[i].name.toUtf8();
            if (!m_sizeMissing)
                list.append("*SIZE " + name);
            if (!m_mdtmMissing)
                list.append("*MDTM " + name);
        }
        outcome = commands(folder, list);
        if (!outcome)
            return {{}, outcome};
        for (; asked < end; ++asked) {
            RemoteEntry &entry = entries[asked];
            const QByteArray name = entry.name.toUtf8();
            const Replies::Answer *size = m_replies->answerTo("SIZE " + name);
            const Replies::Answer *time = m_replies->answerTo("MDTM " + name);
            m_sizeMissing = m_sizeMissing || (size && size->unknownCommand());
            m_mdtmMissing = m_mdtmMissing || (time && time->unknownCommand());
            if (size && size->code == 213)
                entry.size = FtpListing::parseSize(size->line.mid(4)).value_or(-1);
            else if (size && size->code / 100 == 5 && !size->unknownCommand())
                entry.folder = true;
            if (time && time->code == 213)
                entry.modified = FtpListing::parseTime(time->line.mid(4)).value_or(QDateTime());
        }
    }
    for (RemoteEntry &entry : entries)
        entry.kindKnown = !m_sizeMissing;
    return {entries, outcome};
}

TransferOutcome CurlFtpClient::putFile(const QString &localPath, const QString &path,
                                       const Progress &progress)
{
    if (!m_connected || !safeEntry(path))
        return refuse();
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(QFile::encodeName(localPath).constData(), "rb"));
    if (!file)
        return TransferOutcome::failed(Failure::LocalFile);
    const qint64 size = QFileInfo(localPath).size();
    QStringList pieces = piecesOf(path);
    const QString name = pieces.takeLast();
    const QByteArray url = folderUrl(pieces) + escaped(m_curl, name);
    curl_easy_setopt(m_curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(m_curl, CURLOPT_NOBODY, 0L);
    curl_easy_setopt(m_curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(m_curl, CURLOPT_READFUNCTION, readFromFile);
    curl_easy_setopt(m_curl, CURLOPT_READDATA, file.get());
    curl_easy_setopt(m_curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(size));
    TransferOutcome stored = perform(TransferEngine::Budget::Operation, progress ? &progress : nullptr, size);
    curl_easy_setopt(m_curl, CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(m_curl, CURLOPT_READDATA, nullptr);
    curl_easy_setopt(m_curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(-1));
    stored.partMayBeLeft = !stored && m_replies->storeBegun();
    if (stored && progress)
        progress(size, size);
    return stored;
}

TransferOutcome CurlFtpClient::rename(const QString &from, const QString &to)
{
    if (!m_connected || !safeEntry(from) || !safeEntry(to))
        return refuse();
    // RNTO names the target from the folder entered, which is the source's.
    if (folderOf(from) != folderOf(to)) {
        char *entry = nullptr;
        if (!m_root && (curl_easy_getinfo(m_curl, CURLINFO_FTP_ENTRY_PATH, &entry) != CURLE_OK || !entry))
            return refuse();
        const QString root = m_root ? u'/' + m_root->join(u'/') : QString::fromUtf8(entry);
        const QString target = root.endsWith(u'/') ? root + to : root + u'/' + to;
        return commands(folderOf(from), {"RNFR " + nameOf(from).toUtf8(), "RNTO " + target.toUtf8()});
    }
    return commands(folderOf(from), {"RNFR " + nameOf(from).toUtf8(), "RNTO " + nameOf(to).toUtf8()});
}

TransferOutcome CurlFtpClient::removeFile(const QString &path)
{
    if (!m_connected || !safeEntry(path))
        return refuse();
    return commands(folderOf(path), {"DELE " + nameOf(path).toUtf8()});
}

void CurlFtpClient::tidyRemove(const QString &path)
{
    if (!m_connected || !safeEntry(path))
        return;
    commands(folderOf(path), {"DELE " + nameOf(path).toUtf8()}, TransferEngine::Budget::Tidying);
}

// MFMT where the server knows it; else the two other forms servers take: MDTM with a time
// before the name (vsftpd), and SITE UTIME with the times in UTC (proftpd's mod_site_misc). The
// first that works serves the rest of the connection; a server that takes none is not asked
// again.
TransferOutcome CurlFtpClient::setModified(const QString &path, const QDateTime &time)
{
    if (!m_connected || !safeEntry(path) || !time.isValid())
        return refuse();
    const QByteArray stamp = FtpListing::timeText(time);
    const QByteArray name = nameOf(path).toUtf8();
    while (m_timeCommand != TimeCommand::None) {
        QByteArray command;
        switch (m_timeCommand) {
        case TimeCommand::Mfmt:
            command = "MFMT " + stamp + ' ' + name;
            break;
        case TimeCommand::MdtmWithTime:
            command = "MDTM " + stamp + ' ' + name;
            break;
        case TimeCommand::SiteUtime:
            command = "SITE UTIME " + name + ' ' + stamp + ' ' + stamp + ' ' + stamp + " UTC";
            break;
        case TimeCommand::None:
            break;
        }
        TransferOutcome done = commands(folderOf(path), {command});
        const Replies::Answer *answer = m_replies->answerTo(command);
        // MDTM with one argument reads a time: only the reply of the setting form tells it set one.
        if (done && (m_timeCommand != TimeCommand::MdtmWithTime || (answer && answer->code == 213)))
            return done;
        if (done.failure != Failure::Refused && done.failure != Failure::None)
            return done;
        // A file MFMT refuses is refused; the other forms may mean nothing to the server.
        if (m_timeCommand == TimeCommand::Mfmt && !(answer && answer->unknownCommand()))
            return TransferOutcome::failed(Failure::Refused, done.reply);
        m_timeCommand = static_cast<TimeCommand>(static_cast<int>(m_timeCommand) + 1);
        m_timeRefusal = done.reply;
    }
    return TransferOutcome::failed(Failure::Refused, m_timeRefusal);
}

void CurlFtpClient::close()
{
    CURLM *multi = std::exchange(m_multi, nullptr);
    CURL *curl = std::exchange(m_curl, nullptr);
    if (multi || curl) {
        // The connection lives in the multi handle's cache: cleaning it up says goodbye, which
        // waits for the server's answer; a server that does not give it soon is cut off.
        m_engine.setWake({});
        m_engine.run(
            [multi, curl] {
                if (multi)
                    curl_multi_cleanup(multi);
                if (curl)
                    curl_easy_cleanup(curl);
            },
            TransferEngine::Budget::Tidying);
    }
    m_connected = false;
}

// libcurl keeps the connection in the multi handle's cache, and would take up a cut one again
// when a late reply waits on it: a new handle takes the old one's place. The server is not
// waited on for a goodbye.
void CurlFtpClient::dropConnection()
{
    m_engine.cutSockets();
    CURLM *multi = std::exchange(m_multi, curl_multi_init());
    m_engine.setWake([next = m_multi] { curl_multi_wakeup(next); });
    m_engine.run([multi] { curl_multi_cleanup(multi); }, TransferEngine::Budget::Tidying);
}

// A path from the server's root starts with an escaped "/".
QByteArray CurlFtpClient::folderUrl(const QStringList &pieces) const
{
    QByteArray url = m_base + (m_root ? "/%2F" : "/");
    for (const QString &piece : m_root ? *m_root + pieces : pieces)
        url += escaped(m_curl, piece) + '/';
    return url;
}

// Commands in a folder, after libcurl has entered it.
TransferOutcome CurlFtpClient::commands(const QString &folder, const QList<QByteArray> &list,
                                        TransferEngine::Budget budget)
{
    std::unique_ptr<curl_slist, ListFreer> quoted;
    for (const QByteArray &command : list) {
        curl_slist *longer = curl_slist_append(quoted.get(), command.constData());
        if (!longer)
            return refuse();
        static_cast<void>(quoted.release());
        quoted.reset(longer);
    }
    curl_easy_setopt(m_curl, CURLOPT_URL, folderUrl(piecesOf(folder)).constData());
    curl_easy_setopt(m_curl, CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(m_curl, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(m_curl, CURLOPT_POSTQUOTE, quoted.get());
    const TransferOutcome done = perform(budget);
    curl_easy_setopt(m_curl, CURLOPT_POSTQUOTE, nullptr);
    return done;
}

TransferOutcome CurlFtpClient::refuse()
{
    return TransferOutcome::failed(Failure::Refused);
}

// Runs the transfer set up on the handle to its end. A transfer that was stopped leaves its
// connection cut, so the next operation logs in anew rather than read a reply that was meant
// for this one. One that failed after asking for a data connection ends its connection too:
// libcurl keeps it after a refused transfer, but the server may still answer for the data
// connection, as pyftpdlib does for one closed during its TLS handshake.
TransferOutcome CurlFtpClient::perform(TransferEngine::Budget budget, const Progress *progress, qint64 total)
{
    m_replies->answers.clear();
    m_replies->lastLine.clear();
    m_replies->pending.clear();
    m_replies->store.clear();
    m_replies->dataConnection = false;
    CURLcode result = CURLE_RECV_ERROR;
    const TransferEngine::Stop stop = m_engine.run(
        [&] {
            if (curl_multi_add_handle(m_multi, m_curl) != CURLM_OK) {
                result = CURLE_FAILED_INIT;
                return;
            }
            int running = 1;
            while (m_engine.stopped() == TransferEngine::Stop::None &&
                   curl_multi_perform(m_multi, &running) == CURLM_OK && running > 0) {
                long wanted = -1;
                curl_multi_timeout(m_multi, &wanted);
                const int timeout = wanted < 0 || wanted > PollCapMs ? PollCapMs : static_cast<int>(wanted);
                if (curl_multi_poll(m_multi, nullptr, 0, timeout, nullptr) != CURLM_OK)
                    break;
            }
            if (m_engine.stopped() != TransferEngine::Stop::None)
                result = CURLE_ABORTED_BY_CALLBACK;
            int queued = 0;
            while (CURLMsg *message = curl_multi_info_read(m_multi, &queued)) {
                if (message->msg == CURLMSG_DONE && message->easy_handle == m_curl)
                    result = message->data.result;
            }
            curl_multi_remove_handle(m_multi, m_curl);
        },
        budget, progress, total);
    if (stop != TransferEngine::Stop::None || result == CURLE_OPERATION_TIMEDOUT)
        m_engine.cutSockets();
    else if (result != CURLE_OK && m_replies->dataConnection)
        dropConnection();
    m_lastCode = result;
    if (result != CURLE_OK && stop == TransferEngine::Stop::None && !m_connected)
        checkIdentity(result);
    return {failureFor(result, stop), QString::fromUtf8(m_replies->lastLine)};
}
