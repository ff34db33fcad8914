// Uploads 200 files of 100 KB in 5 folders through the main window to a local pyftpdlib
// server, and the same tree with `lftp mirror -R --parallel=1` to the same server, alternating
// for several rounds; prints the medians and their ratio. Each upload follows a scan of the
// photographs' folder, as a user's would; only the upload is timed.
#include "BenchSupport.h"
#include "FtpPassword.h"
#include "Settings.h"
#include "frmMain.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cstdio>

using namespace Qt::Literals::StringLiterals;
using bench::control;
using bench::figure;

namespace {

constexpr int Folders = 5;
constexpr int FilesPerFolder = 40;
constexpr int FileSize = 100 * 1024;
constexpr int Rounds = 9;

struct Server
{
    QProcess process;
    quint16 port = 0;
};

bool startServer(Server &server, const QString &home)
{
    const QString users =
        u"[{\"name\":\"bench\",\"password\":\"bench\",\"perm\":\"elradfmwMT\",\"home\":\"%1\"}]"_s.arg(home);
    server.process.start(u"/usr/bin/python3"_s,
                         {QStringLiteral(PEXA_BENCH_SCRIPTS_DIR "/ftp_server.py"), u"--users"_s, users});
    while (!server.process.canReadLine() && server.process.waitForReadyRead(15000)) {
    }
    server.port = static_cast<quint16>(server.process.readLine().trimmed().toUInt());
    return server.port != 0;
}

qint64 treeBytes(const QString &root, int *files)
{
    qint64 bytes = 0;
    *files = 0;
    QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        bytes += it.fileInfo().size();
        ++*files;
    }
    return bytes;
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

double timeLftp(const Server &server, const QString &local, const QString &remote)
{
    const QString script = u"set ftp:ssl-allow no; set ftp:passive-mode on; set net:max-retries 1; "
                           "mirror -R --parallel=1 %1 %2; bye"_s.arg(local, remote);
    QElapsedTimer timer;
    timer.start();
    const int code =
        QProcess::execute(u"lftp"_s, {u"-u"_s, u"bench,bench"_s, u"-p"_s, QString::number(server.port),
                                      u"-e"_s, script, u"127.0.0.1"_s});
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    return code == 0 ? seconds : -1;
}

QStringList entriesOf(const QListWidget &list)
{
    QStringList entries;
    for (int row = 0; row < list.count(); ++row)
        entries.append(list.item(row)->text());
    entries.sort();
    return entries;
}

double timeUpload(const QString &imageRoot, const QString &destination, const QStringList &folders,
                  const QStringList &images)
{
    frmMain form;
    form.show();
    control<QLineEdit>(form, u"txtImgRootPath"_s)->setText(imageRoot);
    control<QComboBox>(form, u"cmbTNSize"_s)->setEditText(u"Disabled"_s);
    control<QLineEdit>(form, u"txtFDestin"_s)->setText(destination);
    control<QPushButton>(form, u"cmdScan"_s)->click();
    const auto *list = control<QListWidget>(form, u"List1"_s);
    if (entriesOf(*list) != images || entriesOf(*control<QListWidget>(form, u"lstFolders"_s)) != folders) {
        std::fprintf(stderr, "the scan did not list the %lld photographs in their %lld folders\n",
                     static_cast<long long>(images.size()), static_cast<long long>(folders.size()));
        return -1;
    }
    auto *upload = control<QPushButton>(form, u"cmdUpload"_s);
    if (!upload->isEnabled()) {
        std::fprintf(stderr, "Upload is not enabled after the scan\n");
        return -1;
    }
    QElapsedTimer timer;
    timer.start();
    QTest::mouseClick(upload, Qt::LeftButton);
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    // A complete upload empties the list.
    const bool complete = list->count() == 0;
    QWidget *status = bench::topLevelWindow(u"FTPStatus"_s);
    const bool shown = status != nullptr;
    if (!shown)
        std::fprintf(stderr, "the upload showed no progress window\n");
    delete status;
    return complete && shown ? seconds : -1;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString imageRoot = dir.filePath(u"Photos"_s);
    const QString destination = dir.filePath(u"Web"_s);
    const QString home = dir.filePath(u"home"_s);
    QDir().mkpath(home);
    SettingsLocation::setFolderOverride(dir.path());

    QStringList folders;
    QStringList images;
    QRandomGenerator random(7);
    for (int f = 0; f < Folders; ++f) {
        const QString folder = u"album%1"_s.arg(f + 1);
        folders.append(imageRoot + u'/' + folder);
        QDir().mkpath(imageRoot + u'/' + folder);
        QDir().mkpath(destination + u'/' + folder);
        for (int i = 0; i < FilesPerFolder; ++i) {
            const QString name = u"%1/img%2.jpg"_s.arg(folder).arg(i + 1, 3, 10, QChar(u'0'));
            QByteArray bytes(FileSize, Qt::Uninitialized);
            random.fillRange(reinterpret_cast<quint32 *>(bytes.data()), FileSize / 4);
            QFile file(destination + u'/' + name);
            if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
                return 2;
            // What the scan finds; the upload sends the file of the same name below the destination.
            QFile photo(imageRoot + u'/' + name);
            if (!photo.open(QIODevice::WriteOnly))
                return 2;
            images.append(imageRoot + u'/' + name);
        }
    }

    Server server;
    if (!startServer(server, home)) {
        std::fprintf(stderr, "the FTP server did not start\n");
        return 2;
    }
    auto store = [](const QString &key, const QString &value) {
        WriteIniValue(u"settings.ini"_s, u"ftp"_s, key, value);
    };
    store(u"address"_s, u"127.0.0.1"_s);
    store(u"username"_s, u"bench"_s);
    store(u"password"_s, FtpPassword::storedForm(u"bench"_s));
    store(u"port"_s, QString::number(server.port));

    int sentFiles = 0;
    const qint64 sentBytes = treeBytes(destination, &sentFiles);
    std::printf("tree: %d files, %lld bytes in %d folders\n", sentFiles, static_cast<long long>(sentBytes),
                Folders);

    QList<double> lftpTimes;
    QList<double> uploadTimes;
    for (int round = 1; round <= Rounds; ++round) {
        const QString root = u"pexa%1"_s.arg(round);
        QDir().mkpath(home + u'/' + root);
        store(u"root"_s, root);
        // Alternating which goes first, so that neither always meets a server that has just
        // been busy.
        double lftp = -1;
        double upload = -1;
        if (round % 2 == 1) {
            lftp = timeLftp(server, destination, u"lftp%1"_s.arg(round));
            upload = timeUpload(imageRoot, destination, folders, images);
        } else {
            upload = timeUpload(imageRoot, destination, folders, images);
            lftp = timeLftp(server, destination, u"lftp%1"_s.arg(round));
        }
        int files = 0;
        const bool intact = treeBytes(home + u'/' + root, &files) == sentBytes && files == sentFiles;
        if (lftp < 0 || upload < 0 || !intact) {
            std::fprintf(stderr, "round %d failed (lftp %.3f, upload %.3f, tree %s)\n", round, lftp, upload,
                         intact ? "intact" : "incomplete");
            return 1;
        }
        figure(u"round %1: lftp %2 s, upload %3 s"_s.arg(round).arg(lftp, 0, 'f', 3).arg(upload, 0, 'f', 3));
        lftpTimes.append(lftp);
        uploadTimes.append(upload);
    }
    server.process.kill();
    server.process.waitForFinished();

    const double lftp = median(lftpTimes);
    const double upload = median(uploadTimes);
    figure(u"median lftp mirror -R --parallel=1: %1 s"_s.arg(lftp, 0, 'f', 3));
    figure(u"median upload through the window:   %1 s"_s.arg(upload, 0, 'f', 3));
    figure(u"ratio upload / lftp: %1 (target at most 1.30)"_s.arg(upload / lftp, 0, 'f', 2));
    return 0;
}
