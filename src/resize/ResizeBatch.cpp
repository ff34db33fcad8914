#include "ResizeBatch.h"

#include "ErrorGuard.h"
#include "ExifBlock.h"
#include "FileSystem.h"
#include "ImageHeader.h"
#include "MakePath.h"
#include "NumberText.h"
#include "OutputLayout.h"
#include "ResizeBatchHost.h"
#include "ResizeRule.h"
#include "RunState.h"
#include "WebCopyEditor.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <limits>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString Owner = u"frmMain"_s;

// The folder a path names once links and "." or ".." are resolved; a folder that does not
// exist yet is compared by its cleaned absolute path.
QString realFolder(const QString &path)
{
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

} // namespace

ResizeBatch::ResizeBatch(const ResizeInputs &inputs, const Catalog &catalog, RunState &run,
                         ResizeBatchHost &host, ImageProcessor &processor)
    : m_inputs(inputs), m_catalog(catalog),
      m_layout(inputs.imageRoot, inputs.destinationRoot, inputs.thumbnailSize, inputs.thumbnailPrefix),
      m_run(run), m_host(host), m_processor(processor), m_capacity(processor.capacity()),
      m_preparedMemory(catalog.size(), 0)
{}

std::optional<QString> ResizeBatch::refusal(const QString &imageRoot, const QString &destinationRoot)
{
    // Every output would be written over its own source photo.
    const QString destination = realFolder(destinationRoot);
    const QString root = realFolder(imageRoot);
    if (destination == root)
        return u"Destination must differ from the image root!!"_s;
    // Outputs would land in the tree the next scan walks, or on photos of a sub-folder.
    if (destination.startsWith(root.endsWith(u'/') ? root : root + u'/'))
        return u"Destination must be outside the image root!!"_s;
    return std::nullopt;
}

ResizeBatch::Outcome ResizeBatch::run()
{
    bool processorMissing = false;
    const bool ranThrough = guarded(Owner, u"cmdResize_Click"_s, [&] {
        try {
            for (int index = 0; index < m_catalog.size(); ++index) {
                if (!processEntry(index))
                    break;
            }
        } catch (const RunTimeError &error) {
            if (error.number() != RunTimeError::CannotCreateComponent)
                throw;
            processorMissing = true;
        }
    });
    m_processor.discardPrepared();
    if (processorMissing)
        return Outcome::ProcessorMissing;
    return ranThrough ? Outcome::Finished : Outcome::Failed;
}

ResizeBatch::EntryPlan ResizeBatch::plan(int index) const
{
    EntryPlan plan = planOutputs(index);
    if (!m_inputs.galleryPreviews || plan.headerError || plan.optionError)
        return plan;
    // A kept copy gets only the previews it lacks, made from itself; otherwise they are made
    // in the same decode as the copy, and never larger than it.
    const bool kept = plan.action == EntryPlan::Action::Skip;
    const WebCopyOptions web =
        m_web.forPreview(plan.action == EntryPlan::Action::Resize ? plan.option : QString());
    for (const int width : OutputLayout::PreviewWidths) {
        const QString target = m_layout.previewPath(plan.source, width);
        if (kept && FileSystem::FileExists(target))
            continue;
        // No taller than three times the width: a panorama standing up stays a strip.
        plan.previews.append(
            {u"-resize=%1x%2>"_s.arg(width).arg(width * 3), target, std::optional<WebCopyOptions>(web)});
    }
    return plan;
}

ResizeBatch::EntryPlan ResizeBatch::planOutputs(int index) const
{
    EntryPlan plan;
    plan.source = m_catalog.entry(index).path;
    const QString destination = m_layout.copyPath(plan.source);
    const qsizetype separator = destination.lastIndexOf(u'/');
    plan.folder = destination.left(separator);
    plan.output = plan.folder + u'/' + destination.mid(separator + 1);
    if (!m_inputs.recreate && FileSystem::FileExists(plan.output))
        return plan;

    plan.action = EntryPlan::Action::Copy;
    plan.thumbnail = m_layout.thumbnailPath(plan.source);
    // A ticked entry is only copied, but its size still tells what its thumbnail costs.
    const bool justCopy = m_catalog.entry(index).ticked;
    try {
        int32_t bitsPerPixel = 0;
        ImageHeader::ReadImageSize(plan.source, plan.height, plan.width, bitsPerPixel);
        // Turned upright, the picture is as wide as a viewer sees it; the limit is meant for that.
        if (m_web.autoOrient && WebCopyEditor::swapsSides(ExifBlock::jpegOrientation(
                                    FileSystem::ReadFileHead(plan.source, ImageHeader::BufferSize))))
            std::swap(plan.width, plan.height);
    } catch (const RunTimeError &error) {
        if (!justCopy)
            plan.headerError = error;
        return plan;
    }
    if (justCopy)
        return plan;
    const ResizeRule::LimitTest limit = ResizeRule::test(m_inputs.limit, plan.width, plan.height);
    if (!ResizeRule::resizesAll(m_inputs.mode) && !limit.exceeds)
        return plan;
    plan.action = EntryPlan::Action::Resize;
    try {
        plan.option = ResizeRule::option(m_inputs.mode, m_inputs.percent, m_inputs.limit, plan.width,
                                         plan.height, limit.scaleBy)
                          .value_or(QString());
    } catch (const RunTimeError &error) {
        plan.optionError = error;
    }
    return plan;
}

ResizeBatch::EntryPlan ResizeBatch::plannedEntry(int index)
{
    const auto known = m_plans.constFind(index);
    if (known != m_plans.cend())
        return *known;
    ++m_plansMade;
    return *m_plans.insert(index, plan(index));
}

bool ResizeBatch::processEntry(int index)
{
    if (m_host.yieldCancelled())
        return false;
    const QString source = m_catalog.entry(index).path;
    m_host.setCaption(u"Processing "_s + source);

    // The destination path is walked separator by separator, with a yield at each.
    const QString destination = m_layout.copyPath(source);
    for (const QChar c : destination) {
        if (c == u'/' && m_host.yieldCancelled())
            break;
    }
    const EntryPlan entry = plannedEntry(index);

    if (entry.action != EntryPlan::Action::Skip) {
        if (m_host.yieldCancelled())
            return false;
        if (entry.headerError)
            throw *entry.headerError;
        if (m_host.yieldCancelled())
            return false;
        // A folder left empty means the filesystem root, which always exists.
        if (!entry.folder.isEmpty() && !FileSystem::FolderExists(entry.folder))
            MakePath(entry.folder);
        // What a killed batch left half-written here goes before anything new is written.
        if (!m_cleanedFolders.contains(entry.folder)) {
            FileSystem::removeStaleTemporaries(entry.folder.isEmpty() ? u"/"_s : entry.folder);
            m_cleanedFolders.insert(entry.folder);
        }
        if (m_host.yieldCancelled())
            return false;

        if (entry.action == EntryPlan::Action::Resize) {
            m_host.setCaption(u"Resizing "_s + source);
            if (m_host.yieldCancelled())
                return false;
            useProcessor(index);
            if (entry.optionError)
                throw *entry.optionError;
            // A failed conversion leaves no output; the size step below reports it.
            if (!entry.option.isEmpty())
                m_processor.convertForWeb(entry.option, source, entry.output, m_web);
        } else {
            m_host.setCaption(u"Copying "_s + source);
            if (m_host.yieldCancelled())
                return false;
            copy(index, entry);
        }

        if (!entry.thumbnail.isEmpty()) {
            useProcessor(index);
            FileSystem::CopyFile(source, entry.thumbnail, true);
            // A failed conversion leaves the plain copy as the thumbnail.
            m_processor.convertForWeb(ResizeRule::thumbnailOption(m_inputs.thumbnailSize), source,
                                      entry.thumbnail, m_web);
        }
    } else {
        m_host.setCaption(u"Skipping "_s + source);
        if (m_host.yieldCancelled())
            return false;
    }
    if (!writePreviews(index, entry))
        return false;

    markBySize(index, entry.output);
    m_plans.remove(index);
    ++m_processed;
    m_host.setStatus(QString::number(m_processed) + u" images out of "_s +
                     NumberText::general(m_run.ImagesFound) + u" files completed!"_s);
    return true;
}

void ResizeBatch::copy(int index, const EntryPlan &entry)
{
    // A file the processor cannot read, or one with nothing to remove or turn, is copied as it
    // is.
    if (m_web.editsCopies()) {
        useProcessor(index);
        if (m_processor.copyForWeb(entry.source, entry.output, m_web) == ImageProcessor::CopyResult::Written)
            return;
    }
    FileSystem::CopyFile(entry.source, entry.folder + u'/', true);
}

bool ResizeBatch::writePreviews(int index, const EntryPlan &entry)
{
    const QString source = entry.action == EntryPlan::Action::Skip ? entry.output : entry.source;
    for (const ImageProcessor::Conversion &preview : entry.previews) {
        if (m_host.yieldCancelled())
            return false;
        useProcessor(index);
        // A preview that cannot be made goes, rather than show an older picture: the pages
        // show such a picture without one.
        if (!m_processor.convertForWeb(preview.option, source, preview.target, preview.web.value_or(m_web)) &&
            FileSystem::FileExists(preview.target))
            QFile::remove(preview.target);
    }
    return true;
}

void ResizeBatch::useProcessor(int index)
{
    if (!m_processorChecked) {
        m_processor.ensureAvailable();
        m_processorChecked = true;
    }
    // Keeps as many entries converting as the processor has room for, this one first, so the
    // workers always have the next image at hand while the window shows this one.
    qint64 memoryInFlight = 0;
    for (int entry = index; entry <= m_preparedUpTo; ++entry)
        memoryInFlight += m_preparedMemory.at(entry);
    for (int entry = std::max(index, m_preparedUpTo + 1);
         entry < m_catalog.size() && entry - index < m_capacity.images; ++entry) {
        const EntryPlan next = plannedEntry(entry);
        const qint64 memory = m_processor.memoryFor(next.width, next.height);
        // The entry in hand is converted whatever it needs; the next wait for room.
        if (entry > index && memoryInFlight + memory > m_capacity.memory)
            break;
        prepare(next);
        m_preparedMemory[entry] = memory;
        memoryInFlight += memory;
        m_preparedUpTo = entry;
    }
}

void ResizeBatch::prepare(const EntryPlan &entry)
{
    // A guess that turns out wrong costs only the work: convert writes nothing it was not
    // asked for. An entry whose plan met an error meets it again in its own steps.
    if (entry.headerError || entry.optionError)
        return;
    if (entry.action == EntryPlan::Action::Skip) {
        if (!entry.previews.isEmpty())
            m_processor.prepareForWeb(entry.output, entry.previews, m_web);
        return;
    }
    QList<ImageProcessor::Conversion> conversions;
    if (!entry.option.isEmpty())
        conversions.append({entry.option, entry.output});
    if (!entry.thumbnail.isEmpty())
        conversions.append({ResizeRule::thumbnailOption(m_inputs.thumbnailSize), entry.thumbnail});
    conversions += entry.previews;
    if (!conversions.isEmpty())
        m_processor.prepareForWeb(entry.source, conversions, m_web);
}

void ResizeBatch::markBySize(int index, const QString &output)
{
    const double size = FileSystem::GetFSize(output);
    const double limit = NumberText::strict(m_inputs.uploadSizeLimit) * 1024;
    if (size > limit) {
        if (m_run.OverLimitCount == std::numeric_limits<int16_t>::max())
            throw RunTimeError(RunTimeError::Overflow);
        ++m_run.OverLimitCount;
        m_host.setTicked(index, true);
    } else {
        m_host.setTicked(index, false);
    }
}

void ResizeBatch::showClosingMessages()
{
    const int16_t marked = m_run.OverLimitCount;
    if (!m_run.cancelRequested() && marked > 0) {
        const QString text =
            marked == 1 ? u"1 file marked to not upload due to FTP Size Limit!!"_s
                        : QString::number(marked) + u" files marked to not upload due to FTP Size Limit!!"_s;
        m_host.showBox(text, u"FTP Size Limit"_s, MessageBoxService::Icon::Information);
    }
    if (m_run.ImagesFound < m_run.FileLimit && m_run.cancelRequested())
        m_host.showBox(u"Cancelled!!"_s, QString(), MessageBoxService::Icon::None);
}
