#pragma once

#include "Catalog.h"
#include "GalleryOptions.h"
#include "OutputLayout.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

// Which gallery pages a destination tree gets and what each shows, worked out from data alone:
// the images the pages show, in the scan's order, and where their copies go (OutputLayout).
// One page in every folder of the destination tree that holds a shown image or a folder that
// does; none in a folder with no shown image below it. With photo pages on, a page beside
// every shown picture too. What only the files can tell (when each picture was taken, which
// previews the resize wrote) is handed in; GallerySurvey reads it.
//
// A folder is named by its path below the destination root, "/"-separated, "" for the root
// itself ("2008", "2008/June"). Every path a plan gives is below the destination root too.
// The upload side builds the same plan from the same catalogue (see shownEntries) to learn,
// after the resize wrote the pages:
//   folders()        the folders that get a page;
//   pagePath(f)      the page of folder f ("2008/June/index.html");
//   photoPagePath(e) the photo page of picture e ("2008/June/img01.jpg.index.html");
//   stylesheetPath() the one stylesheet beside the top page;
//   files()          all of these and the previews in the order to send them: the stylesheet
//                    and the previews, the photo pages, then the folders' pages, deepest first
//                    and the top page last, so a folder's page never arrives before what it
//                    shows or the pages it leads down to;
//   waves()          the same files in groups that may go at once, each once the group before
//                    it has arrived: the stylesheet with the previews, the photo pages, then
//                    the folders' pages of each depth, deepest first.
class GalleryPlan
{
public:
    // The stylesheet's name, beside the top page.
    static const QString StylesheetName;

    // entries: the images the pages show, full source paths in the scan's order. Pictures go
    // in the order the options choose, by name until orderByTime gives the times.
    GalleryPlan(const OutputLayout &layout, const GalleryOptions &options, const QStringList &entries);

    // In Taken order, each folder's pictures by these times (the earliest first), a picture
    // without one after those with one, and equal times by name. Other orders ignore them.
    void orderByTime(const QHash<QString, QDateTime> &taken);
    // The entries whose previews the resize wrote, which pages show and the upload sends.
    void setPreviewed(const QSet<QString> &entries) { m_previewed = entries; }
    bool previewed(const QString &entry) const { return m_previewed.contains(entry); }

    // The entries of the catalogue after a finished resize that the pages show: those not
    // ticked (a tick after a resize means "too large, do not upload") whose copy is in the
    // destination tree.
    static QStringList shownEntries(const Catalog &catalog, const OutputLayout &layout);

    const OutputLayout &layout() const { return m_layout; }
    const QString &pageName() const { return m_options.pageName; }
    const GalleryOptions &options() const { return m_options; }

    // Every folder that gets a page: the top first, then each folder before the folders in it,
    // sub-folders in the order their page lists them.
    const QStringList &folders() const { return m_order; }
    bool hasPage(const QString &folder) const { return m_folders.contains(folder); }
    QString pagePath(const QString &folder) const;
    QString stylesheetPath() const { return StylesheetName; }
    // Where an entry's copy, its photo page and its previews are (narrow first).
    QString picturePath(const QString &entry) const { return m_layout.relative(entry); }
    QString photoPagePath(const QString &entry) const;
    QStringList previewPaths(const QString &entry) const;
    QStringList files() const;
    QList<QStringList> waves() const;

    // What the page of a folder lists: its sub-folders that get a page, by name (in natural
    // order, or case not counting first in Scan order), and its own images in the plan's order.
    QStringList subfolders(const QString &folder) const;
    QStringList images(const QString &folder) const;
    // The images in a folder and every folder below it.
    int imageCount(const QString &folder) const;
    // The image that stands for a folder on its parent's page: its first own image, else its
    // first sub-folder's cover.
    QString cover(const QString &folder) const;

    // The last name of a folder, and how many folders down from the top it is.
    static QString folderName(const QString &folder);
    static int depth(const QString &folder);

private:
    struct Folder
    {
        QStringList subfolders;
        QStringList images;
        int count = 0;
    };
    void order(const QString &folder);
    // The stylesheet and the previews; the photo pages.
    QStringList firstWave() const;
    QStringList photoPages() const;

    OutputLayout m_layout;
    GalleryOptions m_options;
    QHash<QString, Folder> m_folders;
    QStringList m_order;
    QSet<QString> m_previewed;
};
