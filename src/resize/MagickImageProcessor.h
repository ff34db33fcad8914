#pragma once

#include "ImageProcessor.h"

#include <QSize>
#include <QStringList>
#include <QThreadPool>
#include <memory>

struct ConversionKey;

// The image processor in process, through Magick++. Conversions run on worker threads: the
// conversions of one source that are prepared together share one decode, and prepared work
// is kept in memory until convert asks for it, so the caller keeps its own order of steps.
// The calling thread waits for a conversion in a local event loop, so a window keeps painting.
class MagickImageProcessor : public ImageProcessor
{
public:
    // The coders the program cannot work without, each for reading and writing.
    explicit MagickImageProcessor(const QStringList &requiredCoders = {
                                      QStringLiteral("JPEG"), QStringLiteral("PNG"), QStringLiteral("GIF"),
                                      QStringLiteral("BMP")});
    ~MagickImageProcessor() override;

    void ensureAvailable() override;
    bool convert(const QString &option, const QString &source, const QString &target) override;
    bool convertForWeb(const QString &option, const QString &source, const QString &target,
                       const WebCopyOptions &web) override;
    CopyResult copyForWeb(const QString &source, const QString &target, const WebCopyOptions &web) override;
    void prepare(const QString &source, const QList<Conversion> &conversions) override;
    void prepareForWeb(const QString &source, const QList<Conversion> &conversions,
                       const WebCopyOptions &web) override;
    void discardPrepared() override;
    Capacity capacity() const override;

    // The JPEG quality of gallery previews: small files for a grid, with no visible loss at the
    // size they are shown.
    static constexpr int PreviewQuality = 82;

    // The size a JPEG of the stored size is asked to decode at when it is to give these outputs
    // fast: twice the largest of them (libjpeg decodes at the smallest of its fractions that
    // holds that much); an invalid size for a full decode.
    static QSize reducedDecodeSize(const QSize &stored, const QList<QSize> &outputs);
    qint64 memoryFor(int width, int height) const override;

private:
    struct Job;

    std::shared_ptr<Job> start(const QString &source, const QList<ConversionKey> &keys);
    std::shared_ptr<Job> findPrepared(const QString &source, const ConversionKey &key) const;

    QStringList m_requiredCoders;
    QList<std::shared_ptr<Job>> m_prepared;
    QThreadPool m_pool;
};
