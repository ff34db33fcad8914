#include "RecordingImageProcessor.h"

#include "RunTimeError.h"

#include <QFile>

using namespace Qt::Literals::StringLiterals;

RecordingImageProcessor::RecordingImageProcessor()
{
    ImageProcessor::setInstance(this);
}

RecordingImageProcessor::~RecordingImageProcessor()
{
    ImageProcessor::setInstance(nullptr);
}

void RecordingImageProcessor::ensureAvailable()
{
    ++availabilityChecks;
    if (missing)
        throw RunTimeError(RunTimeError::CannotCreateComponent);
}

bool RecordingImageProcessor::convert(const QString &option, const QString &source, const QString &target)
{
    const Call call{option, source, target};
    calls.append(call);
    if (inFlight.contains(source) && --inFlight[source] == 0)
        inFlight.remove(source);
    if (onConvert)
        onConvert(call);
    if (failing)
        return false;
    QFile file(target);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(QByteArray(outputSize, 'x')) == outputSize;
}

bool RecordingImageProcessor::convertForWeb(const QString &option, const QString &source,
                                            const QString &target, const WebCopyOptions &web)
{
    webOptions.append(web);
    return convert(option, source, target);
}

ImageProcessor::CopyResult RecordingImageProcessor::copyForWeb(const QString &source, const QString &target,
                                                               const WebCopyOptions &web)
{
    webCopies.append(u"%1 %2 %3"_s.arg(source, target, web.key()));
    if (copyResult == CopyResult::Written) {
        QFile file(target);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write("edited copy") < 0)
            return CopyResult::Failed;
    }
    return copyResult;
}

void RecordingImageProcessor::prepare(const QString &source, const QList<Conversion> &conversions)
{
    for (const Conversion &conversion : conversions)
        prepared.append({conversion.option, source, conversion.target});
    inFlight[source] += static_cast<int>(conversions.size());
    peakInFlight = std::max(peakInFlight, static_cast<int>(inFlight.size()));
}

QStringList RecordingImageProcessor::summary() const
{
    QStringList result;
    for (const Call &call : calls)
        result.append(u"%1 %2 %3"_s.arg(call.option, call.source, call.target));
    return result;
}
