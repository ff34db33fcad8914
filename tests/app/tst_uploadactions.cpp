#include "CatalogHelpers.h"
#include "Controls.h"
#include "FTPStatus.h"
#include "FakeFtpClient.h"
#include "FakeFtpServer.h"
#include "FtpPassword.h"
#include "FtpTestServer.h"
#include "GallerySurvey.h"
#include "ProtocolUnderTest.h"
#include "RunTimeError.h"
#include "Settings.h"
#include "TestFiles.h"
#include "TransferClients.h"
#include "UploadActions.h"
#include "WindowTestEnvironment.h"
#include "frmMain.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

using namespace Qt::Literals::StringLiterals;

namespace {

using Tree = QMap<QString, QByteArray>;

Tree treeOf(const QString &root)
{
    Tree tree;
    QDirIterator it(root, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = QDir(root).relativeFilePath(path);
        if (it.fileInfo().isDir()) {
            tree.insert(relative + u'/', QByteArray());
        } else {
            tree.insert(relative, readFile(path));
        }
    }
    return tree;
}

// Content that a text-mode transfer would change.
QByteArray contentFor(const QString &name)
{
    return name.toUtf8() + QByteArray("\r\n\n\0\xFF\xD8 binary", 14) + QByteArray(2000, '\x1A');
}

// Does what the user does in the middle of a network step (a click, a close box), delivered by
// the event loop as the user's input is, and waits until the run has taken it in.
void duringStep(QObject *target, std::function<void()> action, const std::function<bool()> &takenIn)
{
    QMetaObject::invokeMethod(target, std::move(action), Qt::QueuedConnection);
    QTRY_VERIFY(takenIn());
}

// Ticks on the window thread every 20 ms from its start; a long gap between ticks is a time the
// window could not repaint nor see a click. Each tick also runs the test's look at the window.
class WindowWatch : public QObject
{
public:
    explicit WindowWatch(std::function<void(qint64 now)> onTick = {}) : m_onTick(std::move(onTick))
    {
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] {
            const qint64 now = m_clock.elapsed();
            m_largestGap = std::max(m_largestGap, now - m_last);
            m_last = now;
            if (m_onTick)
                m_onTick(now);
        });
        m_clock.start();
        m_timer.start(20);
    }
    qint64 largestGap() const { return m_largestGap; }
    qint64 now() const { return m_clock.elapsed(); }

private:
    std::function<void(qint64)> m_onTick;
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_largestGap = 0;
};

} // namespace

// Every case runs over plain FTP, FTPS and SFTP.
class tst_UploadActions : public QObject
{
    Q_OBJECT

public:
    explicit tst_UploadActions(ProtocolUnderTest &protocol) : m_protocol(protocol) {}

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void happyPathMirrorsTheDestinationTree();
    void ftpRootForms_data();
    void ftpRootForms();
    void incompleteSettingsRefuseWithoutTheProgressWindow();
    void connectFailuresEndTheRun_data();
    void connectFailuresEndTheRun();
    void missingRootFolderEndsTheRun();
    void folderThatCannotBeMadeCancelsTheRun();
    void existingFoldersAreEnteredWithoutMaking();
    void missingFilesAreReportedAsFailures();
    void refusedPutsAreReportedAsFailures();
    void disabledThumbnailsAreNotSent();
    void allTickedListCompletesAtOnce();
    void imageRootEndingInASeparator();
    void longestNamesArriveWhole();
    void cancelInTheFolderPhase();
    void cancelInTheFilePhase();
    void closeBoxOfTheProgressWindowCancels();
    void closingTheMainWindowStopsTheRunAndClosesAfterIt();
    void secondRunReplacesRemoteFilesAndReusesTheWindow();
    void stalledPutFailsThatFileOnly();
    void aServerThatGoesAwayIsNotReportedAsACancel();
    void aPartCutOffByADyingServerGoesWithTheNextUpload();
    void slowServerLeavesTheWindowLive();
    void cancelIsTakenAtOnce_data();
    void cancelIsTakenAtOnce();
    void refusedThumbnailIsAFailure();
    void unexpectedErrorRestoresTheControlsAndCloses();
    void exitWhenCompleteClosesTheProgram();
    void resizeAndUploadRunsBothInTurn();
    void resizeAndUploadWithTheRealResize();
    void resizeAndUploadStopsWhenTheResizeRefuses();
    void severalConnectionsGoOnWhenOneIsKilled();
    void onlyChangedFilesGoTheSecondTime();
    void aPhotoDeletedFromTheImageRootLeavesTheServer();
    void galleryPagesArriveLastAndAnOldPageGoes();
    void galleryFilesFollowThePicturesAndUnchangedOnesStay();
    void untrustedServersAreAskedAboutAndChangedOnesRefused();
    void hostKeyThatCannotBeKeptIsTrustedForThisRunOnly();

private:
    void buildTree(const QStringList &images);
    void relist(const QStringList &images);
    void uploadRemovingMissing(const QString &deleted);
    void choose(const QString &key, const QString &value);
    void replaceTree(const QStringList &images, const QStringList &folders);
    void makeForm(const QStringList &ticked = {});
    void writeSettings(const QString &user, const QString &password, const QString &port,
                       const QString &root);
    void useClient(long stallSeconds = 60);
    void useFakeServer();
    void clickUpload();
    QStringList lines() const;
    FTPStatus *status() const;
    Tree serverTree(const QString &below) const;
    Tree fakeTree() const;
    Tree expectedTree(const QStringList &skipped, bool thumbnails = true) const;
    void verifyRestored(bool listKept);
    FtpTestServer &difficultServer(const FtpTestServer::Options &options);

    ProtocolUnderTest &m_protocol;
    // The known_hosts file the clients read.
    QString m_knownHosts;
    FtpTestServer m_server;
    QTemporaryDir m_dir;
    QString m_root;
    QString m_dest;
    QStringList m_images;
    QStringList m_folders;
    frmMain *m_form = nullptr;
    UploadActions *m_actions = nullptr;
    std::unique_ptr<WindowTestEnvironment> m_env;
    // The in-memory server of the cases that look at the window in the middle of a run.
    std::unique_ptr<FakeFtpServer> m_fake;
    std::unique_ptr<FtpTestServer> m_difficult;
};

void tst_UploadActions::initTestCase()
{
    m_server.setOptions(m_protocol.serverOptions({.stallName = u"stall.jpg"_s}));
    QVERIFY2(
        m_server.start(
            {{u"pexa"_s, u"pw 1"_s}, {u"nomkd"_s, u"pw"_s, u"elrwf"_s}, {u"noput"_s, u"pw"_s, u"elrm"_s}}),
        qPrintable(m_server.errorText()));
}

void tst_UploadActions::init()
{
    QVERIFY(m_dir.isValid());
    for (const QString &user : {u"pexa"_s, u"nomkd"_s, u"noput"_s}) {
        QDir(m_server.home(user)).removeRecursively();
        QDir().mkpath(m_server.home(user));
    }
    QDir(m_dir.path()).removeRecursively();
    m_env = std::make_unique<WindowTestEnvironment>();
    m_fake = std::make_unique<FakeFtpServer>();
    m_root = m_dir.filePath(u"Photos"_s);
    m_dest = m_dir.filePath(u"Web"_s);
    m_knownHosts = m_protocol.knownHostsPath();
    // Post-order, as the scan lists folders; the image directly in the root comes first.
    m_folders = {m_root + u"/2008/June"_s, m_root + u"/2008"_s, m_root + u"/Été d'or"_s};
    buildTree({u"root.jpg"_s, u"2008/a b.jpg"_s, u"2008/skip.jpg"_s, u"2008/June/img01.JPG"_s,
               u"2008/June/img02.png"_s, u"Été d'or/x.gif"_s});
    writeSettings(u"pexa"_s, u"pw 1"_s, QString::number(m_server.port()), u"/"_s);
}

void tst_UploadActions::cleanup()
{
    delete m_form;
    m_form = nullptr;
    m_difficult.reset();
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w->objectName() == u"FTPStatus"_s)
            delete w;
    }
    const QStringList left = m_env->leftovers();
    m_env.reset();
    QVERIFY2(left.isEmpty(), qPrintable(left.join(u"; "_s)));
}

void tst_UploadActions::buildTree(const QStringList &images)
{
    m_images.clear();
    for (const QString &relative : images) {
        const QString source = m_root + u'/' + relative;
        QVERIFY(writeFile(source, "source " + relative.toUtf8()));
        m_images.append(source);
        const QString counterpart = m_dest + u'/' + relative;
        QVERIFY(writeFile(counterpart, contentFor(relative)));
        const QFileInfo info(counterpart);
        QVERIFY(writeFile(info.path() + u"/tn_"_s + info.fileName(), contentFor(u"tn_"_s + relative)));
    }
}

// The list as a new scan of these images gives it, in a window that has run an upload before.
void tst_UploadActions::relist(const QStringList &images)
{
    m_images = images;
    showCatalog(*m_form, catalogOf(images, {}, catalogOf(*m_form).folders(), true));
    m_form->runState().ImagesFound = images.size();
    m_form->txtFDestin_Change();
}

// A new scan no longer finds the image; Upload with removals on, and Yes to the question.
void tst_UploadActions::uploadRemovingMissing(const QString &deleted)
{
    choose(u"remove_missing"_s, u"1"_s);
    QStringList left = m_images;
    left.removeAll(m_root + u'/' + deleted);
    relist(left);
    m_env->boxes.setNextAnswer(MessageBoxService::Answer::Yes);
    clickUpload();
}

void tst_UploadActions::choose(const QString &key, const QString &value)
{
    WriteIniValue(u"settings.ini"_s, u"ftp"_s, key, value);
}

// Only these images and folders, below the image root's path.
void tst_UploadActions::replaceTree(const QStringList &images, const QStringList &folders)
{
    QDir(m_root).removeRecursively();
    QDir(m_dest).removeRecursively();
    buildTree(images);
    m_folders.clear();
    for (const QString &folder : folders)
        m_folders.append(m_root + u'/' + folder);
}

void tst_UploadActions::makeForm(const QStringList &ticked)
{
    m_form = new frmMain;
    m_actions = m_form->findChild<UploadActions *>();
    QVERIFY(m_actions);
    useClient();
    m_form->show();
    control<QLineEdit>(*m_form, u"txtImgRootPath")->setText(m_root);
    control<QComboBox>(*m_form, u"cmbTNSize")->setEditText(u"50x50"_s);
    control<QLineEdit>(*m_form, u"txtTNPrefix")->setText(u"tn_"_s);
    m_form->runState().FileLimit = 32768;
    QList<bool> ticks;
    for (const QString &image : std::as_const(m_images))
        ticks.append(ticked.contains(QFileInfo(image).fileName()));
    showCatalog(*m_form, catalogOf(m_images, ticks, m_folders));
    m_form->runState().ImagesFound = m_images.size();
    control<QLineEdit>(*m_form, u"txtFDestin")->setText(m_dest);
    QVERIFY(control<QPushButton>(*m_form, u"cmdUpload")->isEnabled());
}

void tst_UploadActions::writeSettings(const QString &user, const QString &password, const QString &port,
                                      const QString &root)
{
    auto store = [](const QString &key, const QString &value) {
        WriteIniValue(u"settings.ini"_s, u"ftp"_s, key, value);
    };
    store(u"address"_s, u"127.0.0.1"_s);
    store(u"username"_s, user);
    store(u"password"_s, password.isEmpty() ? QString() : FtpPassword::storedForm(password));
    store(u"port"_s, port);
    store(u"root"_s, root);
    store(u"security"_s, m_protocol.name());
}

void tst_UploadActions::useClient(long stallSeconds)
{
    // As the program makes its client, but trusting the test CA and reading the test's known_hosts.
    m_actions->setClientFactory(
        [this, stallSeconds](const FtpSettings &server) -> std::unique_ptr<FtpClient> {
            ConnectionOptions options = m_protocol.clientOptions();
            options.security = server.security;
            options.tlsPin = server.tlsPin;
            options.knownHostsPath = m_knownHosts;
            options.stallSeconds = stallSeconds;
            return TransferClients::make(options);
        });
}

void tst_UploadActions::useFakeServer()
{
    m_actions->setClientFactory([this](const FtpSettings &) -> std::unique_ptr<FtpClient> {
        return std::make_unique<FakeFtpClient>(*m_fake);
    });
}

void tst_UploadActions::clickUpload()
{
    QTest::mouseClick(control<QPushButton>(*m_form, u"cmdUpload"), Qt::LeftButton);
}

QStringList tst_UploadActions::lines() const
{
    QStringList result;
    if (FTPStatus *window = status()) {
        for (int i = 0; i < window->FTPStatusMsgs->count(); ++i)
            result.append(window->FTPStatusMsgs->item(i)->text());
    }
    return result;
}

FTPStatus *tst_UploadActions::status() const
{
    return m_actions ? m_actions->statusWindow() : nullptr;
}

Tree tst_UploadActions::serverTree(const QString &below) const
{
    return treeOf(m_server.home(u"pexa"_s) + below);
}

// The in-memory server's tree as treeOf() gives a folder's.
Tree tst_UploadActions::fakeTree() const
{
    Tree tree;
    for (const QString &folder : m_fake->folders()) {
        if (!folder.isEmpty())
            tree.insert(folder + u'/', QByteArray());
    }
    const QMap<QString, FakeFtpServer::File> files = m_fake->files();
    for (auto it = files.cbegin(); it != files.cend(); ++it)
        tree.insert(it.key(), it->bytes);
    return tree;
}

Tree tst_UploadActions::expectedTree(const QStringList &skipped, bool thumbnails) const
{
    Tree tree = treeOf(m_dest);
    for (auto it = tree.begin(); it != tree.end();) {
        const QString name = QFileInfo(it.key()).fileName();
        const bool skip = skipped.contains(name) || skipped.contains(name.mid(3)) ||
                          (!thumbnails && name.startsWith(u"tn_"_s));
        it = skip ? tree.erase(it) : std::next(it);
    }
    return tree;
}

void tst_UploadActions::verifyRestored(bool listKept)
{
    QCOMPARE(control<QPushButton>(*m_form, u"cmdExit")->text(), u"Exit"_s);
    QCOMPARE(m_form->windowTitle(), u"Pexa Resizer"_s);
    const bool thumbnails = control<QComboBox>(*m_form, u"cmbTNSize")->currentText() != u"Disabled"_s;
    QCOMPARE(wrongControls(*m_form, (listKept ? Enabled::Ready : Enabled::Listed) +
                                        (thumbnails ? Enabled::Prefix : QStringList())),
             QString());
    QCOMPARE(shownEntries(control<QListView>(*m_form, u"List1")).size(), listKept ? m_images.size() : 0);
    QCOMPARE(m_form->runState().ImagesFound, listKept ? double(m_images.size()) : 0.0);
    QVERIFY(!m_form->runActive());
    if (status())
        QCOMPARE(status()->cmdCancel->text(), u"Exit"_s);
}

// A server of its own for one test, with a user "pexa" whom the settings name.
FtpTestServer &tst_UploadActions::difficultServer(const FtpTestServer::Options &options)
{
    m_difficult = std::make_unique<FtpTestServer>();
    m_difficult->setOptions(m_protocol.serverOptions(options));
    [&] { QVERIFY2(m_difficult->start({{u"pexa"_s, u"pw 1"_s}}), qPrintable(m_difficult->errorText())); }();
    writeSettings(u"pexa"_s, u"pw 1"_s, QString::number(m_difficult->port()), u"/"_s);
    return *m_difficult;
}

// On the in-memory server, to look at the window as the run logs in.
void tst_UploadActions::happyPathMirrorsTheDestinationTree()
{
    makeForm({u"skip.jpg"_s});
    useFakeServer();
    auto *List1 = control<QListView>(*m_form, u"List1");
    QStringList lockedStates;
    m_fake->setHook([&](const QString &operation, const QString &) {
        if (operation != u"login"_s)
            return;
        lockedStates << control<QPushButton>(*m_form, u"cmdExit")->text() << List1->toolTip()
                     << wrongControls(*m_form, QStringList()) << status()->cmdCancel->text()
                     << QString::number(status()->isVisible()) << QString::number(m_form->runActive());
    });
    clickUpload();

    QCOMPARE(lockedStates,
             QStringList({u"Cancel"_s, u"Unchecked - FTP Upload File / Checked - DO NOT FTP UPLOAD file."_s,
                          QString(), u"Cancel"_s, u"1"_s, u"1"_s}));
    QCOMPARE(lines(), QStringList({u"CD /"_s, u"Finding/Creating Folders on FTP Root"_s,
                                   u" - This may take time, be patient!"_s,
                                   u"Folders on FTP Root Successfully found/created."_s,
                                   u" - Working on Root Folder"_s, u" - Working on /2008"_s,
                                   u" - Working on /2008/June"_s, u" - Working on /Été d'or"_s,
                                   u"Files Successfully copied."_s}));
    QCOMPARE(fakeTree(), expectedTree({u"skip.jpg"_s}));
    QVERIFY(fakeTree().contains(u"2008/June/tn_img01.JPG"_s));
    QCOMPARE(status()->txtFIPG->text(), u"Operation Complete."_s);
    QCOMPARE(status()->windowTitle(), u"FTP Status"_s);
    QCOMPARE(status()->lblFileCount->text(), u"5 of 5 files"_s);
    QTRY_COMPARE(status()->prgFileBytes->value(), status()->prgFileBytes->maximum());
    QVERIFY(m_env->boxes.shown().isEmpty());
    QVERIFY(!control<QLabel>(*m_form, u"picbRawImage")->isVisible());
    QCOMPARE(List1->toolTip(), QString());
    // The emptied list cannot stand for the tree: an upload from it would offer every image.
    QVERIFY(!catalogOf(*m_form).wholeTree());
    verifyRestored(false);
    QCOMPARE(m_fake->connections(), 0);
    // One connection serves the whole run.
    QCOMPARE(m_fake->logins(), 1);

    // Exit closes the progress window.
    QTest::mouseClick(status()->cmdCancel, Qt::LeftButton);
    QTRY_VERIFY(!status());
}

void tst_UploadActions::ftpRootForms_data()
{
    QTest::addColumn<QString>("root");
    QTest::addColumn<QString>("landing");
    QTest::newRow("login folder") << u"/"_s << QString();
    QTest::newRow("leading slash") << u"/www/photos"_s << u"/www/photos"_s;
    QTest::newRow("relative") << u"www/photos"_s << u"/www/photos"_s;
    QTest::newRow("doubled and trailing slashes") << u"www//photos/"_s << u"/www/photos"_s;
}

void tst_UploadActions::ftpRootForms()
{
    QFETCH(QString, root);
    QFETCH(QString, landing);
    if (!landing.isEmpty())
        QVERIFY(QDir(m_server.home(u"pexa"_s)).mkpath(u"www/photos"_s));
    writeSettings(u"pexa"_s, u"pw 1"_s, QString::number(m_server.port()), root);
    makeForm();
    clickUpload();
    QCOMPARE(lines().value(0), u"CD "_s + root);
    QCOMPARE(lines().constLast(), u"Files Successfully copied."_s);
    QCOMPARE(serverTree(landing), expectedTree({}));
}

void tst_UploadActions::incompleteSettingsRefuseWithoutTheProgressWindow()
{
    for (const QString &key : {u"address"_s, u"username"_s, u"password"_s, u"port"_s, u"root"_s}) {
        writeSettings(u"pexa"_s, u"pw 1"_s, QString::number(m_server.port()), u"/"_s);
        WriteIniValue(u"settings.ini"_s, u"ftp"_s, key, QString());
        makeForm();
        clickUpload();
        QCOMPARE(m_env->boxes.take(), QStringList{u"FTP Settings not correct!!"_s});
        QCOMPARE(m_env->boxes.shown().last().title, u"FTP Error!!"_s);
        QCOMPARE(m_env->boxes.shown().last().icon, MessageBoxService::Icon::Critical);
        QVERIFY(!status());
        verifyRestored(true);
        QVERIFY(serverTree(QString()).isEmpty());
        delete m_form;
        m_form = nullptr;
    }
}

void tst_UploadActions::connectFailuresEndTheRun_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("closedPort");
    QTest::newRow("wrong password") << u"wrong"_s << false;
    QTest::newRow("closed port") << u"pw 1"_s << true;
}

void tst_UploadActions::connectFailuresEndTheRun()
{
    QFETCH(QString, password);
    QFETCH(bool, closedPort);
    quint16 port = m_server.port();
    if (closedPort) {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        port = probe.serverPort();
    }
    writeSettings(u"pexa"_s, password, QString::number(port), u"/"_s);
    makeForm();
    clickUpload();
    QCOMPARE(lines(), QStringList({u"ERROR: Failed to connect to 127.0.0.1"_s}));
    QCOMPARE(m_env->boxes.take(), QStringList({u"Address Connection Error!!"_s}));
    QCOMPARE(m_env->boxes.shown().at(0).title, u"FTP Error!!"_s);
    QCOMPARE(m_env->boxes.shown().at(0).icon, MessageBoxService::Icon::Critical);
    verifyRestored(true);
}

void tst_UploadActions::missingRootFolderEndsTheRun()
{
    QVERIFY(QDir(m_server.home(u"pexa"_s)).mkpath(u"www"_s));
    writeSettings(u"pexa"_s, u"pw 1"_s, QString::number(m_server.port()), u"/www/missing/"_s);
    makeForm();
    clickUpload();
    QCOMPARE(lines(), QStringList({u"ERROR: Failed to locate root folder!!"_s}));
    QCOMPARE(m_env->boxes.take(), QStringList({u"Cannot locate root folder!!"_s}));
    QCOMPARE(m_env->boxes.shown().at(0).title, u"FTP Error!!"_s);
    QVERIFY(serverTree(QString()) == Tree({{u"www/"_s, QByteArray()}}));
    verifyRestored(true);
}

void tst_UploadActions::folderThatCannotBeMadeCancelsTheRun()
{
    writeSettings(u"nomkd"_s, u"pw"_s, QString::number(m_server.port()), u"/"_s);
    makeForm();
    clickUpload();
    QCOMPARE(lines().mid(3),
             QStringList({u"ERROR: 2008 cannot be created!!"_s, u"ERROR: June cannot be created!!"_s,
                          u"ERROR: Cannot find/create /2008/June"_s, u"Operation cancelled."_s}));
    QCOMPARE(m_env->boxes.take(), QStringList({u"Cannot find/create folder!!"_s, u"Cancelled!!"_s}));
    QCOMPARE(m_env->boxes.shown().at(0).icon, MessageBoxService::Icon::Critical);
    QCOMPARE(m_env->boxes.shown().at(1).icon, MessageBoxService::Icon::None);
    QCOMPARE(m_env->boxes.shown().at(1).title, u"PexaResizer"_s);
    QCOMPARE(status()->txtFIPG->text(), QString());
    QVERIFY(treeOf(m_server.home(u"nomkd"_s)).isEmpty());
    verifyRestored(true);
}

void tst_UploadActions::existingFoldersAreEnteredWithoutMaking()
{
    for (const QString &folder : {u"2008"_s, u"2008/June"_s, u"Été d'or"_s})
        m_fake->addFolder(folder);
    makeForm();
    useFakeServer();
    clickUpload();
    QCOMPARE(lines().constLast(), u"Files Successfully copied."_s);
    QCOMPARE(m_fake->log().filter(u"mkdir"_s), QStringList());
    QCOMPARE(fakeTree(), expectedTree({}));
}

void tst_UploadActions::missingFilesAreReportedAsFailures()
{
    const QString missingImage = m_dest + u"/2008/a b.jpg"_s;
    QVERIFY(QFile::remove(missingImage));
    QVERIFY(QFile::remove(m_dest + u"/2008/June/tn_img01.JPG"_s));
    makeForm();
    clickUpload();
    QVERIFY(lines().contains(u"ERROR: "_s + missingImage + u" does not exist!!"_s));
    QCOMPARE(lines().constLast(), u"1 file failed to upload!!"_s);
    QVERIFY(!lines().contains(u"Files Successfully copied."_s));
    QCOMPARE(status()->txtFIPG->text(), u"Operation Completed with Errors!!"_s);
    QCOMPARE(m_env->boxes.take(), QStringList({u"1 file failed to upload!!"_s}));
    QCOMPARE(m_env->boxes.shown().at(0).title, u"FTP Error!!"_s);
    QCOMPARE(m_env->boxes.shown().at(0).icon, MessageBoxService::Icon::Critical);
    // The image without its thumbnail goes alone; everything else arrives.
    QCOMPARE(serverTree(QString()), expectedTree({u"a b.jpg"_s}));
    verifyRestored(true);
}

void tst_UploadActions::refusedPutsAreReportedAsFailures()
{
    writeSettings(u"noput"_s, u"pw"_s, QString::number(m_server.port()), u"/"_s);
    makeForm({u"x.gif"_s});
    clickUpload();
    const QStringList all = lines();
    QVERIFY(all.contains(u"ERROR: Failed to upload image file "_s + m_dest + u"/root.jpg"_s));
    QVERIFY(all.contains(u"ERROR: Failed to upload image file "_s + m_dest + u"/2008/June/img02.png"_s));
    QCOMPARE(all.filter(u"ERROR: Failed to upload thumbnail"_s).size(), 0);
    QCOMPARE(all.constLast(), u"5 files failed to upload!!"_s);
    QCOMPARE(m_env->boxes.take(), QStringList({u"5 files failed to upload!!"_s}));
    QCOMPARE(status()->lblFileCount->text(), u"5 of 5 files"_s);
    verifyRestored(true);
}

void tst_UploadActions::disabledThumbnailsAreNotSent()
{
    makeForm();
    control<QComboBox>(*m_form, u"cmbTNSize")->setEditText(u"Disabled"_s);
    clickUpload();
    QCOMPARE(lines().constLast(), u"Files Successfully copied."_s);
    QCOMPARE(serverTree(QString()), expectedTree({}, false));
    QVERIFY(!control<QLineEdit>(*m_form, u"txtTNPrefix")->isEnabled());
}

void tst_UploadActions::allTickedListCompletesAtOnce()
{
    QStringList names;
    for (const QString &image : std::as_const(m_images))
        names << QFileInfo(image).fileName();
    makeForm(names);
    clickUpload();
    QCOMPARE(lines().mid(3), QStringList({u"Folders on FTP Root Successfully found/created."_s,
                                          u" - Working on Root Folder"_s, u"Files Successfully copied."_s}));
    QCOMPARE(status()->txtFIPG->text(), u"Operation Complete."_s);
    QCOMPARE(status()->lblFileCount->text(), u"0 of 0 files"_s);
    // The folders are made whatever the ticks.
    QCOMPARE(serverTree(QString()).keys(), QStringList({u"2008/"_s, u"2008/June/"_s, u"Été d'or/"_s}));
    verifyRestored(false);
}

void tst_UploadActions::imageRootEndingInASeparator()
{
    makeForm();
    control<QLineEdit>(*m_form, u"txtImgRootPath")->setText(m_root + u'/');
    clickUpload();
    QCOMPARE(lines().mid(5), QStringList({u" - Working on 2008"_s, u" - Working on 2008/June"_s,
                                          u" - Working on Été d'or"_s, u"Files Successfully copied."_s}));
    QCOMPARE(serverTree(QString()), expectedTree({}));
}

void tst_UploadActions::cancelInTheFolderPhase()
{
    makeForm();
    useFakeServer();
    m_fake->setHook([&](const QString &operation, const QString &) {
        if (operation == u"mkdir"_s && !m_form->runState().cancelRequested())
            duringStep(
                status(), [this] { status()->cmdCancel->click(); },
                [this] { return m_form->runState().cancelRequested(); });
    });
    clickUpload();
    QCOMPARE(lines().constLast(), u"Operation cancelled."_s);
    QVERIFY(!lines().contains(u"Folders on FTP Root Successfully found/created."_s));
    QCOMPARE(status()->txtFIPG->text(), QString());
    QCOMPARE(m_env->boxes.take(), QStringList({u"Cancelled!!"_s}));
    verifyRestored(true);
    QCOMPARE(m_fake->connections(), 0);
}

void tst_UploadActions::cancelInTheFilePhase()
{
    makeForm();
    useFakeServer();
    int puts = 0;
    m_fake->setHook([&](const QString &operation, const QString &) {
        if (operation == u"put"_s && ++puts == 2)
            duringStep(
                m_form, [this] { control<QPushButton>(*m_form, u"cmdExit")->click(); },
                [this] { return m_form->runState().cancelRequested(); });
    });
    clickUpload();
    QCOMPARE(lines().constLast(), u"Operation cancelled."_s);
    QCOMPARE(status()->txtFIPG->text(), u"Operation Cancelled!!"_s);
    QCOMPARE(m_env->boxes.take(), QStringList({u"Cancelled!!"_s}));
    // Pressed during the second put (the first image's thumbnail): nothing after it is sent.
    QCOMPARE(puts, 2);
    QVERIFY(fakeTree().contains(u"root.jpg"_s));
    QVERIFY(!fakeTree().contains(u"Été d'or/x.gif"_s));
    verifyRestored(true);
}

void tst_UploadActions::closeBoxOfTheProgressWindowCancels()
{
    makeForm();
    useFakeServer();
    m_fake->setHook([&](const QString &operation, const QString &) {
        if (operation == u"put"_s && !m_form->runState().cancelRequested())
            duringStep(
                status(), [this] { status()->close(); },
                [this] { return m_form->runState().cancelRequested(); });
    });
    clickUpload();
    QVERIFY(status());
    QVERIFY(status()->isVisible());
    QCOMPARE(lines().constLast(), u"Operation cancelled."_s);
    QCOMPARE(m_env->boxes.take(), QStringList({u"Cancelled!!"_s}));
    // After the run the close box closes it.
    status()->close();
    QTRY_VERIFY(!status());
}

void tst_UploadActions::closingTheMainWindowStopsTheRunAndClosesAfterIt()
{
    makeForm();
    useFakeServer();
    int puts = 0;
    m_fake->setHook([&](const QString &operation, const QString &) {
        if (operation == u"put"_s && ++puts == 1)
            duringStep(
                m_form, [this] { m_form->close(); }, [this] { return m_form->closePending(); });
    });
    clickUpload();
    QCOMPARE(lines().constLast(), u"Operation cancelled."_s);
    // Closing cancels: the put in hand ends and nothing after it reaches the server. (The put of
    // its thumbnail may be begun, and refused at once, when the image was whole before the Cancel
    // reached its connection.)
    QVERIFY(puts <= 2);
    QStringList files = fakeTree().keys();
    files.removeIf([](const QString &path) { return path.endsWith(u'/'); });
    QVERIFY2(files.isEmpty() || files == QStringList({u"root.jpg"_s}), qPrintable(files.join(u", "_s)));
    // No closing messages for a program that is ending.
    QVERIFY(m_env->boxes.shown().isEmpty());
    QVERIFY(!m_form->isVisible());
    QVERIFY(!m_form->runActive());
}

void tst_UploadActions::secondRunReplacesRemoteFilesAndReusesTheWindow()
{
    makeForm();
    clickUpload();
    QCOMPARE(serverTree(QString()), expectedTree({}));
    const FTPStatus *first = status();
    const int firstLines = lines().size();

    QVERIFY(writeFile(m_dest + u"/2008/June/img01.JPG"_s, "replaced, and shorter"));
    showCatalog(*m_form,
                catalogOf(m_images, {}, catalogOf(*m_form).folders(), catalogOf(*m_form).wholeTree()));
    m_form->runState().ImagesFound = m_images.size();
    m_form->txtFDestin_Change();
    clickUpload();
    QCOMPARE(serverTree(QString()), expectedTree({}));
    QCOMPARE(serverTree(QString()).value(u"2008/June/img01.JPG"_s), QByteArray("replaced, and shorter"));
    // The window left open is cleared for the new run.
    QCOMPARE(status(), first);
    QCOMPARE(lines().size(), firstLines);
    QCOMPARE(status()->cmdCancel->text(), u"Exit"_s);
}

void tst_UploadActions::stalledPutFailsThatFileOnly()
{
    m_images.clear();
    buildTree({u"a.jpg"_s, u"stall.jpg"_s, u"z.jpg"_s});
    m_folders.clear();
    makeForm();
    control<QComboBox>(*m_form, u"cmbTNSize")->setEditText(u"Disabled"_s);
    useClient(2);
    clickUpload();
    QCOMPARE(lines().mid(5), QStringList({u"ERROR: Failed to upload image file "_s + m_dest + u"/stall.jpg"_s,
                                          u"1 file failed to upload!!"_s}));
    QCOMPARE(m_env->boxes.take(), QStringList{u"1 file failed to upload!!"_s});
    QVERIFY(serverTree(QString()).contains(u"z.jpg"_s));
    verifyRestored(true);
}

// The server dies as the third image is to go: the files left are counted, not tried one by one,
// and nobody cancelled anything.
void tst_UploadActions::aServerThatGoesAwayIsNotReportedAsACancel()
{
    replaceTree({u"a/1.jpg"_s, u"a/2.jpg"_s, u"a/3.jpg"_s, u"a/4.jpg"_s, u"b/5.jpg"_s, u"b/6.jpg"_s},
                {u"a"_s, u"b"_s});
    makeForm();
    useFakeServer();
    int puts = 0;
    m_fake->setHook([&](const QString &operation, const QString &) {
        if (operation == u"put"_s && ++puts == 5)
            m_fake->vanish();
    });
    clickUpload();
    QCOMPARE(lines().mid(5), QStringList({u" - Working on /a"_s,
                                          u"ERROR: The server stopped answering; 8 files were not sent."_s,
                                          u"8 files failed to upload!!"_s}));
    QCOMPARE(status()->txtFIPG->text(), u"Operation Completed with Errors!!"_s);
    QCOMPARE(m_env->boxes.take(), QStringList{u"8 files failed to upload!!"_s});
    verifyRestored(true);
}

// The server dies while a picture is on its way and keeps the part; started again, it gets the
// whole tree from the next Upload, and the part goes.
void tst_UploadActions::aPartCutOffByADyingServerGoesWithTheNextUpload()
{
    FtpTestServer &server = difficultServer({.throttle = 256 * 1024});
    replaceTree({u"2008/big.jpg"_s, u"2008/small.jpg"_s}, {u"2008"_s});
    QVERIFY(writeFile(m_dest + u"/2008/big.jpg"_s, QByteArray(1024 * 1024, 'b')));
    makeForm();
    const QDir folder(server.home(u"pexa"_s) + u"/2008"_s);
    const auto parts = [&folder] {
        return folder.entryInfoList({u".pexa-*.part"_s}, QDir::Files | QDir::Hidden);
    };
    bool killed = false;
    WindowWatch watch([&](qint64) {
        if (!killed && !parts().isEmpty() && parts().constFirst().size() > 0) {
            server.kill();
            killed = true;
        }
    });
    clickUpload();
    QVERIFY(killed);
    QCOMPARE(m_env->boxes.take().size(), 1);
    QCOMPARE(parts().size(), 1);

    QVERIFY2(server.restart(), qPrintable(server.errorText()));
    clickUpload();
    QCOMPARE(lines().constLast(), u"Files Successfully copied."_s);
    QCOMPARE(treeOf(server.home(u"pexa"_s)), expectedTree({}));
}

void tst_UploadActions::longestNamesArriveWhole()
{
    // 251 bytes, 254 with the thumbnail prefix: the temporary names on the server stay short.
    const QString name = QString(247, u'p') + u".jpg"_s;
    replaceTree({u"2008/"_s + name}, {u"2008"_s});
    makeForm();
    clickUpload();
    QCOMPARE(lines().constLast(), u"Files Successfully copied."_s);
    QCOMPARE(serverTree(QString()), expectedTree({}));
    QVERIFY(serverTree(QString()).contains(u"2008/tn_"_s + name));
}

void tst_UploadActions::slowServerLeavesTheWindowLive()
{
    // Each folder made and each file stored waits 0.8 s for its reply; uploads go at 256 KB/s.
    const FtpTestServer &server = difficultServer({.replyDelay = 0.8, .throttle = 512 * 1024});
    replaceTree({u"2008/big.jpg"_s}, {u"2008"_s});
    QByteArray big(1024 * 1024, Qt::Uninitialized);
    for (qsizetype i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 31 % 251);
    QVERIFY(writeFile(m_dest + u"/2008/big.jpg"_s, big));
    makeForm();
    const QString bigPath = m_dest + u"/2008/big.jpg"_s;
    int partway = 0;
    WindowWatch watch([&](qint64) {
        const FTPStatus *window = status();
        if (!window || window->txtFIPG->text() != bigPath)
            return;
        const int value = window->prgFileBytes->value();
        const int maximum = window->prgFileBytes->maximum();
        if (value > maximum / 10 && value < maximum * 9 / 10)
            ++partway;
    });
    clickUpload();
    const qint64 gap = watch.largestGap();
    qInfo("largest window-thread gap: %lld ms", static_cast<long long>(gap));
    QCOMPARE(lines().constLast(), u"Files Successfully copied."_s);
    QCOMPARE(treeOf(server.home(u"pexa"_s)), expectedTree({}));
    // The run took seconds; the window never stopped for anything like one reply's wait. The
    // margin is for a loaded machine and the sanitizer build: here the gap is 30 to 50 ms.
    QVERIFY2(watch.now() > 2000, qPrintable(QString::number(watch.now())));
    QVERIFY2(gap < 600, qPrintable(QString::number(gap)));
    // The bar followed the bytes of the big image, shown by name.
    QVERIFY2(partway >= 5, qPrintable(QString::number(partway)));
}

void tst_UploadActions::cancelIsTakenAtOnce_data()
{
    QTest::addColumn<QString>("when");
    QTest::newRow("stalled login") << u"login"_s;
    QTest::newRow("stalled put") << u"held"_s;
    QTest::newRow("slow put") << u"slow"_s;
}

// Cancel ends the operation in hand within a second, whatever the server is doing; the file the
// server had stays whole.
void tst_UploadActions::cancelIsTakenAtOnce()
{
    QFETCH(QString, when);
    FtpTestServer::Options options;
    if (when == u"login"_s)
        options.stallName = u"pexa"_s;
    else if (when == u"held"_s)
        options.replyDelay = 30;
    else
        options.throttle = 128 * 1024;
    const FtpTestServer &server = difficultServer(options);
    QVERIFY(writeFile(server.home(u"pexa"_s) + u"/a.jpg"_s, "the old photo"));
    replaceTree({u"a.jpg"_s}, {});
    QVERIFY(writeFile(m_dest + u"/a.jpg"_s, QByteArray(1024 * 1024, 'n')));
    makeForm();
    control<QComboBox>(*m_form, u"cmbTNSize")->setEditText(u"Disabled"_s);

    // A stalled login has the window open with no line yet; a held put has sent every byte and
    // waits for the reply; a slow put is part way.
    qint64 since = -1;
    qint64 cancelledAt = -1;
    WindowWatch watch([&](qint64 now) {
        const FTPStatus *window = status();
        if (cancelledAt >= 0 || !window)
            return;
        const int value = window->prgFileBytes->value();
        const int maximum = window->prgFileBytes->maximum();
        const bool inHand = when == u"login"_s ? window->isVisible() && lines().isEmpty()
                            : window->txtFIPG->text() != m_dest + u"/a.jpg"_s ? false
                            : when == u"held"_s                               ? value == maximum
                                                : value > 0 && value < maximum / 2;
        if (!inHand) {
            since = -1;
            return;
        }
        if (since < 0)
            since = now;
        if (now - since < 300)
            return;
        cancelledAt = now;
        if (when == u"login"_s)
            QTest::mouseClick(status()->cmdCancel, Qt::LeftButton);
        else
            QTest::mouseClick(control<QPushButton>(*m_form, u"cmdExit"), Qt::LeftButton);
    });
    clickUpload();
    QVERIFY(cancelledAt >= 0);
    const qint64 latency = watch.now() - cancelledAt;
    qInfo("cancel latency: %lld ms", static_cast<long long>(latency));
    QVERIFY2(latency < 1000, qPrintable(QString::number(latency)));
    QCOMPARE(lines().constLast(), u"Operation cancelled."_s);
    QVERIFY(lines().filter(u"ERROR"_s).isEmpty());
    QCOMPARE(status()->txtFIPG->text(), when == u"login"_s ? QString() : u"Operation Cancelled!!"_s);
    QCOMPARE(m_env->boxes.take(), QStringList({u"Cancelled!!"_s}));
    verifyRestored(true);
    QCOMPARE(treeOf(server.home(u"pexa"_s)), Tree({{u"a.jpg"_s, "the old photo"}}));
}

void tst_UploadActions::refusedThumbnailIsAFailure()
{
    const FtpTestServer &server = difficultServer({.refusedPrefix = u"tn_"_s});
    replaceTree({u"root.jpg"_s}, {});
    makeForm();
    clickUpload();
    QCOMPARE(lines().mid(5),
             QStringList({u"ERROR: Failed to upload thumbnail file "_s + m_dest + u"/tn_root.jpg"_s,
                          u"1 file failed to upload!!"_s}));
    QCOMPARE(status()->txtFIPG->text(), u"Operation Completed with Errors!!"_s);
    QCOMPARE(m_env->boxes.take(), QStringList{u"1 file failed to upload!!"_s});
    // The image is there as sent, and nothing else.
    QCOMPARE(treeOf(server.home(u"pexa"_s)), expectedTree({u"tn_root.jpg"_s}));
    verifyRestored(true);
}

void tst_UploadActions::unexpectedErrorRestoresTheControlsAndCloses()
{
    makeForm();
    useFakeServer();
    m_fake->setHook([](const QString &operation, const QString &) {
        if (operation == u"put"_s)
            throw RunTimeError(RunTimeError::Overflow);
    });
    clickUpload();
    QCOMPARE(m_env->errors.take(), QStringList({u"frmMain/cmdUpload_Click/6"_s}));
    QCOMPARE(m_fake->connections(), 0);
    QVERIFY(m_env->boxes.shown().isEmpty());
    verifyRestored(true);
    QCOMPARE(status()->cmdCancel->text(), u"Exit"_s);
}

void tst_UploadActions::exitWhenCompleteClosesTheProgram()
{
    makeForm();
    control<QCheckBox>(*m_form, u"chkExit")->setChecked(true);
    QVERIFY(QFile::remove(m_dest + u"/root.jpg"_s));
    clickUpload();
    QVERIFY(!m_form->isVisible());
    QTRY_VERIFY(!status());
    // Even with a failure, ending the program shows no box.
    QVERIFY(m_env->boxes.shown().isEmpty());
}

void tst_UploadActions::resizeAndUploadRunsBothInTurn()
{
    makeForm();
    QStringList seen;
    m_actions->setResizeBatch([&] {
        seen << QString::number(m_form->runState().ResizeUploadActive)
             << QString::number(m_form->tryBeginRun());
        // A resize that was cancelled: the upload runs all the same.
        m_form->runState().setCancelRequested(true);
        return true;
    });
    QTest::mouseClick(control<QPushButton>(*m_form, u"cmdResize_Upload"), Qt::LeftButton);
    QCOMPARE(seen, QStringList({u"1"_s, u"0"_s}));
    QCOMPARE(lines().constLast(), u"Files Successfully copied."_s);
    QCOMPARE(serverTree(QString()), expectedTree({}));
    QVERIFY(!m_form->runState().ResizeUploadActive);
    QVERIFY(!m_form->runActive());
    QVERIFY(m_form->isVisible());

    // With Exit when complete the program closes after the upload, failures or not.
    control<QCheckBox>(*m_form, u"chkExit")->setChecked(true);
    showCatalog(*m_form,
                catalogOf(m_images, {}, catalogOf(*m_form).folders(), catalogOf(*m_form).wholeTree()));
    m_form->runState().ImagesFound = m_images.size();
    m_form->txtFDestin_Change();
    QVERIFY(QFile::remove(m_dest + u"/root.jpg"_s));
    QTest::mouseClick(control<QPushButton>(*m_form, u"cmdResize_Upload"), Qt::LeftButton);
    QVERIFY(!m_form->isVisible());
    QTRY_VERIFY(!status());
    QVERIFY(m_env->boxes.shown().isEmpty());
}

void tst_UploadActions::resizeAndUploadWithTheRealResize()
{
    QDir(m_dest).removeRecursively();
    for (const QString &image : std::as_const(m_images)) {
        QImage picture(120, 90, QImage::Format_RGB32);
        picture.fill(Qt::darkCyan);
        QVERIFY(picture.save(
            QFileInfo(image).path() + u"/p_"_s + QFileInfo(image).completeBaseName() + u".jpg"_s, "JPEG"));
        QFile::remove(image);
    }
    for (QString &image : m_images)
        image = QFileInfo(image).path() + u"/p_"_s + QFileInfo(image).completeBaseName() + u".jpg"_s;
    makeForm();
    QTest::mouseClick(control<QPushButton>(*m_form, u"cmdResize_Upload"), Qt::LeftButton);
    QCOMPARE(lines().constLast(), u"Files Successfully copied."_s);
    // Every image was copied (within the limit) with a thumbnail beside it, and all of it arrived.
    const Tree sent = serverTree(QString());
    QCOMPARE(sent, treeOf(m_dest));
    QCOMPARE(sent.size(), 3 + 2 * 6);
    QVERIFY(sent.contains(u"2008/June/tn_p_img01.jpg"_s));
    QVERIFY(!m_form->runState().ResizeUploadActive);
    verifyRestored(false);
}

void tst_UploadActions::resizeAndUploadStopsWhenTheResizeRefuses()
{
    makeForm();
    // The destination is the image root: the resize refuses, and nothing is uploaded either.
    control<QLineEdit>(*m_form, u"txtFDestin")
        ->setText(control<QLineEdit>(*m_form, u"txtImgRootPath")->text());
    // Nothing was completed, so "Exit when complete" does not end the program.
    control<QCheckBox>(*m_form, u"chkExit")->setChecked(true);
    QTest::mouseClick(control<QPushButton>(*m_form, u"cmdResize_Upload"), Qt::LeftButton);
    QCOMPARE(m_env->boxes.take(), QStringList{u"Destination must differ from the image root!!"_s});
    QVERIFY(!status());
    QCOMPARE(serverTree(QString()), Tree());
    QVERIFY(!m_form->runState().ResizeUploadActive);
    QVERIFY(!m_form->runActive());
    QVERIFY(m_form->isVisible());
    QCOMPARE(shownEntries(control<QListView>(*m_form, u"List1")).size(), m_images.size());
}

// One connection's server side goes at the rename of one file; the others send the rest.
void tst_UploadActions::severalConnectionsGoOnWhenOneIsKilled()
{
    FtpTestServer &server = difficultServer({.dropName = u"drop.jpg"_s});
    replaceTree({u"a.jpg"_s, u"b.jpg"_s, u"drop.jpg"_s, u"c.jpg"_s, u"d.jpg"_s, u"e.jpg"_s}, {});
    choose(u"connections"_s, u"3"_s);
    makeForm();
    clickUpload();
    QCOMPARE(lines().mid(5), QStringList({u"ERROR: Failed to upload image file "_s + m_dest + u"/drop.jpg"_s,
                                          u"1 file failed to upload!!"_s}));
    QCOMPARE(m_env->boxes.take(), QStringList{u"1 file failed to upload!!"_s});
    QVERIFY(server.logins() >= 4);
    const Tree sent = treeOf(server.home(u"pexa"_s));
    const Tree expected = expectedTree({u"drop.jpg"_s});
    for (auto it = expected.cbegin(); it != expected.cend(); ++it)
        QCOMPARE(sent.value(it.key(), "<missing>"), it.value());
    QVERIFY(!sent.contains(u"drop.jpg"_s));
}

void tst_UploadActions::onlyChangedFilesGoTheSecondTime()
{
    choose(u"only_changed"_s, u"1"_s);
    choose(u"connections"_s, u"2"_s);
    makeForm({u"skip.jpg"_s});
    clickUpload();
    QCOMPARE(lines().constLast(), u"Files Successfully copied."_s);
    // The server keeps each file's local time, to the second.
    const QString home = m_server.home(u"pexa"_s);
    for (const QString &relative : {u"root.jpg"_s, u"2008/June/tn_img02.png"_s, u"Été d'or/x.gif"_s})
        QCOMPARE(QFileInfo(home + u'/' + relative).lastModified().toSecsSinceEpoch(),
                 QFileInfo(m_dest + u'/' + relative).lastModified().toSecsSinceEpoch());

    QVERIFY(writeFile(m_dest + u"/2008/June/img01.JPG"_s, "resized again"));
    QFile(m_dest + u"/2008/June/img01.JPG"_s)
        .setFileTime(QDateTime::currentDateTime().addSecs(5), QFileDevice::FileModificationTime);
    QStringList again = m_images;
    again.removeAll(m_root + u"/2008/skip.jpg"_s);
    relist(again);
    clickUpload();
    QVERIFY2(lines().contains(u"9 files already on the server were not sent."_s),
             qPrintable(lines().join(u'\n')));
    QCOMPARE(lines().constLast(), u"Files Successfully copied."_s);
    QCOMPARE(serverTree(QString()).value(u"2008/June/img01.JPG"_s), QByteArray("resized again"));
}

void tst_UploadActions::aPhotoDeletedFromTheImageRootLeavesTheServer()
{
    makeForm();
    clickUpload();
    QCOMPARE(serverTree(QString()), expectedTree({}));

    uploadRemovingMissing(u"2008/a b.jpg"_s);
    QCOMPARE(m_env->boxes.take(),
             QStringList({u"Remove 2 files from the server?\n\n/2008/a b.jpg\n/2008/tn_a b.jpg"_s}));
    QCOMPARE(m_env->boxes.shown().constLast().buttons, MessageBoxService::Buttons::YesNoDefaultNo);
    QCOMPARE(lines().mid(lines().size() - 3),
             QStringList({u"Removed /2008/a b.jpg"_s, u"Removed /2008/tn_a b.jpg"_s,
                          u"Files Successfully copied."_s}));
    QCOMPARE(serverTree(QString()), expectedTree({u"a b.jpg"_s}));
}

// Pages on: every page and the stylesheet arrive after every image and thumbnail, the top page
// last; a folder left without images loses its page with the removals, and nothing else.
void tst_UploadActions::galleryPagesArriveLastAndAnOldPageGoes()
{
    FtpTestServer &server = difficultServer({.throttle = 1000000, .logCommands = true});
    WriteIniValue(u"settings.ini"_s, u"web"_s, u"pages"_s, u"1"_s);
    // The folders' pages alone; the photo pages are another case's.
    WriteIniValue(u"settings.ini"_s, u"web"_s, u"photo_pages"_s, u"0"_s);
    choose(u"connections"_s, u"3"_s);
    // The last image takes a while: the other connections are free long before it arrives.
    QVERIFY(writeFile(m_dest + u"/Été d'or/x.gif"_s, QByteArray(400000, 'x')));
    // What the resize wrote beside the copies.
    const QStringList pages{u"pexa-gallery.css"_s, u"2008/June/index.html"_s, u"2008/index.html"_s,
                            u"Été d'or/index.html"_s, u"index.html"_s};
    for (const QString &page : pages)
        QVERIFY(writeFile(m_dest + u'/' + page, "page " + page.toUtf8()));
    makeForm();
    clickUpload();
    QCOMPARE(lines().constLast(), u"Files Successfully copied."_s);
    QVERIFY(lines().contains(u" - Working on gallery pages"_s));
    QCOMPARE(treeOf(server.home(u"pexa"_s)), expectedTree({}));
    // A file arrives when it is renamed from its temporary name onto its own.
    QStringList arrivals;
    for (const QString &command : server.commands()) {
        if (command.contains(u" RNTO "_s) || command.contains(u"rename"_s))
            arrivals.append(command.section(u'/', -1).section(u' ', -1));
    }
    // Six images and their thumbnails, then the stylesheet, then the pages.
    QCOMPARE(arrivals.size(), 12 + pages.size());
    QCOMPARE(arrivals.mid(12), QStringList({u"pexa-gallery.css"_s, u"index.html"_s, u"index.html"_s,
                                            u"index.html"_s, u"index.html"_s}));

    QVERIFY(writeFile(server.home(u"pexa"_s) + u"/Été d'or/notes.html"_s, "kept"));
    uploadRemovingMissing(u"Été d'or/x.gif"_s);
    QCOMPARE(m_env->boxes.take(), QStringList({u"Remove 3 files from the server?\n\n/Été d'or/index.html\n"
                                               u"/Été d'or/tn_x.gif\n/Été d'or/x.gif"_s}));
    QCOMPARE(lines().constLast(), u"Files Successfully copied."_s);
    QCOMPARE(treeOf(server.home(u"pexa"_s) + u"/Été d'or"_s).keys(), QStringList{u"notes.html"_s});
}

// Pages on with the defaults: the pictures, then the stylesheet and the previews, the photo
// pages, the folders' pages. Published again unchanged with only new and changed files, nothing
// goes, not even the page of a root that holds only folders.
void tst_UploadActions::galleryFilesFollowThePicturesAndUnchangedOnesStay()
{
    FtpTestServer &server = difficultServer({.logCommands = true});
    WriteIniValue(u"settings.ini"_s, u"web"_s, u"pages"_s, u"1"_s);
    choose(u"only_changed"_s, u"1"_s);
    replaceTree({u"2008/a.jpg"_s, u"2008/June/b.png"_s}, {u"2008/June"_s, u"2008"_s});
    // What the resize wrote beside the copies.
    const OutputLayout layout(m_root, m_dest, u"50x50"_s, u"tn_"_s);
    for (const QString &image : std::as_const(m_images)) {
        for (const int width : OutputLayout::PreviewWidths)
            QVERIFY(writeFile(layout.previewPath(image, width), "preview"));
    }
    const GalleryPlan plan = GallerySurvey::plan(layout, GalleryOptions::fromSettings(), m_images);
    for (const QString &file : plan.files()) {
        if (!QFileInfo::exists(m_dest + u'/' + file))
            QVERIFY(writeFile(m_dest + u'/' + file, "page " + file.toUtf8()));
    }
    // Each arrival (a rename onto its own name) by its kind, in the order they come.
    const auto arrivals = [&](qsizetype since) {
        QList<int> kinds;
        for (const QString &command : server.commands().mid(since)) {
            if (!command.contains(u" RNTO "_s) && !command.contains(u"rename"_s))
                continue;
            const QString name = command.section(u'/', -1).section(u' ', -1);
            kinds.append(name == u"index.html"_s                                                    ? 3
                         : !OutputLayout::photoPagePicture(name, u"index.html"_s).isEmpty()         ? 2
                         : !OutputLayout::previewedName(name).isEmpty() || name.endsWith(u".css"_s) ? 1
                                                                                                    : 0);
        }
        return kinds;
    };
    makeForm();
    clickUpload();
    QCOMPARE(lines().constLast(), u"Files Successfully copied."_s);
    // Two pictures and their thumbnails; the stylesheet and six previews; two photo pages; three
    // folders' pages.
    QCOMPARE(arrivals(0), (QList<int>{0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 2, 2, 3, 3, 3}));
    QCOMPARE(treeOf(server.home(u"pexa"_s)), treeOf(m_dest));

    const qsizetype before = server.commands().size();
    relist(m_images);
    clickUpload();
    QVERIFY2(lines().contains(u"16 files already on the server were not sent."_s),
             qPrintable(lines().join(u'\n')));
    QCOMPARE(arrivals(before), QList<int>());
}

void tst_UploadActions::untrustedServersAreAskedAboutAndChangedOnesRefused()
{
    const bool tls = m_protocol.security() == TransferSecurity::Ftps;
    if (!tls && m_protocol.security() != TransferSecurity::Sftp)
        QSKIP("plain FTP has no server identity");
    TestCredentials &credentials = m_protocol.credentials();
    using Which = TestCredentials::Certificate;
    // A self-signed certificate, or a host key that known_hosts does not have yet.
    m_knownHosts = m_dir.filePath(u"ssh/known_hosts"_s);
    FtpTestServer &server =
        tls ? difficultServer({.tlsCertificate = credentials.certificatePath(Which::SelfSigned),
                               .tlsKey = credentials.keyPath(Which::SelfSigned)})
            : difficultServer({});
    const QString name = u"127.0.0.1:%1"_s.arg(server.port());
    const QString fingerprint =
        tls ? credentials.certificateFingerprint(Which::SelfSigned) : credentials.hostKeyFingerprint(0);
    const auto lastBox = [this](int back) {
        return m_env->boxes.shown().at(m_env->boxes.shown().size() - back);
    };
    const QString question = tls ? u"Untrusted Certificate"_s : u"Unknown Host Key"_s;
    const QString identityLine =
        tls ? u"ERROR: The certificate of %1 is not trusted: it is self-signed. SHA-256 fingerprint: %2"_s
                  .arg(name, fingerprint)
            : u"The host key of %1 is not known: ssh-ed25519 %2"_s.arg(name, fingerprint);

    makeForm();
    m_env->boxes.setNextAnswer(MessageBoxService::Answer::No);
    clickUpload();
    QCOMPARE(lines(), QStringList({identityLine, u"ERROR: Failed to connect to 127.0.0.1"_s}));
    QCOMPARE(m_env->boxes.take().size(), 2);
    QCOMPARE(lastBox(2).title, question);
    QVERIFY(lastBox(2).text.contains(fingerprint));
    QCOMPARE(lastBox(2).buttons, MessageBoxService::Buttons::YesNo);
    QCOMPARE(lastBox(1).text, u"Address Connection Error!!"_s);
    QCOMPARE(server.passwordsReceived(), 0);
    QCOMPARE(ReadIniValue(u"settings.ini"_s, u"ftp"_s, u"tls_pin"_s), QString());
    QVERIFY(!QFileInfo::exists(m_knownHosts));
    delete m_form;

    // Yes: trusted from now on, and the run goes on.
    makeForm();
    m_env->boxes.setNextAnswer(MessageBoxService::Answer::Yes);
    clickUpload();
    QCOMPARE(m_env->boxes.take().size(), 1);
    QCOMPARE(lines().constFirst(), identityLine);
    QCOMPARE(lines().constLast(), u"Files Successfully copied."_s);
    QCOMPARE(treeOf(server.home(u"pexa"_s)), expectedTree({}));
    if (tls) {
        QCOMPARE(ReadIniValue(u"settings.ini"_s, u"ftp"_s, u"tls_pin"_s),
                 name + u' ' + credentials.publicKeyPin(Which::SelfSigned));
    } else {
        QFile file(m_knownHosts);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), u"[%1]:%2 ssh-ed25519 %3\n"_s.arg(u"127.0.0.1"_s)
                                     .arg(server.port())
                                     .arg(credentials.hostPublicKeyBase64(0))
                                     .toUtf8());
    }
    delete m_form;
    makeForm();
    clickUpload();
    QCOMPARE(lines().constFirst(), u"CD /"_s);
    QCOMPARE(lines().constLast(), u"Files Successfully copied."_s);
    delete m_form;

    // The same server with another certificate or key: refused, with both fingerprints.
    FtpTestServer &changed =
        tls ? difficultServer({.tlsCertificate = credentials.certificatePath(Which::Changed),
                               .tlsKey = credentials.keyPath(Which::Changed)})
            : difficultServer({.hostKey = credentials.hostKeyPath(1)});
    const QString changedName = u"127.0.0.1:%1"_s.arg(changed.port());
    const QString known = tls ? credentials.publicKeyPin(Which::Server) : credentials.hostKeyFingerprint(0);
    const QString offered =
        tls ? credentials.publicKeyPin(Which::Changed) : credentials.hostKeyFingerprint(1);
    if (tls)
        WriteIniValue(u"settings.ini"_s, u"ftp"_s, u"tls_pin"_s, changedName + u' ' + known);
    m_knownHosts = m_protocol.knownHostsPath();
    makeForm();
    clickUpload();
    QCOMPARE(lines().size(), 2);
    QVERIFY2(lines().at(0).contains(known) && lines().at(0).contains(offered), qPrintable(lines().at(0)));
    QCOMPARE(lines().at(1), u"ERROR: Failed to connect to 127.0.0.1"_s);
    QCOMPARE(m_env->boxes.take().size(), 2);
    QCOMPARE(lastBox(2).title, tls ? u"Certificate Changed"_s : u"Host Key Changed"_s);
    QCOMPARE(lastBox(2).icon, MessageBoxService::Icon::Exclamation);
    QVERIFY(lastBox(2).text.contains(known) && lastBox(2).text.contains(offered));
    QCOMPARE(lastBox(1).text, u"Address Connection Error!!"_s);
    QCOMPARE(changed.passwordsReceived(), 0);
    verifyRestored(true);
    // Nothing the user sees carries the password.
    for (const ScriptedMessageBox::Shown &box : m_env->boxes.shown())
        QVERIFY(!box.text.contains(u"pw 1"_s));
}

void tst_UploadActions::hostKeyThatCannotBeKeptIsTrustedForThisRunOnly()
{
    if (m_protocol.security() != TransferSecurity::Sftp)
        QSKIP("host keys are for SFTP");
    // Below a plain file the folder cannot be made, whoever runs the test.
    QVERIFY(writeFile(m_dir.filePath(u"blocked"_s), "not a folder"));
    m_knownHosts = m_dir.filePath(u"blocked/known_hosts"_s);
    FtpTestServer &server = difficultServer({});

    makeForm();
    m_env->boxes.setNextAnswer(MessageBoxService::Answer::Yes);
    clickUpload();
    QCOMPARE(m_env->boxes.take().size(), 1);
    QCOMPARE(
        lines().at(1),
        u"ERROR: The host key could not be added to ~/.ssh/known_hosts; it is trusted for this run only."_s);
    QCOMPARE(lines().constLast(), u"Files Successfully copied."_s);
    QCOMPARE(treeOf(server.home(u"pexa"_s)), expectedTree({}));
    delete m_form;

    // Nothing was kept, so the next run asks again.
    makeForm();
    m_env->boxes.setNextAnswer(MessageBoxService::Answer::No);
    clickUpload();
    const QList<ScriptedMessageBox::Shown> shown = m_env->boxes.shown();
    QCOMPARE(m_env->boxes.take().size(), 2);
    QCOMPARE(shown.at(shown.size() - 2).title, u"Unknown Host Key"_s);
    QCOMPARE(lines().constLast(), u"ERROR: Failed to connect to 127.0.0.1"_s);
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    return ProtocolUnderTest::runEach(argc, argv, [](ProtocolUnderTest &protocol) {
        return std::make_unique<tst_UploadActions>(protocol);
    });
}
#include "tst_uploadactions.moc"
