#pragma once

#include "Catalog.h"
#include "OutputLayout.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

// Which gallery pages a destination tree gets and what each shows, worked out from data alone:
// the images the pages show, in the scan's order, and where their copies go (OutputLayout).
// One page in every folder of the destination tree that holds a shown image or a folder that
// does; none in a folder with no shown image below it.
//
// A folder is named by its path below the destination root, "/"-separated, "" for the root
// itself ("2008", "2008/June"). Every path a plan gives is below the destination root too.
// The upload side builds the same plan from the same catalogue (see shownEntries) to learn,
// after the resize wrote the pages:
//   folders()        the folders that get a page;
//   pagePath(f)      the page of folder f ("2008/June/index.html");
//   stylesheetPath() the one stylesheet beside the top page;
//   files()          all of these in the order to send them: the stylesheet, then the pages,
//                    deepest first and the top page last, so no page arrives before a page or
//                    the stylesheet it links to;
//   waves()          the same files in groups that may go at once, each once the group before
//                    it has arrived: the stylesheet, then the pages of each depth, deepest first.
class GalleryPlan
{
public:
    // The stylesheet's name, beside the top page.
    static const QString StylesheetName;

    // entries: the images the pages show, full source paths in the scan's order.
    GalleryPlan(const OutputLayout &layout, const QString &pageName, const QStringList &entries);

    // The entries of the catalogue after a finished resize that the pages show: those not
    // ticked (a tick after a resize means "too large, do not upload") whose copy is in the
    // destination tree.
    static QStringList shownEntries(const Catalog &catalog, const OutputLayout &layout);

    const OutputLayout &layout() const { return m_layout; }
    const QString &pageName() const { return m_pageName; }

    // Every folder that gets a page: the top first, then each folder before the folders in it,
    // sub-folders in the order their page lists them.
    const QStringList &folders() const { return m_order; }
    bool hasPage(const QString &folder) const { return m_folders.contains(folder); }
    QString pagePath(const QString &folder) const;
    QString stylesheetPath() const { return StylesheetName; }
    QStringList files() const;
    QList<QStringList> waves() const;

    // What the page of a folder lists: its sub-folders that get a page, by name (case does not
    // count first), and its own images in the scan's order.
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
        QString cover;
    };
    void order(const QString &folder);

    OutputLayout m_layout;
    QString m_pageName;
    QHash<QString, Folder> m_folders;
    QStringList m_order;
};
