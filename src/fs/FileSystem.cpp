#include "FileSystem.h"

#include "ErrorGuard.h"
#include "RunTimeError.h"
#include "TemporaryName.h"

#include <QAtomicInteger>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <climits>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace FileSystem {

namespace {

QByteArray native(const QString &path)
{
    return QFile::encodeName(path);
}

[[noreturn]] void raiseErrno(const QString &path)
{
    throw RunTimeError::fromErrno(errno, path);
}

// Closes a descriptor when the scope ends, whatever way it ends.
struct FdCloser
{
    int fd;
    ~FdCloser()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// Writes all of bytes; 0 on success, else the errno value.
int writeBytes(int out, const char *bytes, qsizetype size)
{
    qsizetype done = 0;
    while (done < size) {
        const ssize_t put = ::write(out, bytes + done, static_cast<size_t>(size - done));
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0)
            return errno;
        done += put;
    }
    return 0;
}

// Copies everything from one descriptor to another; 0 on success, else the errno value.
int copyBytes(int in, int out)
{
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    for (;;) {
        const ssize_t got = ::read(in, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return errno;
        if (got == 0)
            return 0;
        if (const int failure = writeBytes(out, buffer.constData(), got))
            return failure;
    }
}

// Writes the target under a temporary name in its folder, filled by fill (which returns 0 or an
// errno value), and renames that over the target.
void replaceWith(const QString &target, const std::function<int(int out)> &fill)
{
    const QByteArray temporaryName = native(temporarySibling(target));
    const int out = ::open(temporaryName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (out < 0)
        raiseErrno(target);
    // The temporary file replaces the target only when every byte was written and the close
    // succeeded too: some file systems report a failed write only there.
    int failure = fill(out);
    if (::close(out) != 0 && failure == 0)
        failure = errno;
    if (failure == 0 && ::rename(temporaryName.constData(), native(target).constData()) != 0)
        failure = errno;
    if (failure != 0) {
        ::unlink(temporaryName.constData());
        throw RunTimeError::fromErrno(failure, target);
    }
}

} // namespace

bool FileExists(const QString &path)
{
    struct stat st;
    return !path.isEmpty() && ::stat(native(path).constData(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool FolderExists(const QString &path)
{
    struct stat st;
    return !path.isEmpty() && ::stat(native(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

EntryType entryType(const QString &path)
{
    struct stat st;
    const QByteArray name = native(path);
    if (::lstat(name.constData(), &st) != 0)
        return EntryType::Missing;
    if (S_ISDIR(st.st_mode))
        return EntryType::Folder;
    if (S_ISLNK(st.st_mode)) {
        if (::stat(name.constData(), &st) != 0)
            return EntryType::FileLink;
        return S_ISDIR(st.st_mode) ? EntryType::FolderLink : EntryType::FileLink;
    }
    return EntryType::File;
}

QString temporarySibling(const QString &target)
{
    // A short name of its own, so it fits the folder whatever the length of the target's name.
    static QAtomicInteger<quint64> counter;
    return QFileInfo(target).path() + u'/' + TemporaryName::of(counter.fetchAndAddRelaxed(1));
}

int removeStaleTemporaries(const QString &folder)
{
    QStringList names;
    try {
        names = ListFolder(folder);
    } catch (const RunTimeError &) {
        // A folder that cannot be listed has nothing that could be removed either.
        return 0;
    }
    int removed = 0;
    for (const QString &name : std::as_const(names)) {
        const std::optional<qint64> pid = TemporaryName::writer(name);
        if (!pid)
            continue;
        // A file of a program that still runs is still being written.
        if (*pid == QCoreApplication::applicationPid() || *pid <= 0 || *pid > INT_MAX ||
            !(::kill(static_cast<pid_t>(*pid), 0) != 0 && errno == ESRCH))
            continue;
        if (::unlink(native(folder + u'/' + name).constData()) == 0)
            ++removed;
    }
    return removed;
}

void CopyFile(const QString &source, const QString &target, bool overwrite)
{
    QString destination = target;
    if (destination.endsWith(u'/'))
        destination += QFileInfo(source).fileName();
    if (!overwrite && FileExists(destination))
        throw RunTimeError(58, u"File already exists: "_s + destination);

    const int in = ::open(native(source).constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        raiseErrno(source);
    FdCloser inCloser{in};
    struct stat st;
    if (::fstat(in, &st) != 0)
        raiseErrno(source);
    if (S_ISDIR(st.st_mode))
        throw RunTimeError(RunTimeError::PathFileAccessError, u"Path/File access error: "_s + source);

    replaceWith(destination, [in](int out) { return copyBytes(in, out); });
}

void WriteFile(const QString &target, QByteArrayView bytes)
{
    replaceWith(target, [bytes](int out) { return writeBytes(out, bytes.data(), bytes.size()); });
}

double GetFSize(const QString &path)
{
    double size = 0;
    guarded(u"frmMain"_s, u"GetFSize"_s, [&] { size = FileSize(path); });
    return size;
}

double FileSize(const QString &path)
{
    if (path.isEmpty())
        return 0;
    struct stat st;
    if (::stat(native(path).constData(), &st) != 0)
        raiseErrno(path);
    if (S_ISDIR(st.st_mode))
        throw RunTimeError(RunTimeError::FileNotFound, u"File not found: "_s + path);
    return static_cast<double>(st.st_size);
}

QStringList ListFolder(const QString &folder, QStringList *unreadable)
{
    DIR *dir = ::opendir(native(folder).constData());
    if (!dir)
        raiseErrno(folder);
    QStringList names;
    errno = 0;
    while (const dirent *entry = ::readdir(dir)) {
        const char *name = entry->d_name;
        if ((name[0] == '.' && name[1] == 0) || (name[0] == '.' && name[1] == '.' && name[2] == 0))
            continue;
        const QString decoded = QFile::decodeName(name);
        // A name that is no valid text (bytes of another code page) cannot be named again.
        if (QFile::encodeName(decoded) == QByteArrayView(name)) {
            names.append(decoded);
        } else if (unreadable) {
            QString shown;
            for (const char *c = name; *c; ++c) {
                const auto byte = static_cast<unsigned char>(*c);
                shown += byte >= 0x20 && byte < 0x7f
                             ? QString(QChar(char16_t(byte)))
                             : u"\\x"_s + QString::number(byte, 16).toUpper().rightJustified(2, u'0');
            }
            unreadable->append(shown);
        }
    }
    const int failure = errno;
    ::closedir(dir);
    if (failure != 0)
        throw RunTimeError::fromErrno(failure, folder);
    return names;
}

void MakeFolder(const QString &path)
{
    if (::mkdir(native(path).constData(), 0777) == 0)
        return;
    if (errno == EEXIST)
        throw RunTimeError(RunTimeError::PathFileAccessError, u"Path/File access error: "_s + path);
    raiseErrno(path);
}

QByteArray ReadFileHead(const QString &path, qsizetype maxBytes)
{
    const int fd = ::open(native(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        raiseErrno(path);
    FdCloser closer{fd};
    QByteArray head(maxBytes, Qt::Uninitialized);
    qsizetype filled = 0;
    while (filled < maxBytes) {
        const ssize_t got = ::read(fd, head.data() + filled, maxBytes - filled);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            raiseErrno(path);
        if (got == 0)
            break;
        filled += got;
    }
    head.truncate(filled);
    return head;
}

} // namespace FileSystem
