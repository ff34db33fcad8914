#pragma once

#include "Catalog.h"
#include "ImageProcessor.h"
#include "OutputLayout.h"
#include "RunTimeError.h"
#include "WebCopyOptions.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <optional>

class ResizeBatchHost;
struct RunState;

// What a resize batch reads when it starts. The rule controls stay locked for the whole batch,
// so this one reading serves every entry.
struct ResizeInputs
{
    QString mode;
    QString percent;
    QString limit;
    QString thumbnailSize;
    QString thumbnailPrefix;
    bool recreate = true;
    QString imageRoot;
    QString destinationRoot;
    QString uploadSizeLimit;
    // Gallery pages are on: each picture also gets its previews (OutputLayout::PreviewWidths).
    bool galleryPreviews = false;
};

// The resize batch: for every entry of the catalogue, a resized copy or a plain copy in the
// mirrored destination tree, a thumbnail beside it, and a tick for an output above the upload
// size limit. Runs on the calling thread and yields between its steps.
class ResizeBatch
{
public:
    enum class Outcome
    {
        // Ran to its end or was cancelled.
        Finished,
        // Stopped at an unexpected error, which has been reported.
        Failed,
        // The image processor cannot serve.
        ProcessorMissing,
    };

    // What an entry's steps will do.
    struct EntryPlan
    {
        enum class Action
        {
            Skip,
            Copy,
            Resize,
        };
        Action action = Action::Skip;
        QString source;
        QString folder;
        QString output;
        // Empty when no thumbnail is to be written.
        QString thumbnail;
        // The resize option; empty when the mode converts nothing.
        QString option;
        // The gallery previews to write, with their options; empty when pages are off.
        QList<ImageProcessor::Conversion> previews;
        int32_t width = 0;
        int32_t height = 0;
        // Raised by the entry's steps where they read the header, or work out the option.
        std::optional<RunTimeError> headerError;
        std::optional<RunTimeError> optionError;
    };

    // The batch works on the catalogue as it stands now (its ticks mean "just copy"); its own
    // ticks for outputs above the upload size limit go to the host.
    ResizeBatch(const ResizeInputs &inputs, const Catalog &catalog, RunState &run, ResizeBatchHost &host,
                ImageProcessor &processor = ImageProcessor::instance());

    // The message a batch with these roots refuses to start with, if any.
    static std::optional<QString> refusal(const QString &imageRoot, const QString &destinationRoot);

    // How the copies and thumbnails are prepared for the web; all off unless set.
    void setWebOptions(const WebCopyOptions &web) { m_web = web; }

    Outcome run();
    // Entries done so far.
    int processed() const { return m_processed; }
    // The size-limit and cancel messages of a batch that ended as it should.
    void showClosingMessages();

    // What an entry's steps will do, worked out afresh.
    EntryPlan plan(int index) const;
    // How many entries run() has planned: each at most once, however often the look-ahead
    // and the entry's own steps need the plan.
    int plansMade() const { return m_plansMade; }

private:
    // What the entry's steps do to its copy and thumbnail.
    EntryPlan planOutputs(int index) const;
    // The entry's plan, worked out on its first use and kept until its steps are over.
    EntryPlan plannedEntry(int index);
    // False when Cancel stopped the batch.
    bool processEntry(int index);
    void copy(int index, const EntryPlan &entry);
    void useProcessor(int index);
    void prepare(const EntryPlan &entry);
    // False when Cancel stopped the batch.
    bool writePreviews(int index, const EntryPlan &entry);
    void markBySize(int index, const QString &output);

    ResizeInputs m_inputs;
    // A copy of the window's catalogue, which shares its data until the window ticks an entry.
    Catalog m_catalog;
    WebCopyOptions m_web;
    OutputLayout m_layout;
    RunState &m_run;
    ResizeBatchHost &m_host;
    ImageProcessor &m_processor;
    ImageProcessor::Capacity m_capacity;
    int m_processed = 0;
    bool m_processorChecked = false;
    int m_preparedUpTo = -1;
    // The estimated memory of every prepared entry, by index.
    QList<qint64> m_preparedMemory;
    // The plans of the entry in hand and of those the look-ahead reached.
    QHash<int, EntryPlan> m_plans;
    int m_plansMade = 0;
    QSet<QString> m_cleanedFolders;
};
