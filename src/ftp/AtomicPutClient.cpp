#include "AtomicPutClient.h"

#include "TemporaryName.h"

#include <QCoreApplication>
#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryFile>
#include <atomic>

using namespace Qt::Literals::StringLiterals;

namespace {

// A put of a running program touches its part at least once every stall limit; this is well
// beyond that.
constexpr qint64 StaleAfterSeconds = 600;

QString folderOf(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash < 0 ? QString() : path.left(slash);
}

QString joined(const QString &folder, const QString &name)
{
    return folder.isEmpty() ? name : folder + u'/' + name;
}

} // namespace

AtomicPutClient::AtomicPutClient(std::unique_ptr<FtpClient> inner, std::shared_ptr<PartLedger> parts)
    : m_inner(std::move(inner)), m_parts(parts ? std::move(parts) : std::make_shared<PartLedger>())
{}

QString AtomicPutClient::temporaryName()
{
    // A random start, so that a program that gets the process number of an earlier one does
    // not meet the names that one left.
    static std::atomic<quint32> counter{QRandomGenerator::system()->bounded(1u << 30)};
    return TemporaryName::of(++counter);
}

bool AtomicPutClient::isStaleTemporary(const RemoteEntry &entry, const QDateTime &now)
{
    const std::optional<qint64> writer = TemporaryName::writer(entry.name);
    if (entry.folder || !writer)
        return false;
    if (*writer == QCoreApplication::applicationPid())
        return true;
    return entry.modified.isValid() && entry.modified.secsTo(now) > StaleAfterSeconds;
}

bool AtomicPutClient::connect(const QString &host, uint16_t port, const QString &user,
                              const QString &password)
{
    const bool connected = m_inner->connect(host, port, user, password);
    keepOutcome(connected);
    return connected;
}

bool AtomicPutClient::folderExists(const QString &folder)
{
    const bool exists = m_inner->folderExists(folder);
    keepOutcome(exists);
    return exists;
}

bool AtomicPutClient::makeFolder(const QString &folder)
{
    const bool made = m_inner->makeFolder(folder);
    keepOutcome(made);
    return made;
}

std::optional<QList<RemoteEntry>> AtomicPutClient::listFolder(const QString &folder)
{
    return listing(folder, {}, nullptr);
}

std::optional<QList<RemoteEntry>> AtomicPutClient::listFolderReadingClock(const QString &folder,
                                                                          std::optional<ServerClock> &clock)
{
    clock.reset();
    QTemporaryFile empty(QDir::tempPath() + u"/pexa-clock-XXXXXX"_s);
    if (!empty.open())
        return listFolder(folder);
    empty.close();
    const QString name = temporaryName();
    const QString probe = joined(folder, name);
    m_parts->writing(probe);
    if (!m_inner->putFile(empty.fileName(), probe, {})) {
        keepOutcome(false);
        if (m_inner->putMayHaveLeftPart())
            dropPart(probe);
        else
            m_parts->gone(probe);
        return m_failure == Failure::Refused ? listFolder(folder) : std::nullopt;
    }
    const QDateTime sentAt = QDateTime::currentDateTimeUtc();
    // Far enough from now that a server which keeps the time of arrival shows it.
    const QDateTime setTo = QDateTime::fromSecsSinceEpoch(sentAt.toSecsSinceEpoch(), Qt::UTC).addDays(-2);
    const bool timeSet = m_inner->setModified(probe, setTo);
    RemoteEntry probed{name};
    std::optional<QList<RemoteEntry>> entries = listing(folder, name, &probed);
    if (!entries)
        dropPart(probe);
    else
        clock = ServerClock::learn(probed.modified, setTo, timeSet, sentAt);
    return entries;
}

// Lists a folder, removing the parts no put is writing any more; the entry of the probe, which
// goes too, is given back.
std::optional<QList<RemoteEntry>> AtomicPutClient::listing(const QString &folder, const QString &probe,
                                                           RemoteEntry *probed)
{
    std::optional<QList<RemoteEntry>> entries = m_inner->listFolder(folder);
    keepOutcome(entries.has_value());
    if (!entries)
        return entries;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (auto it = entries->begin(); it != entries->end();) {
        if (!isStaleTemporary(*it, now)) {
            ++it;
            continue;
        }
        if (probed && it->name == probe)
            *probed = *it;
        const QString path = joined(folder, it->name);
        if (m_inner->removeFile(path) || m_inner->lastFailure() == Failure::Refused)
            m_parts->gone(path);
        it = entries->erase(it);
    }
    return entries;
}

bool AtomicPutClient::putFile(const QString &localPath, const QString &path, const Progress &progress)
{
    bool timed = false;
    Failure timeFailure = Failure::None;
    return put(localPath, path, QDateTime(), timed, timeFailure, progress);
}

bool AtomicPutClient::putFileWithTime(const QString &localPath, const QString &path, const QDateTime &time,
                                      Failure &timeFailure, const Progress &progress)
{
    timeFailure = Failure::None;
    bool timed = false;
    if (!put(localPath, path, time, timed, timeFailure, progress)) {
        // The time of a file not sent tells nothing of the server.
        timeFailure = Failure::None;
        return false;
    }
    if (!timed && !m_inner->setModified(path, time))
        timeFailure = m_inner->lastFailure();
    return true;
}

bool AtomicPutClient::put(const QString &localPath, const QString &path, const QDateTime &time, bool &timed,
                          Failure &timeFailure, const Progress &progress)
{
    timed = false;
    if (m_renameRefused)
        return putStraight(localPath, path, progress);
    const QString temporary = joined(folderOf(path), temporaryName());
    m_parts->writing(temporary);
    PutAs reached = m_inner->putFileAs(localPath, temporary, path, time, timeFailure, progress);
    timed = reached != PutAs::NotOffered;
    if (!timed) {
        reached = !m_inner->putFile(localPath, temporary, progress) ? PutAs::NotStored
                  : m_inner->rename(temporary, path)                ? PutAs::Renamed
                                                                    : PutAs::NotRenamed;
    }
    if (reached == PutAs::Renamed) {
        m_parts->gone(temporary);
        keepOutcome(true);
        removeLeftParts();
        return true;
    }
    keepOutcome(false);
    if (reached == PutAs::NotStored) {
        if (m_inner->putMayHaveLeftPart())
            dropPart(temporary);
        else
            m_parts->gone(temporary);
        return false;
    }
    if (reached == PutAs::RenamedInDoubt) {
        m_parts->gone(temporary);
        // Bytes the server would not confirm are no picture to stand under the name.
        m_inner->removeFile(path);
        return false;
    }
    if (m_failure != Failure::Refused) {
        // The bytes reached the server before the connection went.
        if (m_failure == Failure::Unreachable)
            m_failure = Failure::ConnectionLost;
        dropPart(temporary);
        return false;
    }
    // Some servers will not rename onto an existing file: the old one goes first.
    if (m_inner->removeFile(path) && m_inner->rename(temporary, path)) {
        m_parts->gone(temporary);
        keepOutcome(true);
        removeLeftParts();
        return true;
    }
    // This server does not rename: files go straight under their names from now on.
    m_inner->removeFile(temporary);
    m_parts->gone(temporary);
    m_renameRefused = true;
    timed = false;
    timeFailure = Failure::None;
    return putStraight(localPath, path, progress);
}

bool AtomicPutClient::putStraight(const QString &localPath, const QString &path, const Progress &progress)
{
    const bool stored = m_inner->putFile(localPath, path, progress);
    keepOutcome(stored);
    return stored;
}

bool AtomicPutClient::rename(const QString &from, const QString &to)
{
    const bool renamed = m_inner->rename(from, to);
    keepOutcome(renamed);
    return renamed;
}

bool AtomicPutClient::removeFile(const QString &path)
{
    const bool removed = m_inner->removeFile(path);
    keepOutcome(removed);
    return removed;
}

bool AtomicPutClient::setModified(const QString &path, const QDateTime &time)
{
    const bool set = m_inner->setModified(path, time);
    keepOutcome(set);
    return set;
}

void AtomicPutClient::keepOutcome(bool succeeded)
{
    m_failure = succeeded ? Failure::None : m_inner->lastFailure();
    m_reply = m_inner->lastReply();
}

// After Cancel the part goes at once, as far as a moment allows; a server that answers still
// is asked now; one whose connection went is asked after the next put that reaches it, rather
// than waited for again now.
void AtomicPutClient::dropPart(const QString &temporary)
{
    switch (m_failure) {
    case Failure::Cancelled:
        // A moment may not be enough: the next run makes sure.
        m_inner->tidyRemove(temporary);
        m_parts->leftBehind(temporary);
        break;
    case Failure::Stalled:
    case Failure::ConnectionLost:
    case Failure::Unreachable:
        m_parts->leftBehind(temporary);
        break;
    case Failure::None:
    case Failure::Refused:
    case Failure::LocalFile:
        if (m_inner->removeFile(temporary) || m_inner->lastFailure() == Failure::Refused)
            m_parts->gone(temporary);
        else
            m_parts->leftBehind(temporary);
        break;
    }
}

// A part the server will not remove is gone already, or not ours to remove; one it cannot be
// asked about now waits for the next time.
void AtomicPutClient::removeLeftParts()
{
    const QStringList parts = m_parts->takeLeftBehind();
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (m_inner->removeFile(parts.at(i)) || m_inner->lastFailure() == Failure::Refused) {
            m_parts->gone(parts.at(i));
            continue;
        }
        for (; i < parts.size(); ++i)
            m_parts->leftBehind(parts.at(i));
    }
}
