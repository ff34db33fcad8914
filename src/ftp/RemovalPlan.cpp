#include "RemovalPlan.h"

RemovalPlan::RemovalPlan(const OutputLayout &layout, const QStringList &entries, const QStringList &folders)
{
    m_folders.append(QString());
    for (const QString &folder : folders) {
        const QString relative = layout.relative(folder);
        if (!relative.isEmpty() && !m_folders.contains(relative))
            m_folders.append(relative);
    }
    for (const QString &entry : entries) {
        const QString relative = layout.relative(entry);
        const QString name = OutputLayout::fileName(relative);
        QSet<QString> &kept = m_kept[OutputLayout::folderOf(relative)];
        kept.insert(name);
        // A thumbnail of an image still there stays, whether thumbnails are on now or not.
        if (!layout.thumbnailPrefix().isEmpty())
            kept.insert(layout.thumbnailName(name));
    }
}

QStringList RemovalPlan::candidates(const QString &folder, const QList<RemoteEntry> &listing) const
{
    QStringList names;
    if (!m_folders.contains(folder))
        return names;
    const QSet<QString> kept = m_kept.value(folder);
    for (const RemoteEntry &entry : listing) {
        if (!entry.folder && entry.kindKnown && OutputLayout::isImageName(entry.name) &&
            !kept.contains(entry.name))
            names.append(entry.name);
    }
    names.sort();
    return names;
}
