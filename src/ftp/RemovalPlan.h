#pragma once

#include "Catalog.h"
#include "OutputLayout.h"
#include "RemoteEntry.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

// Which remote files an upload may offer to remove: in the folders the upload mirrors, the
// images (and their thumbnails) that no image of the scan maps to any more, and, with gallery
// pages on, the page of a folder that no longer gets one. Only image names and that page name
// are ever offered; folders, other files and other folders are never touched.
class RemovalPlan
{
public:
    // Every image of the catalogue is kept, ticked or not; its folders are looked in.
    RemovalPlan(const OutputLayout &layout, const Catalog &catalog);

    // A file of exactly this name is offered in the folders that are not among these.
    void removePagesOutside(const QString &pageName, const QStringList &pageFolders);

    // The folders to look in, below the FTP root: "" for the root itself, then each folder of
    // the scan ("2008/June").
    const QStringList &folders() const { return m_folders; }
    // The names in one of those folders, as a listing showed them, that are to be offered; sorted.
    QStringList candidates(const QString &folder, const QList<RemoteEntry> &listing) const;

private:
    QStringList m_folders;
    QHash<QString, QSet<QString>> m_kept;
    QString m_pageName;
    QSet<QString> m_pageFolders;
};
