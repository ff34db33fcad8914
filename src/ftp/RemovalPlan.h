#pragma once

#include "OutputLayout.h"
#include "RemoteEntry.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

class Catalog;

// Which remote files an upload may offer to remove: in the folders the upload mirrors, the
// images (and their thumbnails and previews) that no image of the scan maps to any more, and,
// with gallery pages on, the page of a folder that no longer gets one and the photo page of a
// picture no longer there. Only image names and names made from that page name are ever
// offered; folders, other files and other folders are never touched.
class RemovalPlan
{
public:
    // Every image of the scan counts, ticked or not.
    RemovalPlan(const OutputLayout &layout, const Catalog &catalog);

    // A file of exactly this name is offered in the folders that are not among these, and a
    // photo page for it wherever its picture is gone.
    void removePagesOutside(const QString &pageName, const QStringList &pageFolders);

    // The folders to look in, below the FTP root: "" for the root itself, then each folder of
    // the scan ("2008/June").
    const QStringList &folders() const { return m_folders; }
    // The names in one of those folders, as a listing showed them, that are to be offered; sorted.
    QStringList candidates(const QString &folder, const QList<RemoteEntry> &listing) const;

private:
    QStringList m_folders;
    // By folder: the pictures of the scan, and those with their thumbnails and previews.
    QHash<QString, QSet<QString>> m_pictures;
    QHash<QString, QSet<QString>> m_kept;
    QString m_pageName;
    QSet<QString> m_pageFolders;
};
