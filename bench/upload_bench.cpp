// Uploads 200 files of 100 KB in 5 folders through the main window to a local server, and the
// same tree with `lftp mirror -R --parallel=1` to the same server, alternating for several
// rounds; prints the medians and their ratio. One row for each way the program can upload:
// plain FTP and FTP over TLS (pyftpdlib, TLS required on control and data) and SFTP (paramiko).
// Each upload follows a scan of the photographs' folder, as a user's would; only the upload is
// timed. After each round both uploaded trees are compared byte for byte with the one sent.
//
// With --latency MS the servers hold every reply that long (SFTP: everything they send), a
// stand-in for a link's round trip, and the rows are others, each against lftp over the same
// protocol to the same server in the same run:
//   - the 200 files on 1 connection against `lftp mirror -R --parallel=1`;
//   - the same on 4 connections (`[ftp] connections` = 4) against `--parallel=4`;
//   - a publish again: 1,000 files already on the server (copied into its folder with their
//     times kept) and 5 added, sent with only new and changed files (`[ftp] only_changed` = 1)
//     against `lftp mirror -R`, which by default leaves out a file the server has with the same
//     size and time (and one the server has newer), at the precision of the listing.
// Each row also gives the commands the server received (SFTP: requests) per file sent, from
// its command log, for the program and for lftp.
//
// Usage: upload_bench [--latency MS] [--rounds N] [ftp] [ftps] [sftp]
//        (default: no latency, 9 rounds, or 3 with a latency; all three protocols, in that order)

#include "BenchSupport.h"
#include "CatalogActions.h"
#include "FtpPassword.h"
#include "MessageBoxService.h"
#include "Settings.h"
#include "frmMain.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QMap>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSet>
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
constexpr int LatencyRounds = 3;
constexpr double Target = 1.30;
// The tree published again: these many already on the server in each folder, one added.
constexpr int OldFilesPerFolder = 200;
// Only against a client or server that hangs; the figures are not judged by it.
constexpr int ProcessLimitMs = 300000;

const QString Protocols[] = {u"ftp"_s, u"ftps"_s, u"sftp"_s};

// Any box during an upload fails the round: a question about the server's identity would mean
// the pin or known_hosts did not hold, and an error box that some file did not go.
class BoxRecorder : public MessageBoxService
{
public:
    Answer show(QWidget *, const QString &text, const QString &title, Icon, Buttons buttons) override
    {
        texts.append(title + u": "_s + text);
        return buttons == Buttons::Ok ? Answer::Ok : Answer::No;
    }
    QStringList texts;
};

// What the secure servers and their clients are given: a self-signed certificate for
// 127.0.0.1 with the pin of its key, and an SSH host key.
struct Credentials
{
    QString certificate;
    QString certificateKey;
    QString pin;
    QString hostKey;
    // "ssh-ed25519 AAAA…", as known_hosts holds it after the host's name.
    QString hostPublicKey;
};

struct Server
{
    // Also on a failed round: the server outlives nothing of the run.
    ~Server()
    {
        process.kill();
        process.waitForFinished();
    }
    QProcess process;
    quint16 port = 0;
};

// The program's output, or false when it could not run or failed.
bool run(const QString &program, const QStringList &arguments, const QByteArray &input = {},
         QByteArray *output = nullptr)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    if (!process.waitForStarted())
        return false;
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(ProcessLimitMs)) {
        process.kill();
        process.waitForFinished();
        return false;
    }
    if (output)
        *output = process.readAllStandardOutput();
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool makeCredentials(const QString &folder, const QStringList &protocols, Credentials &made)
{
    if (protocols.contains(u"ftps"_s)) {
        made.certificate = folder + u"/cert.pem"_s;
        made.certificateKey = folder + u"/key.pem"_s;
        if (!run(u"openssl"_s, {u"req"_s, u"-x509"_s, u"-newkey"_s, u"ec"_s, u"-pkeyopt"_s,
                                u"ec_paramgen_curve:P-256"_s, u"-nodes"_s, u"-days"_s, u"2"_s, u"-subj"_s,
                                u"/CN=127.0.0.1"_s, u"-addext"_s, u"subjectAltName=IP:127.0.0.1"_s,
                                u"-keyout"_s, made.certificateKey, u"-out"_s, made.certificate}))
            return false;
        // The pin as a user's "trust this certificate" stores it: SHA-256 of the key's DER.
        QByteArray publicKey;
        QByteArray der;
        QByteArray digest;
        QByteArray text;
        if (!run(u"openssl"_s, {u"x509"_s, u"-pubkey"_s, u"-noout"_s, u"-in"_s, made.certificate}, {},
                 &publicKey) ||
            !run(u"openssl"_s, {u"pkey"_s, u"-pubin"_s, u"-outform"_s, u"der"_s}, publicKey, &der) ||
            !run(u"openssl"_s, {u"dgst"_s, u"-sha256"_s, u"-binary"_s}, der, &digest) ||
            !run(u"base64"_s, {}, digest, &text) || text.trimmed().isEmpty())
            return false;
        made.pin = u"sha256//"_s + QString::fromLatin1(text.trimmed());
    }
    if (protocols.contains(u"sftp"_s)) {
        made.hostKey = folder + u"/host_key"_s;
        if (!run(u"ssh-keygen"_s, {u"-q"_s, u"-t"_s, u"ed25519"_s, u"-N"_s, u""_s, u"-f"_s, made.hostKey}))
            return false;
        QFile publicKey(made.hostKey + u".pub"_s);
        if (!publicKey.open(QIODevice::ReadOnly))
            return false;
        made.hostPublicKey = QString::fromLatin1(publicKey.readAll()).section(u' ', 0, 1);
    }
    return true;
}

bool startServer(Server &server, const QString &protocol, const Credentials &credentials, const QString &home,
                 int latencyMs, const QString &commandLog)
{
    const QJsonArray users{QJsonObject{{u"name"_s, u"bench"_s},
                                       {u"password"_s, u"bench"_s},
                                       {u"perm"_s, u"elradfmwMT"_s},
                                       {u"home"_s, home}}};
    QStringList arguments{u"--users"_s,
                          QString::fromUtf8(QJsonDocument(users).toJson(QJsonDocument::Compact))};
    QString script = QStringLiteral(PEXA_BENCH_SCRIPTS_DIR "/ftp_server.py");
    if (protocol == u"ftps"_s)
        arguments << u"--tls-cert"_s << credentials.certificate << u"--tls-key"_s
                  << credentials.certificateKey;
    if (protocol == u"sftp"_s) {
        script = QStringLiteral(PEXA_BENCH_SCRIPTS_DIR "/sftp_server.py");
        arguments << u"--host-key"_s << credentials.hostKey;
    }
    if (latencyMs > 0)
        arguments << u"--latency"_s << QString::number(latencyMs) << u"--commands"_s << commandLog;
    server.process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server.process.start(u"/usr/bin/python3"_s, QStringList{script} + arguments);
    while (!server.process.canReadLine() && server.process.waitForReadyRead(15000)) {
    }
    server.port = static_cast<quint16>(server.process.readLine().trimmed().toUInt());
    return server.port != 0;
}

// Every file below the root by its path from there, hidden ones too: a temporary file the
// upload left behind is a fault.
QHash<QString, QByteArray> treeOf(const QString &root)
{
    QHash<QString, QByteArray> tree;
    const QDir base(root);
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        tree.insert(base.relativeFilePath(file.fileName()),
                    file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray());
    }
    return tree;
}

// Empty when the received tree holds the sent files, byte for byte, and nothing else.
QString treeDifference(const QHash<QString, QByteArray> &sent, const QString &received)
{
    const QHash<QString, QByteArray> tree = treeOf(received);
    for (auto it = sent.cbegin(); it != sent.cend(); ++it) {
        if (!tree.contains(it.key()))
            return it.key() + u" is missing"_s;
        const QByteArray &got = tree.value(it.key());
        if (got != it.value()) {
            const auto [at, unused] =
                std::mismatch(got.begin(), got.end(), it.value().begin(), it.value().end());
            return u"%1 differs: %2 bytes for %3, the first difference at byte %4"_s.arg(it.key())
                .arg(got.size())
                .arg(it.value().size())
                .arg(at - got.begin());
        }
    }
    for (auto it = tree.cbegin(); it != tree.cend(); ++it) {
        if (!sent.contains(it.key()))
            return it.key() + u" was not sent"_s;
    }
    return QString();
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

// lftp's own defaults for each protocol, with encryption made a must where the window's client
// makes it one.
double timeLftp(const QString &protocol, const Credentials &credentials, const Server &server,
                const QString &local, const QString &remote, int parallel = 1)
{
    QString settings;
    QString site = u"127.0.0.1"_s;
    if (protocol == u"ftp"_s) {
        settings = u"set ftp:ssl-allow no; set ftp:passive-mode on; "_s;
    } else if (protocol == u"ftps"_s) {
        settings = u"set ftp:ssl-force true; set ftp:ssl-protect-data true; set ssl:ca-file \"%1\"; "
                   "set ftp:passive-mode on; "_s.arg(credentials.certificate);
    } else {
        // Straight to the password, as the window's client logs in, whatever the system's ssh
        // configuration would try first.
        settings = u"set sftp:connect-program \"ssh -a -x -F /dev/null -o StrictHostKeyChecking=no "
                   "-o UserKnownHostsFile=/dev/null -o PreferredAuthentications=password\"; "_s;
        site = u"sftp://127.0.0.1"_s;
    }
    const QString script =
        settings +
        u"set net:max-retries 1; mirror -R --parallel=%3 \"%1\" %2; bye"_s.arg(local, remote).arg(parallel);
    QElapsedTimer timer;
    timer.start();
    const bool done = run(
        u"lftp"_s, {u"-u"_s, u"bench,bench"_s, u"-p"_s, QString::number(server.port), u"-e"_s, script, site});
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    return done ? seconds : -1;
}

QStringList sorted(QStringList paths)
{
    paths.sort();
    return paths;
}

QStringList entriesOf(const Catalog &catalog)
{
    QStringList entries;
    for (const CatalogEntry &entry : catalog.entries())
        entries.append(entry.path);
    return sorted(entries);
}

double timeUpload(BoxRecorder &boxes, const QString &imageRoot, const QString &destination,
                  const QStringList &folders, const QStringList &images)
{
    boxes.texts.clear();
    frmMain form;
    form.show();
    control<QLineEdit>(form, u"txtImgRootPath"_s)->setText(imageRoot);
    control<QComboBox>(form, u"cmbTNSize"_s)->setEditText(u"Disabled"_s);
    control<QLineEdit>(form, u"txtFDestin"_s)->setText(destination);
    control<QPushButton>(form, u"cmdScan"_s)->click();
    const Catalog &catalog = form.catalogActions()->catalog();
    if (entriesOf(catalog) != images || sorted(catalog.folders()) != folders) {
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
    const bool complete = catalog.isEmpty();
    QWidget *status = bench::topLevelWindow(u"FTPStatus"_s);
    const bool shown = status != nullptr;
    if (!shown)
        std::fprintf(stderr, "the upload showed no progress window\n");
    delete status;
    for (const QString &text : std::as_const(boxes.texts))
        std::fprintf(stderr, "the upload showed a box: %s\n", qPrintable(text));
    return complete && shown && boxes.texts.isEmpty() ? seconds : -1;
}

// A tree of photographs to publish: empty files below the image root, which the scan finds,
// and the files of the same names below the destination, which the upload sends.
struct Tree
{
    QString imageRoot;
    QString destination;
    QStringList folders;
    QStringList images;
};

// Adds files img<first>.jpg to img<first + count - 1>.jpg to each of the tree's Folders folders,
// each of FileSize random bytes.
bool addFiles(Tree &tree, int first, int count, QRandomGenerator &random)
{
    for (int f = 0; f < Folders; ++f) {
        const QString folder = u"album%1"_s.arg(f + 1);
        if (!tree.folders.contains(tree.imageRoot + u'/' + folder)) {
            tree.folders.append(tree.imageRoot + u'/' + folder);
            QDir().mkpath(tree.imageRoot + u'/' + folder);
            QDir().mkpath(tree.destination + u'/' + folder);
        }
        for (int i = first; i < first + count; ++i) {
            const QString name = u"%1/img%2.jpg"_s.arg(folder).arg(i, 3, 10, QChar(u'0'));
            QByteArray bytes(FileSize, Qt::Uninitialized);
            random.fillRange(reinterpret_cast<quint32 *>(bytes.data()), FileSize / 4);
            QFile file(tree.destination + u'/' + name);
            if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
                return false;
            QFile photo(tree.imageRoot + u'/' + name);
            if (!photo.open(QIODevice::WriteOnly))
                return false;
            tree.images.append(tree.imageRoot + u'/' + name);
        }
    }
    tree.images.sort();
    return true;
}

// What a server received in one run, from its command log: "<connection> <VERB> <argument>"
// for FTP, "<connection> <request> <path>" for SFTP.
struct Commands
{
    int total = 0;
    QSet<QString> connections;
    QMap<QString, int> verbs;

    // STOR, or an SFTP open: neither client reads a file.
    int filesSent() const { return verbs.value(u"STOR"_s) + verbs.value(u"open"_s); }
    QString summary() const
    {
        QList<std::pair<int, QString>> byCount;
        for (auto it = verbs.cbegin(); it != verbs.cend(); ++it)
            byCount.append({-it.value(), it.key()});
        std::sort(byCount.begin(), byCount.end());
        QStringList counted;
        for (const auto &[count, verb] : std::as_const(byCount))
            counted.append(u"%1 %2"_s.arg(verb).arg(-count));
        const int files = filesSent();
        return u"%1 commands on %2 for %3 files sent (%4 a file): %5"_s.arg(total)
            .arg(connections.size() == 1 ? u"1 connection"_s : u"%1 connections"_s.arg(connections.size()))
            .arg(files)
            .arg(files ? static_cast<double>(total) / files : 0.0, 0, 'f', 2)
            .arg(counted.join(u", "_s));
    }
};

// The commands logged after the first `seen` lines; `seen` then counts them too. A client may
// still be closing its connections when it returns: what it sends then is waited for.
Commands commandsSince(const QString &log, qsizetype &seen, int latencyMs)
{
    QTest::qWait(4 * latencyMs + 200);
    QFile file(log);
    QList<QByteArray> lines;
    if (file.open(QIODevice::ReadOnly))
        lines = file.readAll().split('\n');
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    Commands commands;
    for (qsizetype i = seen; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines.at(i).split(' ');
        QString verb = QString::fromUtf8(fields.value(1));
        if (verb == u"SITE"_s)
            verb += u' ' + QString::fromUtf8(fields.value(2)).toUpper();
        ++commands.total;
        commands.connections.insert(QString::fromUtf8(fields.value(0)));
        ++commands.verbs[verb];
    }
    seen = lines.size();
    return commands;
}

bool copyTree(const QString &from, const QString &to)
{
    // cp keeps the modification times to the nanosecond, as a publish that set them would.
    return run(u"cp"_s, {u"-a"_s, from, to});
}

// What every round needs: the window's settings, the client's and the server's files.
struct Bench
{
    BoxRecorder boxes;
    Credentials credentials;
    QString userHome;

    static void store(const QString &key, const QString &value)
    {
        WriteIniValue(u"settings.ini"_s, u"ftp"_s, key, value);
    }
};

// The loopback row of a protocol: the 200 files, the window against lftp --parallel=1, each
// round printed as it ends; the medians and their ratio are added to `summary`.
int loopbackRow(Bench &bench, const QString &protocol, const Server &server, const QString &home,
                const Tree &tree, int rounds, QStringList &summary)
{
    const QString caption = protocol.toUpper();
    const QHash<QString, QByteArray> sent = treeOf(tree.destination);
    QList<double> lftpTimes;
    QList<double> uploadTimes;
    for (int round = 1; round <= rounds; ++round) {
        const QString root = u"pexa%1"_s.arg(round);
        const QString lftpRoot = u"lftp%1"_s.arg(round);
        QDir().mkpath(home + u'/' + root);
        Bench::store(u"root"_s, root);
        // Alternating which goes first, so that neither always meets a server that has just
        // been busy.
        double lftp = -1;
        double upload = -1;
        if (round % 2 == 1) {
            lftp = timeLftp(protocol, bench.credentials, server, tree.destination, lftpRoot);
            upload = timeUpload(bench.boxes, tree.imageRoot, tree.destination, tree.folders, tree.images);
        } else {
            upload = timeUpload(bench.boxes, tree.imageRoot, tree.destination, tree.folders, tree.images);
            lftp = timeLftp(protocol, bench.credentials, server, tree.destination, lftpRoot);
        }
        const QString uploaded =
            lftp < 0 || upload < 0 ? QString() : treeDifference(sent, home + u'/' + root);
        const QString mirrored =
            lftp < 0 || upload < 0 ? QString() : treeDifference(sent, home + u'/' + lftpRoot);
        if (lftp < 0 || upload < 0 || !uploaded.isEmpty() || !mirrored.isEmpty()) {
            std::fprintf(stderr, "%s round %d failed (lftp %.3f, upload %.3f)%s%s%s%s\n", qPrintable(caption),
                         round, lftp, upload,
                         uploaded.isEmpty() ? "" : ", uploaded tree: ", qPrintable(uploaded),
                         mirrored.isEmpty() ? "" : ", lftp's tree: ", qPrintable(mirrored));
            return 1;
        }
        figure(u"%1 round %2: lftp %3 s, upload %4 s"_s.arg(caption)
                   .arg(round)
                   .arg(lftp, 0, 'f', 3)
                   .arg(upload, 0, 'f', 3));
        lftpTimes.append(lftp);
        uploadTimes.append(upload);
    }
    const double lftp = median(lftpTimes);
    const double upload = median(uploadTimes);
    summary << u"%1 median lftp mirror -R --parallel=1: %2 s"_s.arg(caption, -4).arg(lftp, 0, 'f', 3)
            << u"%1 median upload through the window:   %2 s"_s.arg(caption, -4).arg(upload, 0, 'f', 3)
            << u"%1 ratio upload / lftp: %2 (target at most %3)"_s.arg(caption, -4)
                   .arg(upload / lftp, 0, 'f', 2)
                   .arg(Target, 0, 'f', 2);
    return 0;
}

// One of the rows measured at a latency.
struct LatencyRow
{
    QString name;
    // The window's settings.
    int connections;
    bool onlyChanged;
    int lftpParallel;
    // The tree sent, and the one already on the server before each run (empty: none).
    const Tree *tree;
    QString onServer;
    double target;
};

// Each row against lftp, alternating which goes first, with the commands the server received
// from each; both trees the server then holds are compared with the one sent.
int latencyRows(Bench &bench, const QString &protocol, const Server &server, const QString &home,
                const QString &commandLog, const QList<LatencyRow> &rows, int latencyMs, int rounds)
{
    const QString caption = u"%1 at %2 ms"_s.arg(protocol.toUpper()).arg(latencyMs);
    qsizetype seen = 0;
    for (qsizetype index = 0; index < rows.size(); ++index) {
        const LatencyRow &row = rows.at(index);
        const QHash<QString, QByteArray> sent = treeOf(row.tree->destination);
        QList<double> lftpTimes;
        QList<double> uploadTimes;
        Commands lftpCommands;
        Commands uploadCommands;
        Bench::store(u"connections"_s, QString::number(row.connections));
        Bench::store(u"only_changed"_s, row.onlyChanged ? u"1"_s : u"0"_s);
        for (int round = 1; round <= rounds; ++round) {
            const QString root = home + u"/pexa-row%1-round%2"_s.arg(index + 1).arg(round);
            const QString lftpRoot = home + u"/lftp-row%1-round%2"_s.arg(index + 1).arg(round);
            const bool prepared = row.onServer.isEmpty()
                                      ? QDir().mkpath(root)
                                      : copyTree(row.onServer, root) && copyTree(row.onServer, lftpRoot);
            if (!prepared) {
                std::fprintf(stderr, "could not prepare the server's folders\n");
                return 2;
            }
            Bench::store(u"root"_s, QFileInfo(root).fileName());
            const auto timeLftpRun = [&] {
                const double seconds = timeLftp(protocol, bench.credentials, server, row.tree->destination,
                                                QFileInfo(lftpRoot).fileName(), row.lftpParallel);
                lftpCommands = commandsSince(commandLog, seen, latencyMs);
                return seconds;
            };
            const auto timeUploadRun = [&] {
                const double seconds = timeUpload(bench.boxes, row.tree->imageRoot, row.tree->destination,
                                                  row.tree->folders, row.tree->images);
                uploadCommands = commandsSince(commandLog, seen, latencyMs);
                return seconds;
            };
            double lftp = -1;
            double upload = -1;
            if (round % 2 == 1) {
                lftp = timeLftpRun();
                upload = timeUploadRun();
            } else {
                upload = timeUploadRun();
                lftp = timeLftpRun();
            }
            const QString uploaded = lftp < 0 || upload < 0 ? QString() : treeDifference(sent, root);
            const QString mirrored = lftp < 0 || upload < 0 ? QString() : treeDifference(sent, lftpRoot);
            if (lftp < 0 || upload < 0 || !uploaded.isEmpty() || !mirrored.isEmpty()) {
                std::fprintf(stderr, "%s, %s, round %d failed (lftp %.3f, upload %.3f)%s%s%s%s\n",
                             qPrintable(caption), qPrintable(row.name), round, lftp, upload,
                             uploaded.isEmpty() ? "" : ", uploaded tree: ", qPrintable(uploaded),
                             mirrored.isEmpty() ? "" : ", lftp's tree: ", qPrintable(mirrored));
                return 1;
            }
            figure(u"%1, %2, round %3: lftp %4 s, upload %5 s"_s.arg(caption, row.name)
                       .arg(round)
                       .arg(lftp, 0, 'f', 3)
                       .arg(upload, 0, 'f', 3));
            lftpTimes.append(lftp);
            uploadTimes.append(upload);
            QDir(root).removeRecursively();
            QDir(lftpRoot).removeRecursively();
        }
        const double lftp = median(lftpTimes);
        const double upload = median(uploadTimes);
        figure(u"%1, %2: median lftp mirror -R --parallel=%3 %4 s, upload through the window %5 s, "
               "ratio %6 (target at most %7)"_s.arg(caption, row.name)
                   .arg(row.lftpParallel)
                   .arg(lftp, 0, 'f', 3)
                   .arg(upload, 0, 'f', 3)
                   .arg(upload / lftp, 0, 'f', 2)
                   .arg(row.target, 0, 'f', 2));
        bench::say(u"    upload: "_s + uploadCommands.summary());
        bench::say(u"    lftp:   "_s + lftpCommands.summary());
    }
    return 0;
}

void usage()
{
    std::fprintf(stderr, "usage: upload_bench [--latency MS] [--rounds N] [ftp] [ftps] [sftp]\n");
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    int latencyMs = 0;
    int rounds = 0;
    QStringList protocols;
    while (!arguments.isEmpty()) {
        const QString argument = arguments.takeFirst();
        bool ok = true;
        if (argument == u"--latency"_s && !arguments.isEmpty())
            latencyMs = arguments.takeFirst().toInt(&ok);
        else if (argument == u"--rounds"_s && !arguments.isEmpty())
            rounds = arguments.takeFirst().toInt(&ok);
        else if (std::find(std::begin(Protocols), std::end(Protocols), argument) != std::end(Protocols))
            protocols.append(argument);
        else
            ok = false;
        if (!ok || latencyMs < 0 || rounds < 0) {
            usage();
            return 2;
        }
    }
    if (protocols.isEmpty())
        protocols = QStringList(std::begin(Protocols), std::end(Protocols));
    if (rounds == 0)
        rounds = latencyMs > 0 ? LatencyRounds : Rounds;

    QTemporaryDir dir;
    SettingsLocation::setFolderOverride(dir.path());
    Bench bench;
    // The window checks an SFTP server's key against $HOME/.ssh/known_hosts: a home of the
    // benchmark's own leaves the user's file alone, and keeps the user's settings from lftp.
    bench.userHome = dir.filePath(u"user"_s);
    QDir().mkpath(bench.userHome + u"/.ssh"_s);
    qputenv("HOME", QFile::encodeName(bench.userHome));
    MessageBoxService::setInstance(&bench.boxes);

    QRandomGenerator random(7);
    Tree tree{dir.filePath(u"Photos"_s), dir.filePath(u"Web"_s), {}, {}};
    if (!addFiles(tree, 1, FilesPerFolder, random))
        return 2;
    const QHash<QString, QByteArray> sent = treeOf(tree.destination);
    qint64 sentBytes = 0;
    for (const QByteArray &bytes : sent)
        sentBytes += bytes.size();
    bench::say(u"tree: %1 files, %2 bytes in %3 folders"_s.arg(sent.size()).arg(sentBytes).arg(Folders));

    // Published before: what the server holds is a copy made before the last files were added.
    Tree published{dir.filePath(u"Photos-published"_s), dir.filePath(u"Web-published"_s), {}, {}};
    const QString onServer = dir.filePath(u"on-server"_s);
    if (latencyMs > 0) {
        if (!addFiles(published, 1, OldFilesPerFolder, random) ||
            !copyTree(published.destination, onServer) ||
            !addFiles(published, OldFilesPerFolder + 1, 1, random))
            return 2;
        bench::say(
            u"published tree: %1 files in %2 folders, %3 of them on the server"_s.arg(published.images.size())
                .arg(Folders)
                .arg(OldFilesPerFolder * Folders));
    }
    const QList<LatencyRow> rows{
        {u"200 files on 1 connection"_s, 1, false, 1, &tree, {}, 1.05},
        {u"200 files on 4 connections"_s, 4, false, 4, &tree, {}, 1.0},
        {u"1,000 on the server and 5 added, only new and changed"_s, 1, true, 1, &published, onServer, 1.0}};

    if (!makeCredentials(dir.path(), protocols, bench.credentials)) {
        std::fprintf(stderr, "could not make the certificate or the host key\n");
        return 2;
    }
    Bench::store(u"address"_s, u"127.0.0.1"_s);
    Bench::store(u"username"_s, u"bench"_s);
    Bench::store(u"password"_s, FtpPassword::storedForm(u"bench"_s));

    QStringList summary;
    for (const QString &protocol : std::as_const(protocols)) {
        const QString caption = protocol.toUpper();
        const QString home = dir.filePath(u"server-"_s + protocol);
        const QString commandLog = dir.filePath(u"commands-"_s + protocol + u".log"_s);
        QDir().mkpath(home);
        Server server;
        if (!startServer(server, protocol, bench.credentials, home, latencyMs, commandLog)) {
            std::fprintf(stderr, "the %s server did not start\n", qPrintable(caption));
            return 2;
        }
        const QString site = u"127.0.0.1:%1"_s.arg(server.port);
        Bench::store(u"security"_s, protocol);
        Bench::store(u"port"_s, QString::number(server.port));
        // As if the user had trusted this certificate once; the upload then asks nothing.
        Bench::store(u"tls_pin"_s, protocol == u"ftps"_s ? site + u' ' + bench.credentials.pin : QString());
        if (protocol == u"sftp"_s) {
            QFile knownHosts(bench.userHome + u"/.ssh/known_hosts"_s);
            if (!knownHosts.open(QIODevice::WriteOnly) ||
                knownHosts.write(u"[127.0.0.1]:%1 %2\n"_s.arg(server.port)
                                     .arg(bench.credentials.hostPublicKey)
                                     .toLatin1()) < 0)
                return 2;
        }
        const int failed =
            latencyMs > 0 ? latencyRows(bench, protocol, server, home, commandLog, rows, latencyMs, rounds)
                          : loopbackRow(bench, protocol, server, home, tree, rounds, summary);
        if (failed)
            return failed;
    }
    MessageBoxService::setInstance(nullptr);
    for (const QString &line : std::as_const(summary))
        figure(line);
    return 0;
}
