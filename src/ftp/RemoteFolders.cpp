#include "RemoteFolders.h"

#include "AtomicPutClient.h"
#include "RunState.h"
#include "UploadConnections.h"
#include "UploadPlan.h"

using namespace Qt::Literals::StringLiterals;

RemoteFolders::RemoteFolders(UploadConnections &connections, RunState &run, Line line)
    : m_connections(connections), m_run(run), m_line(std::move(line))
{}

bool RemoteFolders::locateRoot(const QString &root)
{
    bool located = true;
    m_rootPath.clear();
    for (const QString &piece : root.split(u'/')) {
        if (piece.isEmpty())
            continue;
        const QString below = UploadPlan::joined(m_rootPath, piece);
        if (m_connections.call([&](AtomicPutClient &client) { return client.inner().folderExists(below); }))
            m_rootPath = below;
        else
            located = false;
    }
    return located;
}

bool RemoteFolders::makeFolders(const QStringList &folders, const QStringList &labels, const Refusal &refused)
{
    for (qsizetype i = 0; i < folders.size(); ++i) {
        if (m_connections.yieldCancelled())
            return false;
        bool failed = false;
        QString reached = m_rootPath;
        for (const QString &piece : folders.at(i).split(u'/')) {
            if (m_connections.yieldCancelled())
                break;
            if (piece.isEmpty())
                continue;
            const QString below = UploadPlan::joined(reached, piece);
            if (m_connections.call(
                    [&](AtomicPutClient &client) { return client.inner().folderExists(below); })) {
                reached = below;
                continue;
            }
            if (m_run.cancelRequested())
                break;
            if (m_connections.call(
                    [&](AtomicPutClient &client) { return client.inner().makeFolder(below); })) {
                if (m_connections.call(
                        [&](AtomicPutClient &client) { return client.inner().folderExists(below); })) {
                    reached = below;
                } else if (!m_run.cancelRequested()) {
                    m_line(u"ERROR: "_s + piece + u" cannot be found!!"_s);
                    failed = true;
                }
            } else if (!m_run.cancelRequested()) {
                m_line(u"ERROR: "_s + piece + u" cannot be created!!"_s);
                failed = true;
            }
        }
        if (m_connections.yieldCancelled())
            return false;
        if (failed) {
            m_line(u"ERROR: Cannot find/create "_s + labels.at(i));
            refused();
            m_run.setCancelRequested(true);
            return false;
        }
    }
    return true;
}

QString RemoteFolders::remotePath(const QString &folder) const
{
    return UploadPlan::joined(m_rootPath, folder);
}

std::optional<RemoteListing> RemoteFolders::listing(const QString &folder)
{
    // Each folder is listed once in a run, whatever that gave.
    if (const auto found = m_listings.constFind(folder); found != m_listings.constEnd())
        return *found;
    const QString path = remotePath(folder);
    std::optional<QList<RemoteEntry>> entries;
    m_connections.call([&](AtomicPutClient &client) {
        const FtpClient::Listing listed = client.listFolder(path);
        if (listed.outcome)
            entries = listed.entries;
        return listed.outcome;
    });
    std::optional<RemoteListing> remote;
    if (entries)
        remote = RemoteListing(*entries);
    m_listings.insert(folder, remote);
    return remote;
}

void RemoteFolders::keep(const QString &folder, const std::optional<RemoteListing> &listing)
{
    m_listings.insert(folder, listing);
}

const RemoteListing *RemoteFolders::kept(const QString &folder) const
{
    const auto found = m_listings.constFind(folder);
    return found == m_listings.constEnd() || !*found ? nullptr : &**found;
}
