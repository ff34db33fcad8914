#include "GalleryPlan.h"

#include "FileSystem.h"
#include "NaturalOrder.h"

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

const QString GalleryPlan::StylesheetName = u"pexa-gallery.css"_s;

GalleryPlan::GalleryPlan(const OutputLayout &layout, const GalleryOptions &options,
                         const QStringList &entries)
    : m_layout(layout), m_options(options)
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
    const bool scan = m_options.order == GalleryOptions::Order::Scan;
    for (Folder &folder : m_folders) {
        std::sort(
            folder.subfolders.begin(), folder.subfolders.end(), [scan](const QString &a, const QString &b) {
                if (!scan)
                    return NaturalOrder::lessThan(folderName(a), folderName(b));
                const int caseless = QString::compare(folderName(a), folderName(b), Qt::CaseInsensitive);
                return caseless != 0 ? caseless < 0 : folderName(a) < folderName(b);
            });
        if (!scan) {
            std::sort(folder.images.begin(), folder.images.end(), [](const QString &a, const QString &b) {
                return NaturalOrder::lessThan(OutputLayout::fileName(a), OutputLayout::fileName(b));
            });
        }
    }
    if (!m_folders.isEmpty())
        order(QString());
}

void GalleryPlan::orderByTime(const QHash<QString, QDateTime> &taken)
{
    if (m_options.order != GalleryOptions::Order::Taken)
        return;
    for (Folder &folder : m_folders) {
        // Already by name, so a stable sort leaves equal times by name.
        std::stable_sort(folder.images.begin(), folder.images.end(),
                         [&taken](const QString &a, const QString &b) {
                             const QDateTime x = taken.value(a), y = taken.value(b);
                             if (x.isValid() != y.isValid())
                                 return x.isValid();
                             return x < y;
                         });
    }
}

void GalleryPlan::order(const QString &folder)
{
    m_order.append(folder);
    const QStringList subfolders = m_folders.value(folder).subfolders;
    for (const QString &subfolder : subfolders)
        order(subfolder);
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
    return folder.isEmpty() ? m_options.pageName : folder + u'/' + m_options.pageName;
}

QString GalleryPlan::photoPagePath(const QString &entry) const
{
    const QString folder = m_layout.relativeFolder(entry);
    const QString name = OutputLayout::photoPageName(OutputLayout::fileName(entry), m_options.pageName);
    return folder.isEmpty() ? name : folder + u'/' + name;
}

QStringList GalleryPlan::previewPaths(const QString &entry) const
{
    const QString folder = m_layout.relativeFolder(entry);
    QStringList paths;
    for (const int width : OutputLayout::PreviewWidths) {
        const QString name = OutputLayout::previewName(OutputLayout::fileName(entry), width);
        paths.append(folder.isEmpty() ? name : folder + u'/' + name);
    }
    return paths;
}

QStringList GalleryPlan::firstWave() const
{
    QStringList files{stylesheetPath()};
    for (const QString &folder : m_order) {
        for (const QString &entry : m_folders.value(folder).images) {
            if (previewed(entry))
                files += previewPaths(entry);
        }
    }
    return files;
}

QStringList GalleryPlan::photoPages() const
{
    QStringList pages;
    if (!m_options.photoPages)
        return pages;
    for (const QString &folder : m_order) {
        for (const QString &entry : m_folders.value(folder).images)
            pages.append(photoPagePath(entry));
    }
    return pages;
}

QStringList GalleryPlan::files() const
{
    if (m_order.isEmpty())
        return {};
    QStringList files = firstWave() + photoPages();
    for (auto folder = m_order.crbegin(); folder != m_order.crend(); ++folder)
        files.append(pagePath(*folder));
    return files;
}

QList<QStringList> GalleryPlan::waves() const
{
    if (m_order.isEmpty())
        return {};
    QList<QStringList> waves{firstWave()};
    if (const QStringList pages = photoPages(); !pages.isEmpty())
        waves.append(pages);
    int deepest = 0;
    for (const QString &folder : m_order)
        deepest = std::max(deepest, depth(folder));
    const qsizetype albums = waves.size();
    waves.resize(albums + deepest + 1);
    for (const QString &folder : m_order)
        waves[albums + deepest - depth(folder)].append(pagePath(folder));
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
    const Folder found = m_folders.value(folder);
    if (!found.images.isEmpty())
        return found.images.first();
    return found.subfolders.isEmpty() ? QString() : cover(found.subfolders.first());
}

QString GalleryPlan::folderName(const QString &folder)
{
    return OutputLayout::fileName(folder);
}

int GalleryPlan::depth(const QString &folder)
{
    return folder.isEmpty() ? 0 : int(folder.count(u'/')) + 1;
}
