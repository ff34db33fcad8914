// Uploads 200 files of 100 KB in 5 folders through the main window to a local server, and the
// same tree with `lftp mirror -R --parallel=1` to the same server, alternating for several
// rounds; prints the medians and their ratio. One row for each way the program can upload:
// plain FTP and FTP over TLS (pyftpdlib, TLS required on control and data) and SFTP (paramiko).
// Each upload follows a scan of the photographs' folder, as a user's would; only the upload is
// timed. After each round both uploaded trees are compared byte for byte with the one sent.
//
// Usage: upload_bench [ftp] [ftps] [sftp]   (default: all three, in that order)

#include "BenchSupport.h"
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
constexpr double Target = 1.30;
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

bool startServer(Server &server, const QString &protocol, const Credentials &credentials, const QString &home)
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
                const QString &local, const QString &remote)
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
        settings + u"set net:max-retries 1; mirror -R --parallel=1 \"%1\" %2; bye"_s.arg(local, remote);
    QElapsedTimer timer;
    timer.start();
    const bool done = run(
        u"lftp"_s, {u"-u"_s, u"bench,bench"_s, u"-p"_s, QString::number(server.port), u"-e"_s, script, site});
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    return done ? seconds : -1;
}

QStringList entriesOf(const QListWidget &list)
{
    QStringList entries;
    for (int row = 0; row < list.count(); ++row)
        entries.append(list.item(row)->text());
    entries.sort();
    return entries;
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
    for (const QString &text : std::as_const(boxes.texts))
        std::fprintf(stderr, "the upload showed a box: %s\n", qPrintable(text));
    return complete && shown && boxes.texts.isEmpty() ? seconds : -1;
}

struct Row
{
    QString protocol;
    double lftp = 0;
    double upload = 0;
};

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList protocols = app.arguments().mid(1);
    for (const QString &protocol : std::as_const(protocols)) {
        if (std::find(std::begin(Protocols), std::end(Protocols), protocol) == std::end(Protocols)) {
            std::fprintf(stderr, "usage: upload_bench [ftp] [ftps] [sftp]\n");
            return 2;
        }
    }
    if (protocols.isEmpty())
        protocols = QStringList(std::begin(Protocols), std::end(Protocols));

    QTemporaryDir dir;
    const QString imageRoot = dir.filePath(u"Photos"_s);
    const QString destination = dir.filePath(u"Web"_s);
    SettingsLocation::setFolderOverride(dir.path());
    // The window checks an SFTP server's key against $HOME/.ssh/known_hosts: a home of the
    // benchmark's own leaves the user's file alone, and keeps the user's settings from lftp.
    const QString userHome = dir.filePath(u"user"_s);
    QDir().mkpath(userHome + u"/.ssh"_s);
    qputenv("HOME", QFile::encodeName(userHome));
    BoxRecorder boxes;
    MessageBoxService::setInstance(&boxes);

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
    const QHash<QString, QByteArray> sent = treeOf(destination);
    qint64 sentBytes = 0;
    for (const QByteArray &bytes : sent)
        sentBytes += bytes.size();
    bench::say(u"tree: %1 files, %2 bytes in %3 folders"_s.arg(sent.size()).arg(sentBytes).arg(Folders));

    Credentials credentials;
    if (!makeCredentials(dir.path(), protocols, credentials)) {
        std::fprintf(stderr, "could not make the certificate or the host key\n");
        return 2;
    }
    auto store = [](const QString &key, const QString &value) {
        WriteIniValue(u"settings.ini"_s, u"ftp"_s, key, value);
    };
    store(u"address"_s, u"127.0.0.1"_s);
    store(u"username"_s, u"bench"_s);
    store(u"password"_s, FtpPassword::storedForm(u"bench"_s));

    QList<Row> rows;
    for (const QString &protocol : std::as_const(protocols)) {
        const QString caption = protocol.toUpper();
        const QString home = dir.filePath(u"server-"_s + protocol);
        QDir().mkpath(home);
        Server server;
        if (!startServer(server, protocol, credentials, home)) {
            std::fprintf(stderr, "the %s server did not start\n", qPrintable(caption));
            return 2;
        }
        const QString site = u"127.0.0.1:%1"_s.arg(server.port);
        store(u"security"_s, protocol);
        store(u"port"_s, QString::number(server.port));
        // As if the user had trusted this certificate once; the upload then asks nothing.
        store(u"tls_pin"_s, protocol == u"ftps"_s ? site + u' ' + credentials.pin : QString());
        if (protocol == u"sftp"_s) {
            QFile knownHosts(userHome + u"/.ssh/known_hosts"_s);
            if (!knownHosts.open(QIODevice::WriteOnly) ||
                knownHosts.write(
                    u"[127.0.0.1]:%1 %2\n"_s.arg(server.port).arg(credentials.hostPublicKey).toLatin1()) < 0)
                return 2;
        }

        QList<double> lftpTimes;
        QList<double> uploadTimes;
        for (int round = 1; round <= Rounds; ++round) {
            const QString root = u"pexa%1"_s.arg(round);
            const QString lftpRoot = u"lftp%1"_s.arg(round);
            QDir().mkpath(home + u'/' + root);
            store(u"root"_s, root);
            // Alternating which goes first, so that neither always meets a server that has just
            // been busy.
            double lftp = -1;
            double upload = -1;
            if (round % 2 == 1) {
                lftp = timeLftp(protocol, credentials, server, destination, lftpRoot);
                upload = timeUpload(boxes, imageRoot, destination, folders, images);
            } else {
                upload = timeUpload(boxes, imageRoot, destination, folders, images);
                lftp = timeLftp(protocol, credentials, server, destination, lftpRoot);
            }
            const QString uploaded =
                lftp < 0 || upload < 0 ? QString() : treeDifference(sent, home + u'/' + root);
            const QString mirrored =
                lftp < 0 || upload < 0 ? QString() : treeDifference(sent, home + u'/' + lftpRoot);
            if (lftp < 0 || upload < 0 || !uploaded.isEmpty() || !mirrored.isEmpty()) {
                std::fprintf(stderr, "%s round %d failed (lftp %.3f, upload %.3f)%s%s%s%s\n",
                             qPrintable(caption), round, lftp, upload,
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
        rows.append({caption, median(lftpTimes), median(uploadTimes)});
    }
    MessageBoxService::setInstance(nullptr);

    for (const Row &row : std::as_const(rows)) {
        figure(
            u"%1 median lftp mirror -R --parallel=1: %2 s"_s.arg(row.protocol, -4).arg(row.lftp, 0, 'f', 3));
        figure(u"%1 median upload through the window:   %2 s"_s.arg(row.protocol, -4)
                   .arg(row.upload, 0, 'f', 3));
        figure(u"%1 ratio upload / lftp: %2 (target at most %3)"_s.arg(row.protocol, -4)
                   .arg(row.upload / row.lftp, 0, 'f', 2)
                   .arg(Target, 0, 'f', 2));
    }
    return 0;
}
