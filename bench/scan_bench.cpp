// Times a scan of a large tree through the real main window against a bare walk of the same
// tree that reads every file's size, and measures what listing the images adds to memory.
//
//   python3 bench/make_tree.py /tmp/pexa-tree
//   QT_QPA_PLATFORM=offscreen build-bench/bench/scan_bench /tmp/pexa-tree

#include "ErrorReporter.h"
#include "MessageBoxService.h"
#include "Settings.h"
#include "frmMain.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr double AllowedRatio = 3.0;
constexpr double AllowedMegabytes = 60.0;
constexpr int Rounds = 3;

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
    return resident * double(::sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// The baseline: every entry of the tree, and the size of every file.
double bareWalkSeconds(const std::filesystem::path &root, long &files)
{
    QElapsedTimer timer;
    timer.start();
    files = 0;
    std::uintmax_t bytes = 0;
    for (const auto &entry : std::filesystem::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) {
            bytes += std::filesystem::file_size(entry.path());
            ++files;
        }
    }
    if (bytes == std::uintmax_t(-1))
        std::puts("unreachable");
    return timer.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QString tree = argc > 1 ? QString::fromLocal8Bit(argv[1]) : u"/tmp/pexa-tree"_s;
    if (!std::filesystem::is_directory(tree.toStdString())) {
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
    form.txtImgRootPath->setText(tree);

    long files = 0;
    bareWalkSeconds(tree.toStdString(), files); // warms the cache
    double baseline = 1e9;
    for (int round = 0; round < Rounds; ++round)
        baseline = std::min(baseline, bareWalkSeconds(tree.toStdString(), files));

    double scan = 1e9;
    double memoryAdded = 0;
    for (int round = 0; round < Rounds; ++round) {
        app.processEvents();
        const double before = residentMegabytes();
        QElapsedTimer timer;
        timer.start();
        form.cmdScan->click();
        scan = std::min(scan, timer.nsecsElapsed() / 1e9);
        if (round == 0)
            memoryAdded = residentMegabytes() - before;
    }

    const double ratio = scan / baseline;
    std::printf("tree                 %s (%ld files)\n", qPrintable(tree), files);
    std::printf("bare walk + sizes    %.3f s (best of %d)\n", baseline, Rounds);
    std::printf(
        "scan through window  %.3f s (best of %d), %d images listed, %d folders, %.0f files examined\n", scan,
        Rounds, form.List1->count(), form.lstFolders->count(), form.run.FilesScanned);
    std::printf("ratio                %.2f (allowed %.1f)\n", ratio, AllowedRatio);
    std::printf("memory for the list  %.1f MB resident added (allowed %.0f)\n", memoryAdded,
                AllowedMegabytes);
    std::printf("messages             %s; error reports %d\n", qPrintable(boxes.texts.join(u" | "_s)),
                reports);

    MessageBoxService::setInstance(nullptr);
    ErrorReporter::resetHandler();
    const bool within = ratio <= AllowedRatio && memoryAdded < AllowedMegabytes && reports == 0;
    std::printf("%s\n", within ? "WITHIN LIMITS" : "OVER LIMITS");
    return within ? 0 : 1;
}
