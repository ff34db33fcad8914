#pragma once

#include "ImageProcessor.h"
#include "OutputLayout.h"
#include "RunTimeError.h"
#include "WebCopyOptions.h"

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
    QStringList entries;
    QList<bool> ticked;
};

// The resize batch: for every entry of the last scan, a resized copy or a plain copy in the
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
        int32_t width = 0;
        int32_t height = 0;
        // Raised by the entry's steps where they read the header, or work out the option.
        std::optional<RunTimeError> headerError;
        std::optional<RunTimeError> optionError;
    };

    ResizeBatch(const ResizeInputs &inputs, RunState &run, ResizeBatchHost &host,
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

    EntryPlan plan(int index) const;

private:
    // False when Cancel stopped the batch.
    bool processEntry(int index);
    void copy(int index, const EntryPlan &entry);
    void useProcessor(int index);
    void prepare(const EntryPlan &entry);
    void markBySize(int index, const QString &output);

    ResizeInputs m_inputs;
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
    QSet<QString> m_cleanedFolders;
};
