#pragma once

#include "ImageProcessor.h"

#include <QHash>
#include <QList>
#include <QString>
#include <functional>

// An image-processor double: records every call and writes a stand-in file of a chosen size
// for each conversion, so a batch's option strings, order and size marks can be checked
// without decoding anything.
class RecordingImageProcessor : public ImageProcessor
{
public:
    struct Call
    {
        QString option;
        QString source;
        QString target;

        bool operator==(const Call &) const = default;
    };

    RecordingImageProcessor();
    ~RecordingImageProcessor() override;

    void ensureAvailable() override;
    bool convert(const QString &option, const QString &source, const QString &target) override;
    // Recorded as convert, with the options beside.
    bool convertForWeb(const QString &option, const QString &source, const QString &target,
                       const WebCopyOptions &web) override;
    CopyResult copyForWeb(const QString &source, const QString &target, const WebCopyOptions &web) override;
    void prepare(const QString &source, const QList<Conversion> &conversions) override;
    Capacity capacity() const override { return room; }

    QList<Call> calls;
    QList<Call> prepared;
    int availabilityChecks = 0;
    // Raise error 429 as a missing processor does.
    bool missing = false;
    // Fail every conversion without writing.
    bool failing = false;
    // Bytes written per conversion.
    qsizetype outputSize = 100;
    // Runs inside each conversion, before it writes (to look at the window mid-batch).
    std::function<void(const Call &)> onConvert;

    // What the batch may prepare at once; memoryFor is the base's estimate.
    Capacity room{2, qint64(1) << 40};
    // Sources prepared and not yet converted in full, and the most there were at once.
    QHash<QString, int> inFlight;
    int peakInFlight = 0;

    // The web options of every conversion, in the order of calls.
    QList<WebCopyOptions> webOptions;
    // "source target options" of every plain copy offered to the processor, and its answer.
    QStringList webCopies;
    CopyResult copyResult = CopyResult::Unchanged;

    // "option source target" of every call, for compact comparisons.
    QStringList summary() const;
};
