#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>

class ScanHost;

// The depth-first walk below an image root: every image file goes to the host as it is met,
// every sub-folder after its own subtree. Symbolic links to folders are not walked, so a link
// to an ancestor cannot make the walk loop.
class FolderScan
{
public:
    // The names of a folder's entries; those that are no valid text go to unreadable.
    using Lister = std::function<QStringList(const QString &folder, QStringList *unreadable)>;

    // The image limit every scan uses.
    static constexpr int32_t DefaultFileLimit = 32768;

    // owner names the window in error reports.
    FolderScan(ScanHost &host, const QString &owner, int32_t fileLimit = DefaultFileLimit);

    // Replaces the folder listing (tests inject failures); the default reads the disk.
    void setLister(Lister lister);

    // 1 to 5 for a path whose upper-cased form ends in .JPG, .JPEG, .BMP, .GIF or .PNG, else 0.
    static int Chk_Extension(const QString &path);
    // The root text with exactly one trailing separator added when it has none.
    static QString scanRoot(const QString &rootText);

    // Walks the tree below rootText, then yields once more. An error ends the walk; it is
    // reported as "GetFileList" and what was found so far stays with the host.
    void GetFileList(const QString &rootText);

    double imagesFound() const { return m_imagesFound; }
    double filesScanned() const { return m_filesScanned; }
    // Files passed over because their names cannot be read, counted among those scanned, and
    // the first few of them as paths with the unreadable bytes written out.
    int unreadableNames() const { return m_unreadableCount; }
    const QStringList &firstUnreadable() const { return m_firstUnreadable; }
    // The walk met no error. Whether it was stopped by Cancel or the limit is the host's to know.
    bool walkedWhole() const { return m_walkedWhole; }

private:
    void ScanFolder(const QString &folder);
    QStringList FolderItems(const QString &folder, QStringList &unreadable);

    ScanHost &m_host;
    QString m_owner;
    int32_t m_fileLimit;
    Lister m_lister;
    double m_imagesFound = 0;
    double m_filesScanned = 0;
    int m_unreadableCount = 0;
    QStringList m_firstUnreadable;
    bool m_walkedWhole = false;
};
