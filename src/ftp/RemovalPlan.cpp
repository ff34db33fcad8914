#include "RemovalPlan.h"

#include "Catalog.h"

RemovalPlan::RemovalPlan(const OutputLayout &layout, const Catalog &catalog)
{
    m_folders.append(QString());
    for (const QString &folder : catalog.folders()) {
        const QString relative = layout.relative(folder);
        if (!relative.isEmpty() && !m_folders.contains(relative))
            m_folders.append(relative);
    }
    for (const CatalogEntry &entry : catalog.entries()) {
        const QString relative = layout.relative(entry.path);
        const QString name = OutputLayout::fileName(relative);
        const QString folder = OutputLayout::folderOf(relative);
        m_pictures[folder].insert(name);
        QSet<QString> &kept = m_kept[folder];
        kept.insert(name);
        // A thumbnail or preview of an image still there stays, whether thumbnails or pages are
        // on now or not: turning them off is no reason to empty the server.
        if (!layout.thumbnailPrefix().isEmpty())
            kept.insert(layout.thumbnailName(name));
        for (const int width : OutputLayout::PreviewWidths)
            kept.insert(OutputLayout::previewName(name, width));
    }
}

void RemovalPlan::removePagesOutside(const QString &pageName, const QStringList &pageFolders)
{
    m_pageName = pageName;
    m_pageFolders = QSet<QString>(pageFolders.cbegin(), pageFolders.cend());
}

QStringList RemovalPlan::candidates(const QString &folder, const QList<RemoteEntry> &listing) const
{
    QStringList names;
    if (!m_folders.contains(folder))
        return names;
    const QSet<QString> kept = m_kept.value(folder);
    const QSet<QString> pictures = m_pictures.value(folder);
    const bool pageGone = !m_pageName.isEmpty() && !m_pageFolders.contains(folder);
    for (const RemoteEntry &entry : listing) {
        if (entry.folder || !entry.kindKnown)
            continue;
        const QString photoPicture =
            m_pageName.isEmpty() ? QString() : OutputLayout::photoPagePicture(entry.name, m_pageName);
        if ((OutputLayout::isImageName(entry.name) && !kept.contains(entry.name)) ||
            (pageGone && entry.name == m_pageName) ||
            (!photoPicture.isEmpty() && !pictures.contains(photoPicture)))
            names.append(entry.name);
    }
    names.sort();
    return names;
}
