#include "UploadRemovals.h"

#include "AtomicPutClient.h"
#include "Catalog.h"
#include "RemoteFolders.h"
#include "RemovalPlan.h"
#include "RunState.h"
#include "UploadConnections.h"
#include "UploadHost.h"
#include "UploadPlan.h"

using namespace Qt::Literals::StringLiterals;

namespace {

// How many paths the question names before it counts the rest.
constexpr int RemovalsNamed = 10;

} // namespace

UploadRemovals::UploadRemovals(UploadConnections &connections, RemoteFolders &folders, UploadHost &host,
                               RunState &run, Line line)
    : m_connections(connections), m_folders(folders), m_host(host), m_run(run), m_line(std::move(line))
{}

void UploadRemovals::offer(const Catalog &catalog, const OutputLayout &layout, const QString &pageName,
                           const QStringList &pageFolders)
{
    if (!catalog.wholeTree()) {
        m_line(u" - The last scan did not cover the whole image root, so nothing was removed."_s);
        return;
    }
    RemovalPlan plan(layout, catalog);
    if (!pageName.isEmpty())
        plan.removePagesOutside(pageName, pageFolders);
    QStringList doomed;
    for (const QString &folder : plan.folders()) {
        if (m_connections.yieldCancelled())
            return;
        const std::optional<RemoteListing> remote = m_folders.listing(folder);
        if (!remote) {
            if (!m_run.cancelRequested())
                m_line(u" - "_s + UploadPlan::folderLabel(folder) +
                       u" could not be listed; nothing was removed there."_s);
            continue;
        }
        for (const QString &name : plan.candidates(folder, remote->entries()))
            doomed.append(UploadPlan::joined(folder, name));
    }
    if (doomed.isEmpty())
        return;
    const QString count = doomed.size() == 1 ? u"1 file"_s : u"%1 files"_s.arg(doomed.size());
    QString question = u"Remove %1 from the server?\n"_s.arg(count);
    for (int i = 0; i < doomed.size() && i < RemovalsNamed; ++i)
        question += u"\n/"_s + doomed.at(i);
    if (doomed.size() > RemovalsNamed)
        question += u"\n…and %1 more"_s.arg(doomed.size() - RemovalsNamed);
    if (!m_host.askYesNo(question, u"Remove Files"_s, MessageBoxService::Icon::Question, true))
        return;
    for (const QString &path : std::as_const(doomed)) {
        if (m_connections.yieldCancelled())
            return;
        const QString target = m_folders.remotePath(path);
        if (m_connections.call([&](AtomicPutClient &client) { return client.inner().removeFile(target); })) {
            m_removed.append(path);
            m_line(u"Removed /"_s + path);
        } else if (!m_run.cancelRequested()) {
            m_failed.append(path);
            m_line(u"ERROR: Failed to remove /"_s + path);
        }
    }
}
