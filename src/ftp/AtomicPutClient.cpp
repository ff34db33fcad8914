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

FtpClient::Listing AtomicPutClient::listFolder(const QString &folder)
{
    return listing(folder, {}, nullptr);
}

FtpClient::Listing AtomicPutClient::listFolderReadingClock(const QString &folder,
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
    const TransferOutcome sent = m_inner->putFile(empty.fileName(), probe, {});
    if (!sent) {
        if (sent.partMayBeLeft)
            dropPart(probe, sent.failure);
        else
            m_parts->gone(probe);
        if (sent.failure == FtpClient::Failure::Refused)
            return listFolder(folder);
        return {{}, sent};
    }
    const QDateTime sentAt = QDateTime::currentDateTimeUtc();
    // Far enough from now that a server which keeps the time of arrival shows it.
    const QDateTime setTo = QDateTime::fromSecsSinceEpoch(sentAt.toSecsSinceEpoch(), Qt::UTC).addDays(-2);
    const bool timeSet = m_inner->setModified(probe, setTo).ok();
    RemoteEntry probed{name};
    FtpClient::Listing entries = listing(folder, name, &probed);
    if (!entries.outcome)
        dropPart(probe, entries.outcome.failure);
    else
        clock = ServerClock::learn(probed.modified, setTo, timeSet, sentAt);
    return entries;
}

// Lists a folder, removing the parts no put is writing any more; the entry of the probe, which
// goes too, is given back.
FtpClient::Listing AtomicPutClient::listing(const QString &folder, const QString &probe, RemoteEntry *probed)
{
    FtpClient::Listing listed = m_inner->listFolder(folder);
    if (!listed.outcome)
        return listed;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QList<RemoteEntry> &entries = listed.entries;
    for (auto it = entries.begin(); it != entries.end();) {
        if (!isStaleTemporary(*it, now)) {
            ++it;
            continue;
        }
        if (probed && it->name == probe)
            *probed = *it;
        const QString path = joined(folder, it->name);
        const TransferOutcome removed = m_inner->removeFile(path);
        if (removed || removed.failure == FtpClient::Failure::Refused)
            m_parts->gone(path);
        it = entries.erase(it);
    }
    return listed;
}

TransferOutcome AtomicPutClient::putFile(const QString &localPath, const QString &path,
                                         const FtpClient::Progress &progress)
{
    return put(localPath, path, QDateTime(), progress).outcome;
}

AtomicPutClient::TimedPut AtomicPutClient::putFileWithTime(const QString &localPath, const QString &path,
                                                           const QDateTime &time,
                                                           const FtpClient::Progress &progress)
{
    const Put stored = put(localPath, path, time, progress);
    // The time of a file not sent tells nothing of the server.
    if (!stored.outcome)
        return {stored.outcome};
    if (stored.timed)
        return {stored.outcome, stored.timeFailure};
    return {stored.outcome, m_inner->setModified(path, time).failure};
}

AtomicPutClient::Put AtomicPutClient::put(const QString &localPath, const QString &path,
                                          const QDateTime &time, const FtpClient::Progress &progress)
{
    if (m_renameRefused)
        return {m_inner->putFile(localPath, path, progress)};
    const QString temporary = joined(folderOf(path), temporaryName());
    m_parts->writing(temporary);
    FtpClient::PutAsOutcome reached = m_inner->putFileAs(localPath, temporary, path, time, progress);
    if (!reached.offered) {
        reached.outcome = m_inner->putFile(localPath, temporary, progress);
        reached.stored = reached.outcome.ok();
        if (reached.stored) {
            reached.outcome = m_inner->rename(temporary, path);
            reached.renamed = reached.outcome.ok();
        }
    }
    const Put done{reached.outcome, reached.offered, reached.timeFailure};
    if (reached.stored && reached.renamed) {
        m_parts->gone(temporary);
        removeLeftParts();
        return done;
    }
    if (!reached.stored && !reached.renamed) {
        if (reached.outcome.partMayBeLeft)
            dropPart(temporary, reached.outcome.failure);
        else
            m_parts->gone(temporary);
        return done;
    }
    if (reached.renamed) {
        m_parts->gone(temporary);
        // Bytes the server would not confirm are no picture to stand under the name.
        m_inner->removeFile(path);
        return done;
    }
    TransferOutcome failed = reached.outcome;
    if (failed.failure != FtpClient::Failure::Refused) {
        // The bytes reached the server before the connection went.
        if (failed.failure == FtpClient::Failure::Unreachable)
            failed.failure = FtpClient::Failure::ConnectionLost;
        dropPart(temporary, failed.failure);
        return {failed, done.timed, done.timeFailure};
    }
    // Some servers will not rename onto an existing file: the old one goes first.
    if (m_inner->removeFile(path)) {
        const TransferOutcome renamed = m_inner->rename(temporary, path);
        if (renamed) {
            m_parts->gone(temporary);
            removeLeftParts();
            return {renamed, done.timed, done.timeFailure};
        }
    }
    // This server does not rename: files go straight under their names from now on.
    m_inner->removeFile(temporary);
    m_parts->gone(temporary);
    m_renameRefused = true;
    return {m_inner->putFile(localPath, path, progress)};
}

// After Cancel the part goes at once, as far as a moment allows; a server that answers still
// is asked now; one whose connection went is asked after the next put that reaches it, rather
// than waited for again now.
void AtomicPutClient::dropPart(const QString &temporary, FtpClient::Failure failure)
{
    switch (failure) {
    case FtpClient::Failure::Cancelled:
        // A moment may not be enough: the next run makes sure.
        m_inner->tidyRemove(temporary);
        m_parts->leftBehind(temporary);
        break;
    case FtpClient::Failure::Stalled:
    case FtpClient::Failure::ConnectionLost:
    case FtpClient::Failure::Unreachable:
        m_parts->leftBehind(temporary);
        break;
    case FtpClient::Failure::None:
    case FtpClient::Failure::Refused:
    case FtpClient::Failure::LocalFile: {
        const TransferOutcome removed = m_inner->removeFile(temporary);
        if (removed || removed.failure == FtpClient::Failure::Refused)
            m_parts->gone(temporary);
        else
            m_parts->leftBehind(temporary);
        break;
    }
    }
}

// A part the server will not remove is gone already, or not ours to remove; one it cannot be
// asked about now waits for the next time.
void AtomicPutClient::removeLeftParts()
{
    const QStringList parts = m_parts->takeLeftBehind();
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const TransferOutcome removed = m_inner->removeFile(parts.at(i));
        if (removed || removed.failure == FtpClient::Failure::Refused) {
            m_parts->gone(parts.at(i));
            continue;
        }
        for (; i < parts.size(); ++i)
            m_parts->leftBehind(parts.at(i));
    }
}
