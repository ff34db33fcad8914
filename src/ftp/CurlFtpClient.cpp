#include "CurlFtpClient.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstdio>
#include <curl/curl.h>
#include <memory>

using namespace Qt::Literals::StringLiterals;

namespace {

// The longest wait for the sockets before libcurl is asked again. libcurl here can miss the
// moment a passive data connection is made and sleep its full second; asking again soon
// keeps every put at network speed.
constexpr int PollCapMs = 1;

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

// A line break in a command argument would end the command and start another.
bool safeInCommand(const QString &name)
{
    return !name.contains(u'\r') && !name.contains(u'\n') && !name.contains(QChar(0));
}

struct FileCloser
{
    void operator()(std::FILE *file) const { std::fclose(file); }
};

size_t readFromFile(char *buffer, size_t size, size_t count, void *userData)
{
    auto *file = static_cast<std::FILE *>(userData);
    const size_t read = std::fread(buffer, size, count, file);
    if (read == 0 && std::ferror(file))
        return CURL_READFUNC_ABORT;
    return read;
}

int reportProgress(void *userData, curl_off_t, curl_off_t, curl_off_t total, curl_off_t sent)
{
    const auto *progress = static_cast<const FtpClient::Progress *>(userData);
    (*progress)(static_cast<qint64>(sent), static_cast<qint64>(total));
    return 0;
}

} // namespace

CurlFtpClient::CurlFtpClient() = default;

CurlFtpClient::CurlFtpClient(Timeouts timeouts, Waiting whileWaiting)
    : m_timeouts(timeouts), m_whileWaiting(std::move(whileWaiting))
{}

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
    const QString hostPart = host.contains(u':') ? u'[' + host + u']' : host;
    m_base = "ftp://" + hostPart.toUtf8() + ':' + QByteArray::number(port == 0 ? 21 : port);
    curl_easy_setopt(m_curl, CURLOPT_USERNAME, user.toUtf8().constData());
    curl_easy_setopt(m_curl, CURLOPT_PASSWORD, password.toUtf8().constData());
    m_connected = checkFolder({});
    return m_connected;
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
    const QByteArray command = "MKD " + name.toUtf8();
    curl_slist *commands = curl_slist_append(nullptr, command.constData());
    if (!commands)
        return false;
    // After the transfer, so that the folder changes to the working folder come first.
    curl_easy_setopt(m_curl, CURLOPT_POSTQUOTE, commands);
    const bool made = checkFolder(m_pieces);
    curl_easy_setopt(m_curl, CURLOPT_POSTQUOTE, nullptr);
    curl_slist_free_all(commands);
    return made;
}

bool CurlFtpClient::putFile(const QString &localPath, const QString &remoteName, const Progress &progress)
{
    if (!m_connected || remoteName.isEmpty())
        return false;
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(QFile::encodeName(localPath).constData(), "rb"));
    if (!file)
        return false;
    const QByteArray url = folderUrl(m_pieces) + escaped(m_curl, remoteName);
    curl_easy_setopt(m_curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(m_curl, CURLOPT_NOBODY, 0L);
    curl_easy_setopt(m_curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(m_curl, CURLOPT_READFUNCTION, readFromFile);
    curl_easy_setopt(m_curl, CURLOPT_READDATA, file.get());
    curl_easy_setopt(m_curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(QFileInfo(localPath).size()));
    if (progress) {
        curl_easy_setopt(m_curl, CURLOPT_XFERINFOFUNCTION, reportProgress);
        curl_easy_setopt(m_curl, CURLOPT_XFERINFODATA, &progress);
        curl_easy_setopt(m_curl, CURLOPT_NOPROGRESS, 0L);
    }
    const bool stored = perform();
    curl_easy_setopt(m_curl, CURLOPT_NOPROGRESS, 1L);
    curl_easy_setopt(m_curl, CURLOPT_XFERINFODATA, nullptr);
    curl_easy_setopt(m_curl, CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(m_curl, CURLOPT_READDATA, nullptr);
    curl_easy_setopt(m_curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(-1));
    return stored;
}

void CurlFtpClient::close()
{
    // The connection lives in the multi handle's cache: cleaning it up says goodbye.
    if (m_multi)
        curl_multi_cleanup(m_multi);
    if (m_curl)
        curl_easy_cleanup(m_curl);
    m_multi = nullptr;
    m_curl = nullptr;
    m_connected = false;
    m_pieces.clear();
}

QByteArray CurlFtpClient::folderUrl(const QStringList &pieces) const
{
    QByteArray url = m_base + '/';
    for (const QString &piece : pieces)
        url += escaped(m_curl, piece) + '/';
    return url;
}

// A directory URL without a body makes libcurl enter the folder and nothing more, so success
// means the server accepted the change.
bool CurlFtpClient::checkFolder(const QStringList &pieces)
{
    const QByteArray url = folderUrl(pieces);
    curl_easy_setopt(m_curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(m_curl, CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(m_curl, CURLOPT_NOBODY, 1L);
    return perform();
}

// Runs the transfer set up on the handle to its end; true when it succeeded.
bool CurlFtpClient::perform()
{
    if (curl_multi_add_handle(m_multi, m_curl) != CURLM_OK)
        return false;
    int running = 1;
    while (curl_multi_perform(m_multi, &running) == CURLM_OK && running > 0) {
        long wanted = -1;
        curl_multi_timeout(m_multi, &wanted);
        const int timeout = wanted < 0 || wanted > PollCapMs ? PollCapMs : static_cast<int>(wanted);
        if (curl_multi_poll(m_multi, nullptr, 0, timeout, nullptr) != CURLM_OK)
            break;
        if (m_whileWaiting)
            m_whileWaiting();
    }
    CURLcode result = CURLE_RECV_ERROR;
    int queued = 0;
    while (CURLMsg *message = curl_multi_info_read(m_multi, &queued)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == m_curl)
            result = message->data.result;
    }
    curl_multi_remove_handle(m_multi, m_curl);
    return result == CURLE_OK;
}
