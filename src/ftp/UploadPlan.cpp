#include "UploadPlan.h"

#include "Catalog.h"
#include "RemoteListing.h"

#include <QHash>

using namespace Qt::Literals::StringLiterals;

UploadPlan::UploadPlan(const Catalog &catalog, const OutputLayout &layout, const Options &options)
{
    QString current;
    int folderStep = -1;
    // The scan lists a folder's sub-folders among its images, so a folder may come back after
    // them: it is listed once, by its first step.
    QHash<QString, int> listingSteps;
    for (qsizetype i = 0; i < catalog.size(); ++i) {
        const CatalogEntry &entry = catalog.entry(i);
        if (entry.ticked)
            continue;
        ++m_filesToSend;
        const QString folder = OutputLayout::folderOf(layout.relative(entry.path));
        const QString label = spelledBelowRoot(folder, options.imageRoot);
        if (label != current || (folderStep < 0 && options.onlyChanged)) {
            FolderStep step;
            step.folder = folder;
            step.label = label;
            step.enter = label != current;
            step.list = options.onlyChanged && !listingSteps.contains(folder);
            if (step.list)
                listingSteps.insert(folder, static_cast<int>(m_steps.size()));
            current = label;
            folderStep = static_cast<int>(m_steps.size());
            add(step, step.enter ? QStringList{u" - Working on "_s + label} : QStringList());
        }
        EntryStep step;
        step.entry = i;
        step.folder = folder;
        step.folderStep = folderStep;
        step.listingStep = listingSteps.value(folder, -1);
        step.image = {UploadFile::Role::Image, layout.copyPath(entry.path), QString()};
        step.image.remote = joined(folder, OutputLayout::fileName(step.image.local));
        const QString thumbnail = layout.thumbnailPath(entry.path);
        if (!thumbnail.isEmpty())
            step.thumbnail = {UploadFile::Role::Thumbnail, thumbnail,
                              joined(folder, OutputLayout::fileName(thumbnail))};
        add(step);
    }
    // A folder that holds only folders has a page but no entry to list it by; it is listed too,
    // or its page and the stylesheet beside it would go again every time.
    if (options.onlyChanged) {
        for (const QStringList &wave : options.pageWaves) {
            for (const QString &file : wave) {
                const QString folder = OutputLayout::folderOf(file);
                if (listingSteps.contains(folder))
                    continue;
                FolderStep step;
                step.folder = folder;
                step.label = spelledBelowRoot(folder, options.imageRoot);
                step.enter = false;
                step.list = true;
                listingSteps.insert(folder, static_cast<int>(m_steps.size()));
                add(step);
            }
        }
    }
    // The pages come last, so that no page shows a picture that is not there yet.
    bool firstPage = true;
    for (int wave = 0; wave < options.pageWaves.size(); ++wave) {
        for (const QString &file : options.pageWaves.at(wave)) {
            PageStep step;
            step.folder = OutputLayout::folderOf(file);
            step.wave = wave;
            step.page = {UploadFile::Role::Page, joined(layout.destinationRoot(), file), file};
            add(step, firstPage ? QStringList{u" - Working on gallery pages"_s} : QStringList());
            firstPage = false;
            ++m_filesToSend;
        }
    }
}

bool UploadPlan::sends(const QString &remoteName, const LocalFile &local, const RemoteListing *listing,
                       qint64 clockOffset)
{
    if (!listing || !listing->tellsSizesAndTimes())
        return true;
    return !listing->holds(remoteName, local.size, local.modified.addSecs(clockOffset));
}

QString UploadPlan::spelledBelowRoot(const QString &folder, const QString &imageRoot)
{
    return folder.isEmpty() || imageRoot.endsWith(u'/') ? folder : u'/' + folder;
}

QString UploadPlan::folderLabel(const QString &folder)
{
    return folder.isEmpty() ? u"Root Folder"_s : u'/' + folder;
}

QString UploadPlan::joined(const QString &path, const QString &piece)
{
    if (piece.isEmpty())
        return path;
    return path.isEmpty() ? piece : path + u'/' + piece;
}

void UploadPlan::add(const UploadStep &step, const QStringList &linesBefore)
{
    m_steps.append(step);
    m_linesBefore.append(linesBefore);
}
