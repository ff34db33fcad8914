// The resize batch against the command it stands for: 24 photographs of 4000x3000 resized to 25 %
// with 100x100 thumbnails, once by a shell loop of two `convert` processes per image and once
// by the Resize button of the real main window (offscreen), after a scan of a folder that holds
// just those photographs. Prints both times, their ratio, and whether every output and thumbnail
// has the same pixels as the loop's. Then a row for each web option, each batch run with that one
// choice on: its time against the loop's and against the default batch, and the PSNR of its
// outputs against the loop's; and the bytes of a thumbnail of a camera-like photo without and
// with its private details. Last, the time gallery pages add to the resize of 1,000 photographs
// in 20 folders: the same batch with and without pages, printed beside each other, never a target.
//
// Usage: resize_bench [--corpus DIR] [--work DIR] [--count N] [--rounds N] [--pages N] [--pages-only]
//   --corpus DIR  use the corpus in DIR when it holds one already, else make it there with
//                 bench/make_corpus.sh
//   --work DIR    where the copied photographs and the outputs go (default: a temporary folder)
//   --count N     use only the first N photographs (quicker trials)
//   --rounds N    alternate the two runs N times and compare the medians (default 3)
//   --pages N     photographs in the gallery pages row (default 1000; 0 leaves the row out)
//   --pages-only  run only the gallery pages row

#include "BenchSupport.h"
#include "ExifBlock.h"
#include "GalleryPlan.h"
#include "GallerySurvey.h"
#include "GalleryWriter.h"
#include "MagickImageProcessor.h"
#include "OutputLayout.h"

#include <Magick++.h>
#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cmath>
#include <limits>
#include <list>
#include <sys/resource.h>

using namespace Qt::Literals::StringLiterals;
using bench::figure;
using bench::say;

namespace {

const QString Generator = QStringLiteral(PEXA_BENCH_DIR "/make_corpus.sh");
const QString Convert = u"/usr/bin/convert"_s;
constexpr double Target = 0.60;
// Options that change only what a photograph carries may cost this much over the default batch;
// the fast decode is to come this close to the loop, this close to its pixels.
constexpr double OptionCost = 1.10;
constexpr double FastTarget = 0.12;
constexpr double FastPsnr = 44.0;

struct WebRow
{
    QString caption;
    // The key in [web] set to "1"; empty for the default batch.
    QString key;
    QList<double> times;
    QList<double> processorTimes;
};

// Processor time used so far by this process (who) or its finished children, in seconds.
double cpuSeconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    auto seconds = [](const timeval &t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    const qsizetype middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

bool run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    return process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

QStringList photographs(const QString &corpus)
{
    QStringList found;
    QDirIterator it(corpus, {u"*.jpg"_s}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        found.append(it.next());
    found.sort();
    return found;
}

QString thumbnailOf(const QString &path)
{
    const QFileInfo info(path);
    return info.path() + u"/tn_"_s + info.fileName();
}

double baseline(const QString &corpus, const QStringList &images, const QString &out)
{
    QString script = u"set -e\n"_s;
    for (const QString &image : images) {
        const QString target = out + u'/' + QDir(corpus).relativeFilePath(image);
        QDir().mkpath(QFileInfo(target).path());
        script += u"%1 '%2' -resize 25%x25% '%3'\n%1 '%2' -resize 100x100 '%4'\n"_s.arg(
            Convert, image, target, thumbnailOf(target));
    }
    QElapsedTimer timer;
    timer.start();
    if (!run(u"/bin/sh"_s, {u"-c"_s, script}))
        qFatal("the convert loop failed");
    return static_cast<double>(timer.elapsed()) / 1000.0;
}

// The photographs of the run alone below a root of their own, so that a scan of that root
// lists exactly them, as it does a user's folder of photographs.
QStringList stagePhotographs(const QString &corpus, const QStringList &images, const QString &root)
{
    QDir(root).removeRecursively();
    QStringList staged;
    for (const QString &image : images) {
        const QString target = root + u'/' + QDir(corpus).relativeFilePath(image);
        QDir().mkpath(QFileInfo(target).path());
        if (!QFile::copy(image, target))
            qFatal("cannot copy %s to %s", qPrintable(image), qPrintable(target));
        staged.append(target);
    }
    return staged;
}

// A user's batch of the photographs at 25 % (or percent) with 100x100 thumbnails, after a scan that
// must list exactly them; webKey, when given, is the [web] choice set to "1".
double batch(const QString &root, const QStringList &images, const QString &out, QStringList &notices,
             const QString &webKey = QString(), const QString &percent = u"25"_s)
{
    QList<bench::StoredValue> stored;
    if (!webKey.isEmpty())
        stored.append({u"web"_s, webKey, u"1"_s});
    const bench::WindowResize run = bench::resizeInWindow(
        root, out, {u"All to Pct"_s, percent, QString(), u"100x100"_s, u"1000"_s}, stored);
    if (run.listed != images)
        qFatal("the scan listed %lld entries, not the %lld photographs",
               static_cast<long long>(run.listed.size()), static_cast<long long>(images.size()));
    notices = run.notices;
    return run.seconds;
}

std::list<Magick::Image> framesOf(const QString &path)
{
    std::list<Magick::Image> frames;
    try {
        Magick::readImages(&frames, QFile::encodeName(path).toStdString());
    } catch (const Magick::Warning &) {
    } catch (const Magick::Exception &) {
        frames.clear();
    }
    return frames;
}

// The lowest PSNR of any frame against the loop's, in dB; infinite for identical pixels, 0 for a
// missing or different-sized output.
double psnr(const QString &expectedPath, const QString &actualPath)
{
    std::list<Magick::Image> expected = framesOf(expectedPath);
    std::list<Magick::Image> actual = framesOf(actualPath);
    if (expected.empty() || expected.size() != actual.size())
        return 0;
    double lowest = std::numeric_limits<double>::infinity();
    auto a = actual.begin();
    for (Magick::Image &frame : expected) {
        if (frame.columns() != a->columns() || frame.rows() != a->rows())
            return 0;
        if (frame.compare(*a, Magick::AbsoluteErrorMetric) != 0)
            lowest = std::min(lowest, frame.compare(*a, Magick::PeakSignalToNoiseRatioMetric));
        ++a;
    }
    return lowest;
}

// A thumbnail of a photograph with what a camera writes (a position, a serial number, a 160x120
// preview), as the command writes it and without the private details.
void cameraThumbnailBytes(const QString &photo, const QString &work)
{
    const QString camera = work + u"/camera.jpg"_s;
    const QString preview = work + u"/preview.jpg"_s;
    QFile::remove(camera);
    if (!QFile::copy(photo, camera) || !run(Convert, {photo, u"-resize"_s, u"160x120"_s, preview}) ||
        !run(u"/usr/bin/exiftool"_s,
             {u"-q"_s, u"-overwrite_original"_s, u"-GPSLatitude=48.8583"_s, u"-GPSLatitudeRef=N"_s,
              u"-GPSLongitude=2.2945"_s, u"-GPSLongitudeRef=E"_s, u"-Make=Camera Maker"_s,
              u"-Model=Model 7"_s, u"-SerialNumber=SN123456"_s, u"-Artist=Ann Author"_s,
              u"-ThumbnailImage<="_s + preview, camera})) {
        say(u"camera-like thumbnail: exiftool is missing (scripts/install-deps.sh --bench)"_s);
        return;
    }
    MagickImageProcessor processor;
    processor.ensureAvailable();
    const QString plain = work + u"/tn_plain.jpg"_s;
    const QString stripped = work + u"/tn_stripped.jpg"_s;
    processor.convert(u"-resize=100x100"_s, camera, plain);
    processor.convertForWeb(u"-resize=100x100"_s, camera, stripped, {true, false, false, false});
    figure(u"100x100 thumbnail of a camera-like JPEG: %1 bytes as the command writes it, %2 bytes without "
           u"location and camera details"_s.arg(QFileInfo(plain).size())
               .arg(QFileInfo(stripped).size()));
}

bool samePixels(const QString &expectedPath, const QString &actualPath)
{
    std::list<Magick::Image> expected = framesOf(expectedPath);
    std::list<Magick::Image> actual = framesOf(actualPath);
    if (expected.empty() || expected.size() != actual.size())
        return false;
    auto a = actual.begin();
    for (Magick::Image &frame : expected) {
        if (frame.columns() != a->columns() || frame.rows() != a->rows() ||
            frame.compare(*a, Magick::AbsoluteErrorMetric) != 0)
            return false;
        ++a;
    }
    return true;
}

// count photographs of AlbumPhoto in folders of 50, each a JPEG with a caption in its EXIF block,
// as a camera owner's album holds them; their paths in name order. Resized to AlbumPercent they
// give copies as large as a web gallery shows, so that every preview has its work to do.
const QSize AlbumPhoto(2400, 1800);
const QString AlbumPercent = u"50"_s;

QStringList makeAlbums(const QString &root, int count)
{
    QDir(root).removeRecursively();
    QImage picture(AlbumPhoto, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, qRgb((x * 7 + y) % 256, (x ^ y) % 256, (x * y / 64) % 256));
    }
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "JPG", 85);
    QStringList made;
    for (int i = 0; i < count; ++i) {
        ExifBlock::Fields fields;
        fields.description = "Photograph " + QByteArray::number(i + 1) + " of the album";
        const QByteArray exif = ExifBlock::write(fields);
        const auto length = static_cast<quint16>(exif.size() + 2);
        const QByteArray segment = QByteArray("\xFF\xE1") + char(length >> 8) + char(length & 0xFF) + exif;
        const QString path = u"%1/album-%2/photo-%3.jpg"_s.arg(root)
                                 .arg(i / 50 + 1, 2, 10, QChar(u'0'))
                                 .arg(i + 1, 4, 10, QChar(u'0'));
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(jpeg.left(2) + segment + jpeg.mid(2)) < 0)
            qFatal("cannot write %s", qPrintable(path));
        made.append(path);
    }
    return made;
}

// The resize of the albums with and without gallery pages, alternated; the medians and what the
// pages add. What pages cost is told, not judged.
void galleryPagesRow(const QString &work, int rounds, int count)
{
    const QString root = work + u"/albums"_s;
    const QStringList images = makeAlbums(root, count);
    const int folders = (count + 49) / 50;
    say(u"Gallery pages: %1 photographs of %2x%3 with captions in %4 folders, resized to %5 %, in %6"_s
            .arg(count)
            .arg(AlbumPhoto.width())
            .arg(AlbumPhoto.height())
            .arg(folders)
            .arg(AlbumPercent)
            .arg(root));
    // Wall times and processor times, without pages first; the pages are written on this
    // process's main thread, so its processor time shows their cost whatever else the machine does.
    QList<double> times[2];
    QList<double> processorTimes[2];
    for (int round = 1; round <= rounds; ++round) {
        for (const bool pages : {false, true}) {
            const QString out = work + (pages ? u"/albums-with-pages"_s : u"/albums-without-pages"_s);
            QDir(out).removeRecursively();
            QStringList notices;
            const double cpuBefore = cpuSeconds(RUSAGE_SELF);
            const double seconds =
                batch(root, images, out, notices, pages ? u"pages"_s : QString(), AlbumPercent);
            const double cpu = cpuSeconds(RUSAGE_SELF) - cpuBefore;
            times[pages ? 1 : 0].append(seconds);
            processorTimes[pages ? 1 : 0].append(cpu);
            if (pages != QFile::exists(out + u"/index.html"_s))
                qFatal("the batch %s gallery pages", pages ? "wrote no" : "wrote");
            figure(u"round %1: Resize of the albums %2 pages: %3 s (processor time %4 s)"_s.arg(round)
                       .arg(pages ? u"with"_s : u"without"_s)
                       .arg(seconds, 0, 'f', 2)
                       .arg(cpu, 0, 'f', 2));
        }
    }
    const double plain = median(times[0]);
    const double paged = median(times[1]);
    const double plainCpu = median(processorTimes[0]);
    const double pagedCpu = median(processorTimes[1]);
    figure(u"Gallery pages on a %1-image resize (%2 pages): median %3 s without pages, %4 s with, %5 s more, "
           u"ratio %6; processor time %7 s and %8 s, %9 s more, ratio %10"_s.arg(count)
               .arg(folders + 1)
               .arg(plain, 0, 'f', 2)
               .arg(paged, 0, 'f', 2)
               .arg(paged - plain, 0, 'f', 2)
               .arg(paged / plain, 0, 'f', 3)
               .arg(plainCpu, 0, 'f', 2)
               .arg(pagedCpu, 0, 'f', 2)
               .arg(pagedCpu - plainCpu, 0, 'f', 2)
               .arg(pagedCpu / plainCpu, 0, 'f', 3));

    // The pages step alone, on the tree the last batch with pages wrote: from nothing, as after a
    // first resize, then with nothing changed, as after the next. Unlike the difference above, the
    // load of the machine hardly moves it.
    const QString out = work + u"/albums-with-pages"_s;
    const OutputLayout layout(root, out, u"100x100"_s, u"tn_"_s);
    Catalog catalog;
    for (const QString &image : images)
        catalog.addEntry(image);
    const GalleryPlan plan =
        GallerySurvey::plan(layout, GalleryOptions(), GalleryPlan::shownEntries(catalog, layout));
    // The pages, not the previews the resize wrote.
    for (const QString &file : plan.files()) {
        if (OutputLayout::previewedName(OutputLayout::fileName(file)).isEmpty())
            QFile::remove(out + u'/' + file);
    }
    QElapsedTimer timer;
    timer.start();
    const int written = GalleryWriter(plan, u"albums"_s).write();
    const double fresh = static_cast<double>(timer.restart()) / 1000.0;
    const int rewritten = GalleryWriter(plan, u"albums"_s).write();
    const double again = static_cast<double>(timer.elapsed()) / 1000.0;
    figure(u"Gallery pages step alone: %1 files written in %2 s (%3 of the resize without pages); with "
           u"nothing changed %4 files written in %5 s"_s.arg(written)
               .arg(fresh, 0, 'f', 2)
               .arg(fresh / plain, 0, 'f', 3)
               .arg(rewritten)
               .arg(again, 0, 'f', 2));
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Magick::InitializeMagick(nullptr);

    QTemporaryDir scratch;
    QString corpus = scratch.path() + u"/corpus"_s;
    QString work = scratch.path();
    qsizetype count = -1;
    int rounds = 3;
    int galleryImages = 1000;
    bool pagesOnly = false;
    const QStringList arguments = app.arguments();
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == u"--pages-only"_s) {
            pagesOnly = true;
            continue;
        }
        if (i + 1 == arguments.size())
            break;
        const QString &value = arguments[++i];
        if (arguments[i - 1] == u"--corpus"_s)
            corpus = value;
        else if (arguments[i - 1] == u"--work"_s)
            work = value;
        else if (arguments[i - 1] == u"--count"_s)
            count = value.toLongLong();
        else if (arguments[i - 1] == u"--rounds"_s)
            rounds = std::max(1, value.toInt());
        else if (arguments[i - 1] == u"--pages"_s)
            galleryImages = std::max(0, value.toInt());
    }
    if (pagesOnly) {
        galleryPagesRow(work, rounds, std::max(1, galleryImages));
        return 0;
    }

    if (!QFile::exists(corpus + u"/MD5SUMS"_s)) {
        say(u"Generating the corpus in %1 (about a minute)..."_s.arg(corpus));
        if (!run(u"/bin/bash"_s, {Generator, corpus}))
            qFatal("the corpus generator failed");
    }
    const QString photos = work + u"/photos"_s;
    const QStringList images = stagePhotographs(corpus, photographs(corpus).mid(0, count), photos);
    say(u"Corpus: %1 photographs of %2, copied to %3"_s.arg(images.size()).arg(corpus, photos));

    const QString loopOut = work + u"/convert-loop"_s;

    // The runs alternate, so that other work on the machine weighs on all alike; the medians are
    // compared. The processor time tells how much work each needed whatever the load.
    QList<double> loopTimes;
    QList<double> loopProcessorTimes;
    QList<WebRow> rows{{u"default"_s, QString(), {}, {}},
                       {u"remove location and camera details"_s, u"strip_private"_s, {}, {}},
                       {u"turn pictures upright"_s, u"auto_orient"_s, {}, {}},
                       {u"convert colours to sRGB"_s, u"srgb"_s, {}, {}},
                       {u"faster decoding of large JPEGs"_s, u"fast_decode"_s, {}, {}}};
    auto outFor = [&](const WebRow &row) {
        return work + u"/batch-"_s + (row.key.isEmpty() ? u"default"_s : row.key);
    };
    for (int round = 1; round <= rounds; ++round) {
        QDir(loopOut).removeRecursively();
        const double loopCpuBefore = cpuSeconds(RUSAGE_CHILDREN);
        loopTimes.append(baseline(photos, images, loopOut));
        const double loopCpu = cpuSeconds(RUSAGE_CHILDREN) - loopCpuBefore;
        loopProcessorTimes.append(loopCpu);
        figure(u"round %1: convert loop (2 processes per image) %2 s (processor time %3 s)"_s.arg(round)
                   .arg(loopTimes.last(), 0, 'f', 2)
                   .arg(loopCpu, 0, 'f', 2));
        for (WebRow &row : rows) {
            QDir(outFor(row)).removeRecursively();
            QStringList notices;
            const double batchCpuBefore = cpuSeconds(RUSAGE_SELF);
            row.times.append(batch(photos, images, outFor(row), notices, row.key));
            const double batchCpu = cpuSeconds(RUSAGE_SELF) - batchCpuBefore;
            row.processorTimes.append(batchCpu);
            figure(
                u"round %1: Resize batch through the main window, %2: %3 s (processor time %4 s), ratio %5"_s
                    .arg(round)
                    .arg(row.caption)
                    .arg(row.times.last(), 0, 'f', 2)
                    .arg(batchCpu, 0, 'f', 2)
                    .arg(row.times.last() / loopTimes.last(), 0, 'f', 3));
            for (const QString &notice : notices)
                say(u"  message: "_s + notice);
        }
    }
    const double loopSeconds = median(loopTimes);
    const double batchSeconds = median(rows.first().times);
    figure(u"median: convert loop %1 s, Resize batch %2 s"_s.arg(loopSeconds, 0, 'f', 2)
               .arg(batchSeconds, 0, 'f', 2));

    int identical = 0;
    int compared = 0;
    for (const QString &image : images) {
        const QString relative = QDir(photos).relativeFilePath(image);
        for (const QString &name : {relative, QDir(photos).relativeFilePath(thumbnailOf(image))}) {
            ++compared;
            if (samePixels(loopOut + u'/' + name, outFor(rows.first()) + u'/' + name))
                ++identical;
            else
                say(u"  differs: "_s + name);
        }
    }
    const double ratio = batchSeconds / loopSeconds;
    figure(u"Pixel-identical outputs and thumbnails: %1 of %2"_s.arg(identical).arg(compared));
    figure(u"Ratio of the medians, batch / convert loop: %1 (target at most %2)"_s.arg(ratio, 0, 'f', 3)
               .arg(Target, 0, 'f', 2));
    bool ok = identical == compared && ratio <= Target;

    // One row per web option: the corpus has no metadata, profile or orientation, so the first
    // three have nothing to change and must cost next to nothing. Their cost is weighed in
    // processor time, which other work on the machine does not change (the wall times of runs a
    // minute apart differ by a third on a busy machine); the fast decode is weighed as the main
    // row is, by the wall time against the loop's.
    const double batchProcessor = median(rows.first().processorTimes);
    for (qsizetype r = 1; r < rows.size(); ++r) {
        const WebRow &row = rows.at(r);
        const double seconds = median(row.times);
        const double processor = median(row.processorTimes);
        double lowest = std::numeric_limits<double>::infinity();
        int same = 0;
        for (const QString &image : images) {
            const QString relative = QDir(photos).relativeFilePath(image);
            for (const QString &name : {relative, QDir(photos).relativeFilePath(thumbnailOf(image))}) {
                const double value = psnr(loopOut + u'/' + name, outFor(row) + u'/' + name);
                lowest = std::min(lowest, value);
                same += std::isinf(value) ? 1 : 0;
            }
        }
        const bool fast = row.key == u"fast_decode"_s;
        const bool rowOk = fast ? seconds / loopSeconds <= FastTarget && lowest >= FastPsnr
                                : processor / batchProcessor <= OptionCost;
        figure(u"Web option \"%1\": median %2 s, ratio to the convert loop %3 (processor time %4), to the "
               u"default batch %5 (processor time %6); lowest PSNR against convert %7 dB, %8 of %9 "
               u"pixel-identical"_s.arg(row.caption)
                   .arg(seconds, 0, 'f', 2)
                   .arg(seconds / loopSeconds, 0, 'f', 3)
                   .arg(processor / median(loopProcessorTimes), 0, 'f', 3)
                   .arg(seconds / batchSeconds, 0, 'f', 3)
                   .arg(processor / batchProcessor, 0, 'f', 3)
                   .arg(std::isinf(lowest) ? u"inf"_s : QString::number(lowest, 'f', 1))
                   .arg(same)
                   .arg(compared));
        say(u"  target: %1: %2"_s
                .arg(fast ? u"ratio to the loop at most %1, every output at least %2 dB"_s.arg(FastTarget)
                                .arg(FastPsnr)
                          : u"processor time at most %1 of the default batch's"_s.arg(OptionCost))
                .arg(rowOk ? u"met"_s : u"MISSED"_s));
        ok = ok && rowOk;
    }
    cameraThumbnailBytes(images.first(), work);
    if (galleryImages > 0)
        galleryPagesRow(work, rounds, galleryImages);
    say(ok ? u"PASS"_s : u"FAIL"_s);
    return ok ? 0 : 1;
}
