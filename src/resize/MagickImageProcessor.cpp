#include "MagickImageProcessor.h"

#include "FileSystem.h"
#include "RunTimeError.h"

#include <Magick++.h>
#include <QCoreApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QThread>
#include <QtConcurrent>

#include <cstdio>
#include <list>
#include <mutex>
#include <optional>

using namespace Qt::Literals::StringLiterals;

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

// A conversion is known by its option and the format it writes; the target's folder and name
// do not change the bytes.
QString keyOf(const QString &option, const QString &target)
{
    return option + u'\n' + QFileInfo(target).suffix().toUpper();
}

// Does what `convert SOURCE -resize GEOMETRY TARGET` does for each key, decoding the source
// once. Runs on a worker thread.
QList<Output> render(const QString &source, const QStringList &keys)
{
    QList<Output> outputs(keys.size());
    QByteArray bytes;
    {
        QFile file(source);
        if (!file.open(QIODevice::ReadOnly))
            return outputs;
        bytes = file.readAll();
    }

    // Read from memory, so that names with "[", ":" or "%" are never read as instructions.
    Frames frames;
    try {
        Magick::readImages(&frames, Magick::Blob(bytes.constData(), static_cast<size_t>(bytes.size())));
    } catch (const Magick::Warning &) {
        // A damaged but readable file (a truncated JPEG) converts as the command converts it.
    } catch (const Magick::Exception &) {
        return outputs;
    }
    bytes.clear();
    if (frames.empty())
        return outputs;
    // Warnings do not fail a conversion, so they need not interrupt one. Set once on the
    // decoded frames, before they are shared by the copies below.
    for (Magick::Image &frame : frames)
        frame.quiet(true);

    QList<std::optional<Frames>> resized(keys.size());
    for (qsizetype k = 0; k < keys.size(); ++k) {
        const QString option = keys.at(k).section(u'\n', 0, 0);
        if (!option.startsWith(OptionPrefix))
            continue;
        const std::string geometry = option.mid(OptionPrefix.size()).toStdString();
        try {
            Frames result;
            for (const Magick::Image &frame : frames) {
                // The command works out the size of each frame from the geometry and resizes
                // to exactly that size; so does this.
                MagickCore::RectangleInfo size{};
                MagickCore::ExceptionInfo *exception = MagickCore::AcquireExceptionInfo();
                const MagickCore::MagickStatusType flags =
                    MagickCore::ParseRegionGeometry(frame.constImage(), geometry.c_str(), &size, exception);
                MagickCore::DestroyExceptionInfo(exception);
                if (flags == MagickCore::NoValue || size.width == 0 || size.height == 0)
                    throw Magick::ErrorOption("invalid geometry");
                Magick::Image copy = frame;
                Magick::Geometry exact(size.width, size.height);
                exact.aspect(true);
                copy.resize(exact);
                result.push_back(copy);
            }
            resized[k] = std::move(result);
        } catch (const Magick::Exception &) {
            continue;
        }
    }
    // The full-size decode is the largest piece of memory; let it go before encoding.
    frames.clear();

    for (qsizetype k = 0; k < keys.size(); ++k) {
        if (!resized[k])
            continue;
        const std::string format = keys.at(k).section(u'\n', 1).toStdString();
        Frames &result = *resized[k];
        try {
            for (Magick::Image &frame : result) {
                if (!format.empty())
                    frame.magick(format);
            }
            Magick::Blob blob;
            try {
                Magick::writeImages(result.begin(), result.end(), &blob, true);
            } catch (const Magick::Warning &) {
            }
            if (blob.length() > 0)
                outputs[k] =
                    QByteArray(static_cast<const char *>(blob.data()), static_cast<qsizetype>(blob.length()));
        } catch (const Magick::Exception &) {
        }
        result.clear();
    }
    return outputs;
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
    QStringList keys;
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
        // Images are converted two at a time, one per core; threads inside one conversion on
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

std::shared_ptr<MagickImageProcessor::Job> MagickImageProcessor::start(const QString &source,
                                                                       const QStringList &keys)
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
                                                                              const QString &key) const
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
    QStringList keys;
    for (const Conversion &conversion : conversions) {
        const QString key = keyOf(conversion.option, conversion.target);
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
    const QString key = keyOf(option, target);
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
