#include "MagickImageProcessor.h"

#include "ExifBlock.h"
#include "FileSystem.h"
#include "ImageHeader.h"
#include "PhotoMetadata.h"
#include "RunTimeError.h"
#include "WebCopyEditor.h"

#include <Magick++.h>
#include <QCoreApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QSize>
#include <QThread>
#include <QtConcurrent>

#include <cstdio>
#include <list>
#include <mutex>
#include <optional>

using namespace Qt::Literals::StringLiterals;

// A conversion is known by its option, the format it writes and the web options; the target's
// folder and name do not change the bytes.
struct ConversionKey
{
    QString option;
    QString format;
    WebCopyOptions web;

    ConversionKey(const QString &resizeOption, const QString &target, const WebCopyOptions &webOptions)
        : option(resizeOption), format(QFileInfo(target).suffix().toUpper()), web(webOptions)
    {}
    bool operator==(const ConversionKey &) const = default;
};

namespace {

const QString OptionPrefix = u"-resize="_s;

using Output = std::optional<QByteArray>;
using Frames = std::list<Magick::Image>;

// Tells whether the source changed between preparing and converting.
struct SourceStamp
{
    qint64 size = -1;
    qint64 modifiedMs = 0;

    static SourceStamp of(const QString &path)
    {
        const QFileInfo info(path);
        return {info.exists() ? info.size() : -1, info.lastModified().toMSecsSinceEpoch()};
    }
    bool operator==(const SourceStamp &) const = default;
};

struct Request
{
    std::string geometry;
    std::string format;
    WebCopyOptions web;
    bool valid = false;
};

Request requestOf(const ConversionKey &key)
{
    Request request;
    request.format = key.format.toStdString();
    request.web = key.web;
    request.valid = key.option.startsWith(OptionPrefix);
    request.geometry = key.option.mid(OptionPrefix.size()).toStdString();
    return request;
}

QByteArray readWhole(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The size the command resizes a frame of this size to, or an empty size for a geometry it
// refuses.
QSize sizeFor(const std::string &geometry, size_t width, size_t height)
{
    ssize_t x = 0;
    ssize_t y = 0;
    const MagickCore::MagickStatusType flags =
        MagickCore::ParseMetaGeometry(geometry.c_str(), &x, &y, &width, &height);
    if (flags == MagickCore::NoValue || width == 0 || height == 0)
        return QSize();
    return QSize(int(width), int(height));
}

// Decodes every frame; warnings of a damaged but readable file (a truncated JPEG) are ignored,
// as the command ignores them. Read from memory, so that names with "[", ":" or "%" are never
// read as instructions.
bool decode(const QByteArray &bytes, Frames &frames, const std::string &reducedSize)
{
    const Magick::Blob blob(bytes.constData(), static_cast<size_t>(bytes.size()));
    try {
        if (reducedSize.empty()) {
            Magick::readImages(&frames, blob);
        } else {
            Magick::ReadOptions options;
            MagickCore::SetImageOption(options.imageInfo(), "jpeg:size", reducedSize.c_str());
            Magick::readImages(&frames, blob, options);
        }
    } catch (const Magick::Warning &) {
    } catch (const Magick::Exception &) {
        return false;
    }
    return !frames.empty();
}

Output encode(Frames &frames, const std::string &format)
{
    try {
        for (Magick::Image &frame : frames) {
            if (!format.empty())
                frame.magick(format);
        }
        Magick::Blob blob;
        try {
            Magick::writeImages(frames.begin(), frames.end(), &blob, true);
        } catch (const Magick::Warning &) {
        }
        if (blob.length() > 0)
            return QByteArray(static_cast<const char *>(blob.data()), static_cast<qsizetype>(blob.length()));
    } catch (const Magick::Exception &) {
    }
    return std::nullopt;
}

// What the web options do to a frame once it has its final size.
void finishForWeb(Magick::Image &frame, const WebCopyOptions &web, int orientation,
                  const WebCopyEditor::KeptMetadata &kept)
{
    if (web.autoOrient && orientation > 1)
        WebCopyEditor::turnUpright(frame, orientation);
    if (web.srgb)
        WebCopyEditor::convertToSrgb(frame);
    if (web.stripPrivate)
        WebCopyEditor::replaceMetadata(frame, kept);
}

// The size a request's output takes from a frame of this size, as a viewer sees both. A preview
// is sized against the picture its options name, so it is never larger than that picture.
QSize outputSize(const Request &request, const QSize &frame)
{
    if (!request.web.preview)
        return sizeFor(request.geometry, size_t(frame.width()), size_t(frame.height()));
    QSize picture = frame;
    if (!request.web.previewOf.isEmpty()) {
        if (!request.web.previewOf.startsWith(OptionPrefix))
            return QSize();
        const std::string geometry = request.web.previewOf.mid(OptionPrefix.size()).toStdString();
        picture = sizeFor(geometry, size_t(frame.width()), size_t(frame.height()));
        if (picture.isEmpty())
            return QSize();
    }
    return sizeFor(request.geometry, size_t(picture.width()), size_t(picture.height()));
}

// A frame some output can be resized from, and whether its pixels are upright already.
struct Base
{
    const Magick::Image *frame = nullptr;
    bool upright = false;

    QSize shown(bool swap) const
    {
        const QSize size(int(frame->columns()), int(frame->rows()));
        return swap && !upright ? size.transposed() : size;
    }
};

// A preview: the smallest of the bases that still holds its size, turned upright, with no
// metadata but its colour profile.
Frames previewFrom(const QList<Base> &bases, const QSize &size, const Request &request, int orientation)
{
    const bool swap = WebCopyEditor::swapsSides(orientation);
    Base base = bases.first();
    for (const Base &candidate : bases) {
        const QSize shown = candidate.shown(swap);
        if (shown.width() >= size.width() && shown.height() >= size.height() &&
            qint64(shown.width()) * shown.height() <
                qint64(base.shown(swap).width()) * base.shown(swap).height())
            base = candidate;
    }
    Magick::Image preview = *base.frame;
    const bool turn = !base.upright && orientation > 1;
    const QSize stored = turn && swap ? size.transposed() : size;
    // A preview as large as its base (a copy no wider than the preview) is only encoded anew.
    if (QSize(int(preview.columns()), int(preview.rows())) != stored) {
        Magick::Geometry exact(size_t(stored.width()), size_t(stored.height()));
        exact.aspect(true);
        preview.resize(exact);
    }
    if (turn)
        WebCopyEditor::turnUpright(preview, orientation);
    if (request.web.srgb)
        WebCopyEditor::convertToSrgb(preview);
    WebCopyEditor::replaceMetadata(preview, WebCopyEditor::KeptMetadata());
    preview.quality(MagickImageProcessor::PreviewQuality);
    return {preview};
}

// Does what `convert SOURCE -resize GEOMETRY TARGET` does for each key, decoding the source
// once, and then what the key's web options ask. Previews come last, each from the smallest
// output already made that holds it. Runs on a worker thread.
QList<Output> render(const QString &source, const QList<ConversionKey> &keys)
{
    QList<Output> outputs(keys.size());
    QByteArray bytes = readWhole(source);
    if (bytes.isNull())
        return outputs;

    QList<Request> requests;
    // The options of the pictures; previews take nothing from the file's metadata.
    WebCopyOptions web;
    bool previews = false;
    for (const ConversionKey &key : keys) {
        requests.append(requestOf(key));
        const WebCopyOptions &asked = requests.last().web;
        previews = previews || asked.preview;
        web.fastDecode = requests.size() == 1 ? asked.fastDecode : web.fastDecode && asked.fastDecode;
        if (asked.preview)
            continue;
        web.stripPrivate = web.stripPrivate || asked.stripPrivate;
        web.autoOrient = web.autoOrient || asked.autoOrient;
    }
    const int orientation = web.autoOrient || previews ? ExifBlock::jpegOrientation(bytes) : 0;
    const bool swap = WebCopyEditor::swapsSides(orientation);
    const PhotoMetadata inFile = web.stripPrivate ? PhotoMetadata::read(bytes) : PhotoMetadata();

    // A JPEG asked to decode fast is decoded smaller; the outputs keep the sizes the full
    // decode gives, worked out from the size in its header.
    QSize stored;
    std::string reducedSize;
    if (web.fastDecode) {
        ImageHeader header;
        header.parse(bytes);
        if (header.ImageFormat() == ImageHeader::Jpeg && header.width() > 0 && header.height() > 0) {
            stored = QSize(header.width(), header.height());
            QList<QSize> sizes;
            for (const Request &request : std::as_const(requests)) {
                const bool turn = swap && (request.web.autoOrient || request.web.preview);
                const QSize upright = outputSize(request, turn ? stored.transposed() : stored);
                if (!upright.isEmpty())
                    sizes.append(turn ? upright.transposed() : upright);
            }
            const QSize reduced = MagickImageProcessor::reducedDecodeSize(stored, sizes);
            if (reduced.isValid())
                reducedSize = std::to_string(reduced.width()) + 'x' + std::to_string(reduced.height());
        }
    }

    Frames frames;
    if (!decode(bytes, frames, reducedSize))
        return outputs;
    bytes.clear();
    const bool reduced = !reducedSize.empty();
    // Warnings do not fail a conversion, so they need not interrupt one. Set once on the
    // decoded frames, before they are shared by the copies below.
    for (Magick::Image &frame : frames)
        frame.quiet(true);
    const WebCopyEditor::KeptMetadata kept =
        web.stripPrivate
            ? WebCopyEditor::keptMetadata(frames.front(), inFile, web.autoOrient && orientation != 0)
            : WebCopyEditor::KeptMetadata();

    QList<std::optional<Frames>> resized(keys.size());
    for (qsizetype k = 0; k < keys.size(); ++k) {
        const Request &request = requests.at(k);
        if (!request.valid || request.web.preview)
            continue;
        try {
            Frames result;
            for (const Magick::Image &frame : frames) {
                // The command works out the size of each frame from the geometry and resizes
                // to exactly that size; so does this. A frame turned on its side is sized as a
                // viewer sees it, and resized before it is turned.
                const QSize full = reduced ? stored : QSize(int(frame.columns()), int(frame.rows()));
                const bool turn = request.web.autoOrient && swap;
                QSize size = outputSize(request, turn ? full.transposed() : full);
                if (size.isEmpty())
                    throw Magick::ErrorOption("invalid geometry");
                if (turn)
                    size.transpose();
                Magick::Image copy = frame;
                Magick::Geometry exact(size_t(size.width()), size_t(size.height()));
                exact.aspect(true);
                copy.resize(exact);
                if (request.web.any())
                    finishForWeb(copy, request.web, orientation, kept);
                result.push_back(copy);
            }
            resized[k] = std::move(result);
        } catch (const Magick::Exception &) {
            continue;
        }
    }

    if (previews) {
        // The first frame stands for the picture; the sizes are those of the full decode.
        const QSize full =
            reduced ? stored : QSize(int(frames.front().columns()), int(frames.front().rows()));
        QList<qsizetype> order;
        for (qsizetype k = 0; k < keys.size(); ++k) {
            if (requests.at(k).valid && requests.at(k).web.preview)
                order.append(k);
        }
        auto area = [&](qsizetype k) {
            const QSize size = outputSize(requests.at(k), swap ? full.transposed() : full);
            return qint64(size.width()) * size.height();
        };
        std::stable_sort(order.begin(), order.end(),
                         [&](qsizetype a, qsizetype b) { return area(a) > area(b); });
        for (const qsizetype k : std::as_const(order)) {
            const Request &request = requests.at(k);
            const QSize size = outputSize(request, swap ? full.transposed() : full);
            if (size.isEmpty())
                continue;
            QList<Base> bases{{&frames.front(), orientation <= 1}};
            for (qsizetype j = 0; j < keys.size(); ++j) {
                if (!resized[j] || resized[j]->empty())
                    continue;
                const Request &made = requests.at(j);
                if (made.web.preview || keys.at(j).option == request.web.previewOf)
                    bases.append(
                        {&resized[j]->front(), orientation <= 1 || made.web.preview || made.web.autoOrient});
            }
            try {
                resized[k] = previewFrom(bases, size, request, orientation);
            } catch (const Magick::Exception &) {
            }
        }
    }
    // The full-size decode is the largest piece of memory; let it go before encoding.
    frames.clear();

    for (qsizetype k = 0; k < keys.size(); ++k) {
        if (!resized[k])
            continue;
        outputs[k] = encode(*resized[k], requests.at(k).format);
        resized[k]->clear();
    }
    return outputs;
}

// A plain copy with the web options applied, or nothing when the file needs no change (or
// cannot be read: then it is copied as it is).
ImageProcessor::CopyResult renderCopy(const QString &source, const WebCopyOptions &web, QByteArray &written)
{
    QByteArray bytes = readWhole(source);
    Frames frames;
    if (bytes.isNull() || !decode(bytes, frames, std::string()))
        return ImageProcessor::CopyResult::Failed;
    const int orientation = web.autoOrient ? ExifBlock::jpegOrientation(bytes) : 0;
    const WebCopyEditor::KeptMetadata kept =
        web.stripPrivate
            ? WebCopyEditor::keptMetadata(frames.front(), PhotoMetadata::read(bytes), orientation != 0)
            : WebCopyEditor::KeptMetadata();
    bytes.clear();
    for (Magick::Image &frame : frames)
        frame.quiet(true);
    if (orientation <= 1 && !kept.removes)
        return ImageProcessor::CopyResult::Unchanged;
    try {
        // The format and, for a JPEG, the quality ImageMagick estimated from the file are kept.
        for (Magick::Image &frame : frames)
            finishForWeb(frame, web, orientation, kept);
    } catch (const Magick::Exception &) {
        return ImageProcessor::CopyResult::Failed;
    }
    const Output output = encode(frames, std::string());
    if (!output)
        return ImageProcessor::CopyResult::Failed;
    written = *output;
    return ImageProcessor::CopyResult::Written;
}

// Writes under a temporary name beside the target and renames it over the target, so the
// target is either the whole new file or what it was before.
bool writeReplacing(const QString &target, const QByteArray &bytes)
{
    const QString temporary = FileSystem::temporarySibling(target);
    QFile file(temporary);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
    const bool written = file.write(bytes) == bytes.size() && file.flush();
    file.close();
    if (written && file.error() == QFileDevice::NoError &&
        std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(target).constData()) == 0)
        return true;
    QFile::remove(temporary);
    return false;
}

// Waits for a worker while the event loop keeps running on the window's thread.
template <typename T> void waitFor(QFuture<T> future)
{
    if (future.isFinished())
        return;
    if (!QCoreApplication::instance() || QThread::currentThread() != QCoreApplication::instance()->thread()) {
        future.waitForFinished();
        return;
    }
    QEventLoop loop;
    QFutureWatcher<T> watcher;
    QObject::connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(future);
    if (!future.isFinished())
        loop.exec();
}

} // namespace

struct MagickImageProcessor::Job
{
    QString source;
    SourceStamp stamp;
    QList<ConversionKey> keys;
    QList<bool> taken;
    QFuture<QList<Output>> outputs;
};

MagickImageProcessor::MagickImageProcessor(const QStringList &requiredCoders)
    : m_requiredCoders(requiredCoders)
{
    // One image per core; ImageMagick gives one image one core here.
    m_pool.setMaxThreadCount(ImageProcessor::capacity().images);
}

MagickImageProcessor::~MagickImageProcessor()
{
    m_pool.waitForDone();
}

void MagickImageProcessor::ensureAvailable()
{
    static std::once_flag initialised;
    std::call_once(initialised, [] {
        Magick::InitializeMagick(nullptr);
        // Images are converted one per core (see capacity()); threads inside one conversion on
        // top of that only compete for the same cores. The pixels do not depend on it.
        Magick::ResourceLimits::thread(1);
    });
    for (const QString &name : m_requiredCoders) {
        bool usable = false;
        try {
            const Magick::CoderInfo coder(name.toStdString());
            usable = coder.isReadable() && coder.isWritable();
        } catch (const Magick::Exception &) {
        }
        if (!usable)
            throw RunTimeError(
                RunTimeError::CannotCreateComponent,
                u"ActiveX component can't create object: ImageMagick has no %1 coder"_s.arg(name));
    }
}

QSize MagickImageProcessor::reducedDecodeSize(const QSize &stored, const QList<QSize> &outputs)
{
    int width = 0;
    int height = 0;
    for (const QSize &output : outputs) {
        width = std::max(width, output.width() * 2);
        height = std::max(height, output.height() * 2);
    }
    if (outputs.isEmpty() || width >= stored.width() || height >= stored.height())
        return QSize();
    return QSize(width, height);
}

std::shared_ptr<MagickImageProcessor::Job> MagickImageProcessor::start(const QString &source,
                                                                       const QList<ConversionKey> &keys)
{
    auto job = std::make_shared<Job>();
    job->source = source;
    job->stamp = SourceStamp::of(source);
    job->keys = keys;
    job->taken = QList<bool>(keys.size(), false);
    job->outputs = QtConcurrent::run(&m_pool, render, source, keys);
    return job;
}

std::shared_ptr<MagickImageProcessor::Job> MagickImageProcessor::findPrepared(const QString &source,
                                                                              const ConversionKey &key) const
{
    for (const std::shared_ptr<Job> &job : m_prepared) {
        const qsizetype index = job->keys.indexOf(key);
        if (job->source == source && index >= 0 && !job->taken.at(index))
            return job;
    }
    return nullptr;
}

ImageProcessor::Capacity MagickImageProcessor::capacity() const
{
    // Pixels beyond ImageMagick's own memory limit go to its disk cache, which is far slower
    // than waiting for room.
    Capacity room = ImageProcessor::capacity();
    const auto limit = MagickCore::GetMagickResourceLimit(MagickCore::MemoryResource);
    if (limit > 0 && limit < static_cast<MagickCore::MagickSizeType>(room.memory))
        room.memory = static_cast<qint64>(limit);
    return room;
}

qint64 MagickImageProcessor::memoryFor(int width, int height) const
{
    return qint64(width) * height * 4 * qint64(sizeof(MagickCore::Quantum));
}

void MagickImageProcessor::prepare(const QString &source, const QList<Conversion> &conversions)
{
    prepareForWeb(source, conversions, WebCopyOptions());
}

void MagickImageProcessor::prepareForWeb(const QString &source, const QList<Conversion> &conversions,
                                         const WebCopyOptions &web)
{
    QList<ConversionKey> keys;
    for (const Conversion &conversion : conversions) {
        const ConversionKey key(conversion.option, conversion.target, conversion.web.value_or(web));
        if (!keys.contains(key) && !findPrepared(source, key))
            keys.append(key);
    }
    if (!keys.isEmpty())
        m_prepared.append(start(source, keys));
}

void MagickImageProcessor::discardPrepared()
{
    // Work not started yet is called off; running work finishes on its own and its results
    // go with the last reference.
    for (const std::shared_ptr<Job> &job : std::as_const(m_prepared))
        job->outputs.cancel();
    m_prepared.clear();
}

bool MagickImageProcessor::convert(const QString &option, const QString &source, const QString &target)
{
    return convertForWeb(option, source, target, WebCopyOptions());
}

bool MagickImageProcessor::convertForWeb(const QString &option, const QString &source, const QString &target,
                                         const WebCopyOptions &web)
{
    const ConversionKey key(option, target, web);
    std::shared_ptr<Job> job = findPrepared(source, key);
    if (job && !(job->stamp == SourceStamp::of(source))) {
        m_prepared.removeOne(job);
        job.reset();
    }
    if (!job)
        job = start(source, {key});

    const qsizetype index = job->keys.indexOf(key);
    job->taken[index] = true;
    if (!job->taken.contains(false))
        m_prepared.removeOne(job);

    waitFor(job->outputs);
    // A conversion that failed in any way, running out of memory included, is a failed
    // conversion: the batch goes on without its output.
    try {
        const Output &output = job->outputs.result().at(index);
        return output && writeReplacing(target, *output);
    } catch (const std::exception &) {
        return false;
    }
}

ImageProcessor::CopyResult MagickImageProcessor::copyForWeb(const QString &source, const QString &target,
                                                            const WebCopyOptions &web)
{
    if (!web.editsCopies())
        return CopyResult::Unchanged;
    QByteArray bytes;
    QFuture<CopyResult> result = QtConcurrent::run(&m_pool, [&] { return renderCopy(source, web, bytes); });
    waitFor(result);
    try {
        const CopyResult outcome = result.result();
        if (outcome != CopyResult::Written)
            return outcome;
        return writeReplacing(target, bytes) ? CopyResult::Written : CopyResult::Failed;
    } catch (const std::exception &) {
        return CopyResult::Failed;
    }
}
