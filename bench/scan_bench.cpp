// Times a scan of a large tree through the real main window against a bare walk of the same
// files that reads every file's size, and measures what listing the images adds to memory.
//
// The scan stops at its image limit, so on a big tree it examines only part of it: the bare
// walk goes through the files in the scan's order and stops after as many files as the scan
// says it examined, so both do the work for the same files. A separate, untimed walk checks
// that the files and the listed images really are the same.
//
//   python3 bench/make_tree.py /tmp/pexa-tree
//   QT_QPA_PLATFORM=offscreen build-bench/bench/scan_bench /tmp/pexa-tree

#include "BenchSupport.h"
#include "CatalogActions.h"
#include "ErrorReporter.h"
#include "MessageBoxService.h"
#include "Settings.h"
#include "frmMain.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <system_error>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;
using bench::control;
using bench::figure;
using bench::say;

namespace {

constexpr double AllowedRatio = 3.0;
constexpr double AllowedMegabytes = 60.0;
constexpr int Rounds = 3;
constexpr long WholeTree = std::numeric_limits<long>::max();

// Answers every box with OK and keeps its text, so the limit message does not stop the run.
class CountingMessageBox : public MessageBoxService
{
public:
    Answer show(QWidget *, const QString &text, const QString &, Icon, Buttons) override
    {
        texts.append(text);
        return Answer::Ok;
    }
    QStringList texts;
};

double residentMegabytes()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

struct Walk
{
    double seconds = 0;
    long files = 0;
    std::uintmax_t bytes = 0;
};

// The baseline: the scan's traversal without the window. recursive_directory_iterator lists
// each folder in the system's order and enters a sub-folder where it meets it, without
// following links to folders, as the scan does; everything else counts as a file, as in the
// scan, and its size is read. Stops after fileLimit files.
Walk bareWalk(const std::filesystem::path &root, long fileLimit)
{
    QElapsedTimer timer;
    timer.start();
    Walk walk;
    for (const auto &entry : std::filesystem::recursive_directory_iterator(root)) {
        if (walk.files >= fileLimit)
            break;
        std::error_code error;
        if (entry.is_directory(error))
            continue;
        const std::uintmax_t size = std::filesystem::file_size(entry.path(), error);
        if (!error)
            walk.bytes += size;
        ++walk.files;
    }
    walk.seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    return walk;
}

// The same traversal as bareWalk, keeping the paths spelled as the scan lists them.
QStringList firstFiles(const std::filesystem::path &root, long fileLimit)
{
    QStringList files;
    for (const auto &entry : std::filesystem::recursive_directory_iterator(root)) {
        if (files.size() >= fileLimit)
            break;
        std::error_code error;
        if (!entry.is_directory(error))
            files.append(QFile::decodeName(entry.path().native().c_str()));
    }
    return files;
}

// The names the scan lists, written out here rather than taken from the program, so that a
// change in what the scan lists shows up as a mismatch.
bool isImageName(const QString &path)
{
    const QString upper = path.toUpper();
    for (const QString &extension : {u".JPG"_s, u".JPEG"_s, u".BMP"_s, u".GIF"_s, u".PNG"_s}) {
        if (upper.endsWith(extension))
            return true;
    }
    return false;
}

struct ScanCounts
{
    long images = 0;
    long files = 0;
};

// The status line a finished scan leaves: "N images out of M scanned!".
bool readStatus(const QLabel &status, ScanCounts &counts)
{
    static const QRegularExpression pattern(u"^(\\d+) images out of (\\d+) scanned!$"_s);
    const QRegularExpressionMatch match = pattern.match(status.text());
    if (!match.hasMatch())
        return false;
    counts.images = match.captured(1).toLong();
    counts.files = match.captured(2).toLong();
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString tree = argc > 1 ? QString::fromLocal8Bit(argv[1]) : u"/tmp/pexa-tree"_s;
    const std::filesystem::path root = QFile::encodeName(tree).toStdString();
    if (!std::filesystem::is_directory(root)) {
        std::fprintf(stderr, "no tree at %s: make it with python3 %s/make_tree.py %s\n", qPrintable(tree),
                     PEXA_BENCH_DIR, qPrintable(tree));
        return 2;
    }

    QTemporaryDir settings;
    SettingsLocation::setFolderOverride(settings.path());
    CountingMessageBox boxes;
    MessageBoxService::setInstance(&boxes);
    int reports = 0;
    ErrorReporter::setHandler([&reports](const ErrorReport &) { ++reports; });

    frmMain form;
    form.show();
    auto *rootBox = control<QLineEdit>(form, u"txtImgRootPath"_s);
    auto *scanButton = control<QPushButton>(form, u"cmdScan"_s);
    auto *status = control<QLabel>(form, u"Label1"_s);
    rootBox->setText(tree);

    // Warms the cache, and gives the per-file cost of a walk over the whole tree for comparison.
    bareWalk(root, WholeTree);
    const Walk whole = bareWalk(root, WholeTree);

    // Scan and baseline alternate, so that other work on the machine weighs on both alike.
    double scanSeconds = std::numeric_limits<double>::max();
    double walkSeconds = std::numeric_limits<double>::max();
    double memoryAdded = 0;
    ScanCounts counts;
    long walked = 0;
    bool steady = true;
    for (int round = 0; round < Rounds; ++round) {
        app.processEvents();
        const double before = residentMegabytes();
        QElapsedTimer timer;
        timer.start();
        scanButton->click();
        scanSeconds = std::min(scanSeconds, static_cast<double>(timer.nsecsElapsed()) / 1e9);
        if (round == 0)
            memoryAdded = residentMegabytes() - before;

        ScanCounts thisRound;
        if (!readStatus(*status, thisRound)) {
            std::fprintf(stderr, "the scan left no count of what it examined: \"%s\"\n",
                         qPrintable(status->text()));
            return 1;
        }
        if (round > 0 && (thisRound.images != counts.images || thisRound.files != counts.files))
            steady = false;
        counts = thisRound;

        const Walk walk = bareWalk(root, counts.files);
        walkSeconds = std::min(walkSeconds, walk.seconds);
        walked = walk.files;
    }

    // The untimed check that the baseline's files are the scan's files: the images among them,
    // in order, are what the list holds, and when the limit stopped the scan the last file
    // examined is the image past the limit.
    const QStringList files = firstFiles(root, counts.files);
    QStringList images;
    for (const QString &file : files) {
        if (isImageName(file))
            images.append(file);
    }
    const Catalog &catalog = form.catalogActions()->catalog();
    QStringList listed;
    listed.reserve(catalog.size());
    for (const CatalogEntry &entry : catalog.entries())
        listed.append(entry.path);
    const qsizetype unlisted = images.size() - listed.size();
    bool sameFiles = steady && walked == counts.files && files.size() == counts.files &&
                     images.size() == counts.images && (unlisted == 0 || unlisted == 1) &&
                     images.mid(0, listed.size()) == listed;
    if (sameFiles && unlisted == 1)
        sameFiles = files.last() == images.last();

    const double examined = static_cast<double>(counts.files);
    const double scanPerFile = scanSeconds / examined * 1e6;
    const double walkPerFile = walkSeconds / examined * 1e6;
    const double ratio = scanSeconds / walkSeconds;
    const double perFileRatio = scanPerFile / walkPerFile;

    say(u"tree                    %1 (%2 files)"_s.arg(tree).arg(whole.files));
    const QString coverage =
        whole.files > counts.files
            ? u"for comparison only: %1 files more than the scan examined"_s.arg(whole.files - counts.files)
            : u"the scan examined the whole tree"_s;
    figure(u"bare walk, whole tree   %1 s, %2 µs per file (%3)"_s.arg(whole.seconds, 0, 'f', 3)
               .arg(whole.seconds / static_cast<double>(whole.files) * 1e6, 0, 'f', 2)
               .arg(coverage));
    figure(u"scan through window     %1 s (best of %2), %3 µs per file; %4 images listed, %5 counted, "
           u"%6 files examined, %7 folders"_s.arg(scanSeconds, 0, 'f', 3)
               .arg(Rounds)
               .arg(scanPerFile, 0, 'f', 2)
               .arg(catalog.size())
               .arg(counts.images)
               .arg(counts.files)
               .arg(catalog.folders().size()));
    figure(u"bare walk, same files   %1 s (best of %2), %3 µs per file; %4 files, in the scan's order"_s
               .arg(walkSeconds, 0, 'f', 3)
               .arg(Rounds)
               .arg(walkPerFile, 0, 'f', 2)
               .arg(walked));
    figure(u"ratio scan / bare walk  %1 total, %2 per file (allowed %3)"_s.arg(ratio, 0, 'f', 2)
               .arg(perFileRatio, 0, 'f', 2)
               .arg(AllowedRatio, 0, 'f', 1));
    say(u"same files              %1"_s.arg(sameFiles ? u"yes"_s : u"NO"_s));
    figure(u"memory for the list     %1 MB resident added (allowed %2)"_s.arg(memoryAdded, 0, 'f', 1)
               .arg(AllowedMegabytes, 0, 'f', 0));
    say(u"messages                %1; error reports %2"_s.arg(boxes.texts.join(u" | "_s)).arg(reports));

    MessageBoxService::setInstance(nullptr);
    ErrorReporter::resetHandler();
    const bool within = sameFiles && ratio <= AllowedRatio && memoryAdded < AllowedMegabytes && reports == 0;
    say(within ? u"WITHIN LIMITS"_s : u"OVER LIMITS"_s);
    return within ? 0 : 1;
}
