#include "GalleryPlan.h"

#include "FileSystem.h"

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

const QString GalleryPlan::StylesheetName = u"pexa-gallery.css"_s;

GalleryPlan::GalleryPlan(const OutputLayout &layout, const QString &pageName, const QStringList &entries)
    : m_layout(layout), m_pageName(pageName)
{
    for (const QString &entry : entries) {
        QString folder = m_layout.relativeFolder(entry);
        m_folders[folder].images.append(entry);
        // Every folder on the way up counts the image; a folder seen for the first time joins
        // its parent's list.
        for (;;) {
            ++m_folders[folder].count;
            if (folder.isEmpty())
                break;
            const QString parent = OutputLayout::folderOf(folder);
            if (m_folders[folder].count == 1)
                m_folders[parent].subfolders.append(folder);
            folder = parent;
        }
    }
    for (Folder &folder : m_folders) {
        std::sort(folder.subfolders.begin(), folder.subfolders.end(), [](const QString &a, const QString &b) {
            const int caseless = QString::compare(folderName(a), folderName(b), Qt::CaseInsensitive);
            return caseless != 0 ? caseless < 0 : folderName(a) < folderName(b);
        });
    }
    if (!m_folders.isEmpty())
        order(QString());
}

void GalleryPlan::order(const QString &folder)
{
    m_order.append(folder);
    const QStringList subfolders = m_folders.value(folder).subfolders;
    for (const QString &subfolder : subfolders)
        order(subfolder);
    Folder &self = m_folders[folder];
    self.cover =
        !self.images.isEmpty() ? self.images.first() : m_folders.value(self.subfolders.first()).cover;
}

QStringList GalleryPlan::shownEntries(const Catalog &catalog, const OutputLayout &layout)
{
    QStringList shown;
    for (const CatalogEntry &entry : catalog.entries()) {
        if (!entry.ticked && FileSystem::FileExists(layout.copyPath(entry.path)))
            shown.append(entry.path);
    }
    return shown;
}

QString GalleryPlan::pagePath(const QString &folder) const
{
    return folder.isEmpty() ? m_pageName : folder + u'/' + m_pageName;
}

QStringList GalleryPlan::files() const
{
    if (m_order.isEmpty())
        return {};
    QStringList files{stylesheetPath()};
    for (auto folder = m_order.crbegin(); folder != m_order.crend(); ++folder)
        files.append(pagePath(*folder));
    return files;
}

QList<QStringList> GalleryPlan::waves() const
{
    if (m_order.isEmpty())
        return {};
    int deepest = 0;
    for (const QString &folder : m_order)
        deepest = std::max(deepest, depth(folder));
    QList<QStringList> waves(deepest + 2);
    waves.first().append(stylesheetPath());
    for (const QString &folder : m_order)
        waves[deepest - depth(folder) + 1].append(pagePath(folder));
    return waves;
}

QStringList GalleryPlan::subfolders(const QString &folder) const
{
    return m_folders.value(folder).subfolders;
}

QStringList GalleryPlan::images(const QString &folder) const
{
    return m_folders.value(folder).images;
}

int GalleryPlan::imageCount(const QString &folder) const
{
    return m_folders.value(folder).count;
}

QString GalleryPlan::cover(const QString &folder) const
{
    return m_folders.value(folder).cover;
}

QString GalleryPlan::folderName(const QString &folder)
{
    return OutputLayout::fileName(folder);
}

int GalleryPlan::depth(const QString &folder)
{
    return folder.isEmpty() ? 0 : int(folder.count(u'/')) + 1;
}
