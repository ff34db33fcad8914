#pragma once

#include <QList>
#include <QString>

// The image processor behind the resize batch: the convert operation with a "-resize=" option,
// a source and a target, as the command `convert SOURCE -resize GEOMETRY TARGET` does it.
class ImageProcessor
{
public:
    // One conversion of a source: the option and the file it is written to.
    struct Conversion
    {
        QString option;
        QString target;
    };

    virtual ~ImageProcessor() = default;

    // Raises error 429 when the processor cannot serve (it cannot start or lacks a coder the
    // program needs). The batch asks before its first conversion.
    virtual void ensureAvailable() = 0;

    // Writes target from source with the option; false when it failed, and then the target is
    // as it was before the call.
    virtual bool convert(const QString &option, const QString &source, const QString &target) = 0;

    // A hint that these conversions of one source will be asked for soon, so a processor may
    // start on them now. Nothing is written before convert is called.
    virtual void prepare(const QString &source, const QList<Conversion> &conversions);

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
