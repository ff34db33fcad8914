#include "FolderScan.h"

#include "ErrorGuard.h"
#include "FileSystem.h"
#include "ScanHost.h"

#include <array>

using namespace Qt::Literals::StringLiterals;

namespace {

const std::array<QString, 5> ImageExtensions = {u".JPG"_s, u".JPEG"_s, u".BMP"_s, u".GIF"_s, u".PNG"_s};

// Upper-casing never turns one character into none, so the last characters of an upper-cased
// path come from the path's own last characters; a short tail is all that needs converting.
constexpr qsizetype TailLength = 10;

constexpr qsizetype MaxUnreadableShown = 3;

} // namespace

FolderScan::FolderScan(ScanHost &host, const QString &owner, int32_t fileLimit)
    : m_host(host), m_owner(owner), m_fileLimit(fileLimit),
      m_lister([](const QString &folder, QStringList *unreadable) {
          return FileSystem::ListFolder(folder, unreadable);
      })
{}

void FolderScan::setLister(Lister lister)
{
    m_lister = std::move(lister);
}

int FolderScan::Chk_Extension(const QString &path)
{
    const QString tail = path.right(TailLength).toUpper();
    for (std::size_t k = 0; k < ImageExtensions.size(); ++k) {
        if (tail.endsWith(ImageExtensions[k]))
            return static_cast<int>(k) + 1;
    }
    return 0;
}

QString FolderScan::scanRoot(const QString &rootText)
{
    return rootText.endsWith(u'/') ? rootText : rootText + u'/';
}

void FolderScan::GetFileList(const QString &rootText)
{
    m_walkedWhole = guarded(m_owner, u"GetFileList"_s, [&] {
        ScanFolder(scanRoot(rootText));
        m_host.yieldCancelled();
    });
}

QStringList FolderScan::FolderItems(const QString &folder, QStringList &unreadable)
{
    try {
        return m_lister(folder, &unreadable);
    } catch (const RunTimeError &error) {
        // A root that does not exist, or a folder that vanished since it was listed, is empty.
        if (!FileSystem::FolderExists(folder))
            return {};
        ReportError(m_owner, u"FolderItems"_s, error);
        throw;
    }
}

void FolderScan::ScanFolder(const QString &folder)
{
    QStringList unreadable;
    const QStringList names = FolderItems(folder, unreadable);
    // Nothing can open a file whose name cannot be given, but it is counted and told.
    for (const QString &name : std::as_const(unreadable)) {
        if (m_host.yieldCancelled())
            return;
        m_filesScanned += 1;
        if (m_firstUnreadable.size() < MaxUnreadableShown)
            m_firstUnreadable.append(folder + name);
        ++m_unreadableCount;
        m_host.showProgress(m_imagesFound, m_filesScanned);
    }
    for (const QString &name : names) {
        if (m_host.yieldCancelled())
            return;
        const QString path = folder + name;
        switch (FileSystem::entryType(path)) {
        case FileSystem::EntryType::Missing:
            continue;
        case FileSystem::EntryType::FolderLink:
            // Neither walked nor listed: a link to an ancestor would never let the walk end.
            continue;
        case FileSystem::EntryType::Folder:
            if (m_host.yieldCancelled())
                return;
            ScanFolder(path + u'/');
            m_host.addFolder(path);
            continue;
        case FileSystem::EntryType::FileLink:
            // The walk's own look at the entry did not reach the file: one that cannot be read
            // is told here.
            m_host.fileSize(path);
            break;
        case FileSystem::EntryType::File:
            break;
        }

        m_filesScanned += 1;
        if (Chk_Extension(path) != 0) {
            if (m_host.yieldCancelled())
                return;
            // The image past the limit is counted as found but not listed; it stops the scan.
            m_imagesFound += 1;
            if (m_imagesFound >= m_fileLimit + 1.0)
                m_host.requestCancel();
            else
                m_host.addImage(path);
        }
        m_host.showProgress(m_imagesFound, m_filesScanned);
        if (m_host.yieldCancelled())
            return;
    }
}
