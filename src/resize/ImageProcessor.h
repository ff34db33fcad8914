#pragma once

#include "WebCopyOptions.h"

#include <QList>
#include <QString>

#include <optional>

// The image processor behind the resize batch: the convert operation with a "-resize=" option,
// a source and a target, as the command `convert SOURCE -resize GEOMETRY TARGET` does it.
class ImageProcessor
{
public:
    // One conversion of a source: the option and the file it is written to, and the web
    // options when they are not those of the batch (a preview).
    struct Conversion
    {
        QString option;
        QString target;
        std::optional<WebCopyOptions> web = std::nullopt;
    };

    // What became of a plain copy for the web.
    enum class CopyResult
    {
        // The file needs nothing changed: its bytes are the copy, and nothing was written.
        Unchanged,
        // The target holds the edited copy.
        Written,
        // The file could not be read or the copy written; the target is as it was.
        Failed,
    };

    virtual ~ImageProcessor() = default;

    // Raises error 429 when the processor cannot serve (it cannot start or lacks a coder the
    // program needs). The batch asks before its first conversion.
    virtual void ensureAvailable() = 0;

    // Writes target from source with the option; false when it failed, and then the target is
    // as it was before the call.
    virtual bool convert(const QString &option, const QString &source, const QString &target) = 0;
    // The same with the web options; all off, it is convert.
    virtual bool convertForWeb(const QString &option, const QString &source, const QString &target,
                               const WebCopyOptions &web);
    // A copy of source at its own size for the web: its metadata cut down and its pixels turned
    // upright as the options say, written only when the file has something to remove or turn.
    virtual CopyResult copyForWeb(const QString &source, const QString &target, const WebCopyOptions &web);

    // A hint that these conversions of one source will be asked for soon, so a processor may
    // start on them now. Nothing is written before convert is called.
    virtual void prepare(const QString &source, const QList<Conversion> &conversions);
    // The same for conversions with the web options; all off, it is prepare.
    virtual void prepareForWeb(const QString &source, const QList<Conversion> &conversions,
                               const WebCopyOptions &web);

    // Forgets prepared conversions that were never asked for (at the end of a batch).
    virtual void discardPrepared();

    // How much may be prepared at once: images in flight, and the memory they may take.
    struct Capacity
    {
        int images = 2;
        qint64 memory = 0;
    };
    virtual Capacity capacity() const;
    // The memory one image of this size takes while it is converted.
    virtual qint64 memoryFor(int width, int height) const;

    static ImageProcessor &instance();
    // Installs a replacement (tests); nullptr restores the real processor.
    static void setInstance(ImageProcessor *processor);
};
