#include "Controls.h"
#include "RecordingImageProcessor.h"
#include "RecordingUrlOpener.h"
#include "Settings.h"
#include "TestFiles.h"
#include "TrayIcon.h"
#include "WindowTestEnvironment.h"
#include "frmMain.h"

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::Literals::StringLiterals;

class TestFrmMain : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void withoutSettingsFileShowsEveryDefault();
    void controlsKeepTheirDesignedPlacesAndNames();
    void accessibleNamesAreWhatTheUserSees();
    void storedComboTextMakesItsItemCurrent();
    void storedValuesReachTheControlsUnchanged();
    void thumbnailPrefixFollowsStoredThumbnailSize_data();
    void thumbnailPrefixFollowsStoredThumbnailSize();
    void runControlsFollowTheWindowsSituation_data();
    void runControlsFollowTheWindowsSituation();
    void destinationPickerCancelledChangesNothing();
    void destinationPickerChosenIsShownAndStored();
    void exitClosesAndCancelOnlyStopsTheRun();
    void closeBoxDuringRunCountsAsCancel();
    void onlyOneRunAtATime();
    void menusHaveTheirItemsInOrder();
    void fakeErrorIsReportedAsError400();
    void hideAndTrayDoubleClickToggleTheWindow();
    void hideWithoutNotificationAreaMinimises();
    void subscribeOpensAMailLinkWithoutSubjectOrBody();
    void typedComboTextStaysAsTypedAndUnsaved();

private:
    std::unique_ptr<frmMain> makeWindow();
    void writeSetting(const QString &section, const QString &key, const QString &value);

    std::unique_ptr<WindowTestEnvironment> m_env;
};

void TestFrmMain::init()
{
    m_env.reset();
    m_env = std::make_unique<WindowTestEnvironment>();
}

void TestFrmMain::cleanup()
{
    const QStringList left = m_env->leftovers();
    m_env.reset();
    QVERIFY2(left.isEmpty(), qPrintable(left.join(u"; "_s)));
}

std::unique_ptr<frmMain> TestFrmMain::makeWindow()
{
    return std::make_unique<frmMain>();
}

void TestFrmMain::writeSetting(const QString &section, const QString &key, const QString &value)
{
    WriteIniValue(u"settings.ini"_s, section, key, value);
}

void TestFrmMain::withoutSettingsFileShowsEveryDefault()
{
    auto form = makeWindow();
    auto *cmbResizePct = control<QComboBox>(*form, u"cmbResizePct");
    auto *cmbTNSize = control<QComboBox>(*form, u"cmbTNSize");
    auto *cmbFTPSizeLimit = control<QComboBox>(*form, u"cmbFTPSizeLimit");
    QCOMPARE(form->windowTitle(), u"Pexa Resizer"_s);
    QCOMPARE(control<QComboBox>(*form, u"cmbMode")->currentText(), u"Exceed Limit to Pct"_s);
    QCOMPARE(cmbResizePct->currentText(), u"25"_s);
    QCOMPARE(control<QLineEdit>(*form, u"txtRSizeLimit")->text(), u"600W"_s);
    QCOMPARE(cmbTNSize->currentText(), u"Disabled"_s);
    QCOMPARE(control<QLineEdit>(*form, u"txtTNPrefix")->text(), u"tn_"_s);
    QCOMPARE(cmbFTPSizeLimit->currentText(), u"500"_s);
    QCOMPARE(control<QLineEdit>(*form, u"txtFDestin")->text(), QString());
    QCOMPARE(control<QLineEdit>(*form, u"txtImgRootPath")->text(), QDir::homePath());
    QVERIFY(control<QCheckBox>(*form, u"chkRecreate")->isChecked());
    QVERIFY(!control<QCheckBox>(*form, u"chkExit")->isChecked());
    QVERIFY(control<QPushButton>(*form, u"cmdExit")->isEnabled());
    QVERIFY(!control<QLineEdit>(*form, u"txtImgRootPath")->isEnabled());
    QVERIFY(!control<QLineEdit>(*form, u"txtFDestin")->isEnabled());
    QCOMPARE(control<QPushButton>(*form, u"cmdExit")->text(), u"Exit"_s);
    QCOMPARE(control<QComboBox>(*form, u"cmbMode")->count(), 4);
    QCOMPARE(cmbResizePct->count(), 19);
    QCOMPARE(cmbResizePct->itemText(18), u"95"_s);
    QCOMPARE(cmbFTPSizeLimit->count(), 100);
    QCOMPARE(cmbFTPSizeLimit->itemText(99), u"1000"_s);
    QCOMPARE(cmbTNSize->count(), 10);
    QCOMPARE(cmbTNSize->itemText(1), u"20x20"_s);
    QCOMPARE(cmbTNSize->itemText(9), u"100x100"_s);
    QVERIFY(m_env->errors.reports.isEmpty());
    // Reading the defaults writes nothing.
    QVERIFY(!QFile::exists(m_env->settings.filePath(u"settings.ini"_s)));
}

void TestFrmMain::controlsKeepTheirDesignedPlacesAndNames()
{
    auto form = makeWindow();
    auto *cmdResize_Upload = control<QPushButton>(*form, u"cmdResize_Upload");
    QCOMPARE(form->centralWidget()->size(), QSize(473, 464));
    QCOMPARE(control<QPushButton>(*form, u"cmdSetFolder")->geometry(), QRect(8, 7, 114, 21));
    QCOMPARE(control<QListView>(*form, u"List1")->geometry(), QRect(8, 64, 257, 214));
    QCOMPARE(cmdResize_Upload->geometry(), QRect(215, 432, 102, 21));
    QCOMPARE(cmdResize_Upload->text(), u"Resize && Upload"_s);
    QVERIFY(control<QListWidget>(*form, u"lstFolders")->isHidden());
    QVERIFY(!control<QLineEdit>(*form, u"txtImgDimensions")->focusPolicy());
    const QStringList names = {
        u"cmdSetFolder"_s,  u"txtImgRootPath"_s,  u"cmdScan"_s,        u"cmdINV"_s,
        u"cmdALL"_s,        u"cmdNONE"_s,         u"lstFolders"_s,     u"cmdExit"_s,
        u"List1"_s,         u"picbRawImage"_s,    u"Label1"_s,         u"txtImgDimensions"_s,
        u"cmdFDestin"_s,    u"txtFDestin"_s,      u"cmbResizePct"_s,   u"cmbMode"_s,
        u"txtRSizeLimit"_s, u"cmbFTPSizeLimit"_s, u"cmdFTPSettings"_s, u"chkRecreate"_s,
        u"cmbTNSize"_s,     u"txtTNPrefix"_s,     u"chkExit"_s,        u"cmdResize"_s,
        u"cmdUpload"_s,     u"cmdResize_Upload"_s};
    for (const QString &name : names)
        QVERIFY2(form->findChild<QWidget *>(name), qPrintable(name));
}

void TestFrmMain::accessibleNamesAreWhatTheUserSees()
{
    auto form = makeWindow();
    auto accessible = [&](const char16_t *name) {
        return QAccessible::queryAccessibleInterface(control<QWidget>(*form, name));
    };
    auto nameOf = [&](const char16_t *name) { return accessible(name)->text(QAccessible::Name); };
    // Buttons and check boxes by their captions, "Inv", "All" and "None" too: a voice-control
    // user says what is written there.
    QCOMPARE(nameOf(u"cmdResize_Upload"), u"Resize & Upload"_s);
    QCOMPARE(nameOf(u"cmdINV"), u"Inv"_s);
    QCOMPARE(nameOf(u"cmdALL"), u"All"_s);
    QCOMPARE(nameOf(u"cmdNONE"), u"None"_s);
    QCOMPARE(accessible(u"cmdNONE")->text(QAccessible::Description), u"Untick all images"_s);
    QCOMPARE(nameOf(u"chkRecreate"), u"Recreate existing pictures"_s);
    // A caption that changes renames the button.
    control<QPushButton>(*form, u"cmdExit")->setText(u"Cancel"_s);
    QCOMPARE(nameOf(u"cmdExit"), u"Cancel"_s);
    // The status line reads as it shows.
    control<QLabel>(*form, u"Label1")->setText(u"6 images out of 6 scanned!"_s);
    QCOMPARE(nameOf(u"Label1"), u"6 images out of 6 scanned!"_s);
    // A box by the label beside it, which it is labelled by.
    QCOMPARE(nameOf(u"txtRSizeLimit"), u"Resize Limit:"_s);
    for (const auto &[box, label] : {std::pair{u"cmbResizePct", u"Label2"},
                                     {u"cmbMode", u"Label4"},
                                     {u"txtRSizeLimit", u"Label3"},
                                     {u"cmbFTPSizeLimit", u"Label5"},
                                     {u"cmbTNSize", u"Label6"},
                                     {u"txtTNPrefix", u"Label7"}}) {
        const auto relations = accessible(box)->relations(QAccessible::Label);
        QVERIFY2(relations.size() == 1 && relations.first().first->object() == control<QLabel>(*form, label),
                 qPrintable(QString::fromUtf16(box)));
    }
    for (const char16_t *unlabelled : {u"txtImgRootPath", u"List1", u"txtImgDimensions", u"txtFDestin"})
        QVERIFY2(!nameOf(unlabelled).isEmpty(), qPrintable(QString::fromUtf16(unlabelled)));
}

void TestFrmMain::storedComboTextMakesItsItemCurrent()
{
    writeSetting(u"main"_s, u"tn_size"_s, u"50x50"_s);
    writeSetting(u"main"_s, u"resize_pct"_s, u"33"_s);
    const auto settingsText = [&] { return readFile(m_env->settings.filePath(u"settings.ini"_s)); };
    const QByteArray stored = settingsText();
    auto form = makeWindow();
    // Putting the stored texts in is no pick from the list: nothing is written back.
    QCOMPARE(settingsText(), stored);
    auto *mode = control<QComboBox>(*form, u"cmbMode");
    QCOMPARE(mode->currentText(), u"Exceed Limit to Pct"_s);
    QCOMPARE(mode->currentIndex(), 1);
    auto *size = control<QComboBox>(*form, u"cmbTNSize");
    QCOMPARE(size->currentIndex(), 4);
    // A text that is no item goes in as it is.
    QCOMPARE(control<QComboBox>(*form, u"cmbResizePct")->currentText(), u"33"_s);

    // The arrow keys move on from the stored item, as a pick from the list.
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    size->setFocus();
    QTest::keyClick(size, Qt::Key_Down);
    QCOMPARE(size->currentText(), u"60x60"_s);
    QCOMPARE(ReadIniValue(u"settings.ini"_s, u"main"_s, u"tn_size"_s), u"60x60"_s);
}

void TestFrmMain::storedValuesReachTheControlsUnchanged()
{
    writeSetting(u"main"_s, u"resize_pct"_s, u"33"_s);
    writeSetting(u"main"_s, u"resize_mode"_s, u"All to Limit"_s);
    writeSetting(u"main"_s, u"resize_limit"_s, u"800h"_s);
    writeSetting(u"main"_s, u"tn_prefix"_s, u"small-"_s);
    writeSetting(u"ftp"_s, u"ul_size_limit"_s, u"250"_s);
    writeSetting(u"main"_s, u"dest_path"_s, u"/srv/web out"_s);
    writeSetting(u"main"_s, u"root_path"_s, u"/home/ann/Fotos 2008"_s);
    auto form = makeWindow();
    QCOMPARE(control<QComboBox>(*form, u"cmbResizePct")->currentText(), u"33"_s);
    QCOMPARE(control<QComboBox>(*form, u"cmbMode")->currentText(), u"All to Limit"_s);
    QCOMPARE(control<QLineEdit>(*form, u"txtRSizeLimit")->text(), u"800h"_s);
    QCOMPARE(control<QLineEdit>(*form, u"txtTNPrefix")->text(), u"small-"_s);
    QCOMPARE(control<QComboBox>(*form, u"cmbFTPSizeLimit")->currentText(), u"250"_s);
    QCOMPARE(control<QLineEdit>(*form, u"txtFDestin")->text(), u"/srv/web out"_s);
    QCOMPARE(control<QLineEdit>(*form, u"txtImgRootPath")->text(), u"/home/ann/Fotos 2008"_s);
}

void TestFrmMain::thumbnailPrefixFollowsStoredThumbnailSize_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("prefixEnabled");
    QTest::newRow("missing") << QString() << u"Disabled"_s << false;
    QTest::newRow("size") << u"50x50"_s << u"50x50"_s << true;
    QTest::newRow("Disabled") << u"Disabled"_s << u"Disabled"_s << false;
    QTest::newRow("lower-case disabled") << u"disabled"_s << u"disabled"_s << true;
}

void TestFrmMain::thumbnailPrefixFollowsStoredThumbnailSize()
{
    QFETCH(QString, stored);
    QFETCH(QString, shown);
    QFETCH(bool, prefixEnabled);
    if (!stored.isEmpty())
        writeSetting(u"main"_s, u"tn_size"_s, stored);
    auto form = makeWindow();
    QCOMPARE(control<QComboBox>(*form, u"cmbTNSize")->currentText(), shown);
    QCOMPARE(control<QLineEdit>(*form, u"txtTNPrefix")->isEnabled(), prefixEnabled);
}

void TestFrmMain::destinationPickerCancelledChangesNothing()
{
    writeSetting(u"main"_s, u"dest_path"_s, u"/tmp/before"_s);
    auto form = makeWindow();
    m_env->picker.setNextDirectory(QString());
    QTest::mouseClick(control<QPushButton>(*form, u"cmdFDestin"), Qt::LeftButton);
    QCOMPARE(m_env->picker.titles, QStringList{u"Select Image Destination Root Path"_s});
    QCOMPARE(control<QLineEdit>(*form, u"txtFDestin")->text(), u"/tmp/before"_s);
    QCOMPARE(ReadIniValue(u"settings.ini"_s, u"main"_s, u"dest_path"_s), u"/tmp/before"_s);
}

void TestFrmMain::destinationPickerChosenIsShownAndStored()
{
    auto form = makeWindow();
    m_env->picker.setNextDirectory(u"/tmp/Web Gallery/ünïcode"_s);
    QTest::mouseClick(control<QPushButton>(*form, u"cmdFDestin"), Qt::LeftButton);
    QCOMPARE(control<QLineEdit>(*form, u"txtFDestin")->text(), u"/tmp/Web Gallery/ünïcode"_s);
    QCOMPARE(ReadIniValue(u"settings.ini"_s, u"main"_s, u"dest_path"_s), u"/tmp/Web Gallery/ünïcode"_s);
    // Typing into the box (were it enabled) is not stored: only the picker writes the key.
    control<QLineEdit>(*form, u"txtFDestin")->setText(u"/elsewhere"_s);
    QCOMPARE(ReadIniValue(u"settings.ini"_s, u"main"_s, u"dest_path"_s), u"/tmp/Web Gallery/ünïcode"_s);
}

void TestFrmMain::runControlsFollowTheWindowsSituation_data()
{
    using namespace Enabled;
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QStringList>("enabled");
    const QString ready = u"images root cmdScan destination "_s;
    const QStringList emptyList = Unlisted + QStringList{u"List1"_s};
    QTest::newRow("at start") << QString() << emptyList;
    QTest::newRow("stored destination") << u"storedDestination"_s << emptyList;
    QTest::newRow("destination before a scan") << u"destination"_s << emptyList;
    QTest::newRow("scan found images") << u"images root cmdScan"_s << Listed;
    QTest::newRow("scan found none") << u"emptyRoot cmdScan"_s << emptyList;
    QTest::newRow("scan with destination") << u"images destination root cmdScan"_s << Ready;
    QTest::newRow("destination after scan") << ready << Ready;
    QTest::newRow("destination box cleared") << ready + u"clearDestination"_s << Ready;
    QTest::newRow("rescan found none") << ready + u"emptyRoot cmdScan"_s << emptyList;
    QTest::newRow("root changed") << ready + u"otherRoot"_s << Unlisted;
    QTest::newRow("root picker cancelled") << u"images root cmdScan cancelRoot"_s << Listed;
    QTest::newRow("ticked without destination") << u"images root cmdScan cmdINV"_s << Listed;
    QTest::newRow("ticked with thumbnails") << u"images root cmdScan thumbnails cmdALL"_s << Listed + Prefix;
    QTest::newRow("ticked after destination cleared") << ready + u"clearDestination cmdNONE"_s << Listed;
    QTest::newRow("ticked after an edit") << ready + u"typeMode cmdNONE"_s << Ready;
    QTest::newRow("during resize") << ready + u"duringResize"_s << QStringList();
    QTest::newRow("after resize") << ready + u"cmdResize"_s << Ready;
    QTest::newRow("after resize with thumbnails") << ready + u"thumbnails cmdResize"_s << Everything;
}

// Each row drives the window through its steps; the controls are compared after the last one,
// or during the conversion for a resize that is watched.
void TestFrmMain::runControlsFollowTheWindowsSituation()
{
    QFETCH(QString, steps);
    QFETCH(QStringList, enabled);
    QTemporaryDir tree;
    QTemporaryDir destination;
    RecordingImageProcessor processor;
    std::unique_ptr<frmMain> form;
    auto window = [&]() -> frmMain & {
        if (!form)
            form = makeWindow();
        return *form;
    };
    // Steps that answer a folder picker: the button, then the folder chosen.
    const QHash<QString, QStringList> picks = {
        {u"root"_s, {u"cmdSetFolder"_s, tree.path()}},
        {u"otherRoot"_s, {u"cmdSetFolder"_s, tree.filePath(u"sub"_s)}},
        {u"emptyRoot"_s, {u"cmdSetFolder"_s, tree.filePath(u"nothing"_s)}},
        {u"cancelRoot"_s, {u"cmdSetFolder"_s, QString()}},
        {u"destination"_s, {u"cmdFDestin"_s, destination.path()}}};
    for (const QString &step : steps.split(u' ', Qt::SkipEmptyParts)) {
        if (step == u"storedDestination")
            writeSetting(u"main"_s, u"dest_path"_s, destination.path());
        else if (step == u"images") {
            // Wider than the default limit, so that the resize converts.
            QImage image(700, 10, QImage::Format_RGB32);
            image.fill(Qt::darkCyan);
            QVERIFY(QDir().mkpath(tree.filePath(u"sub"_s)));
            QVERIFY(image.save(tree.filePath(u"a.jpg"_s)) && image.save(tree.filePath(u"sub/b.png"_s)));
        } else if (picks.contains(step)) {
            m_env->picker.setNextDirectory(picks[step].at(1));
            QTest::mouseClick(control<QPushButton>(window(), picks[step].at(0)), Qt::LeftButton);
        } else if (step == u"clearDestination")
            control<QLineEdit>(window(), u"txtFDestin")->clear();
        else if (step == u"thumbnails")
            control<QComboBox>(window(), u"cmbTNSize")->setEditText(u"40x40"_s);
        else if (step == u"typeMode")
            QTest::keyClicks(control<QComboBox>(window(), u"cmbMode")->lineEdit(), u"x"_s);
        else if (step == u"duringResize") {
            QString during = u"never converted"_s;
            processor.onConvert = [&](const RecordingImageProcessor::Call &) {
                during = wrongControls(*form, enabled);
            };
            QTest::mouseClick(control<QPushButton>(window(), u"cmdResize"), Qt::LeftButton);
            QCOMPARE(during, QString());
            return;
        } else {
            auto *button = control<QPushButton>(window(), step);
            QVERIFY2(button->isEnabled(), qPrintable(step));
            QTest::mouseClick(button, Qt::LeftButton);
        }
    }
    QVERIFY(!window().runActive());
    QCOMPARE(wrongControls(window(), enabled), QString());
}

void TestFrmMain::exitClosesAndCancelOnlyStopsTheRun()
{
    auto form = makeWindow();
    auto *cmdExit = control<QPushButton>(*form, u"cmdExit");
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));

    cmdExit->setText(u"Cancel"_s);
    QTest::mouseClick(cmdExit, Qt::LeftButton);
    QVERIFY(form->runState().cancelRequested());
    QCOMPARE(form->runState().CancelRequested, int16_t(-1));
    QVERIFY(form->isVisible());

    form->runState().setCancelRequested(false);
    cmdExit->setText(u"Something else"_s);
    QTest::mouseClick(cmdExit, Qt::LeftButton);
    QVERIFY(!form->runState().cancelRequested());
    QVERIFY(form->isVisible());

    cmdExit->setText(u"Exit"_s);
    QTest::mouseClick(cmdExit, Qt::LeftButton);
    QVERIFY(!form->isVisible());
}

void TestFrmMain::closeBoxDuringRunCountsAsCancel()
{
    auto form = makeWindow();
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    QVERIFY(form->tryBeginRun());
    QVERIFY(!form->close());
    QVERIFY(form->isVisible());
    QVERIFY(form->runState().cancelRequested());
    // The run notices the cancel, stops, and the window closes only then.
    form->endRun();
    QVERIFY(!form->isVisible());
}

void TestFrmMain::onlyOneRunAtATime()
{
    auto form = makeWindow();
    QVERIFY(form->tryBeginRun());
    QVERIFY(form->runActive());
    QVERIFY(!form->tryBeginRun());
    form->endRun();
    QVERIFY(!form->runActive());
    QVERIFY(form->tryBeginRun());
    form->endRun();
}

void TestFrmMain::menusHaveTheirItemsInOrder()
{
    auto form = makeWindow();
    const QList<QAction *> bar = form->menuBar()->actions();
    QCOMPARE(bar.size(), 3);
    QCOMPARE(bar.at(0)->text(), u"Hide"_s);
    QCOMPARE(bar.at(1)->text(), u"Options"_s);
    QCOMPARE(bar.at(2)->text(), u"Help"_s);
    QStringList items;
    for (QAction *action : control<QMenu>(*form, u"Help")->actions())
        items.append(action->objectName() + u'=' + action->text());
    QCOMPARE(items,
             (QStringList{u"mnuAbout=About"_s, u"mnuHome=Software Home"_s, u"mnuUpdateChk=Update Check"_s,
                          u"mnuSubscribe=Subscribe to Orvel News"_s, u"mnuFakeError=Fake Error"_s}));
}

void TestFrmMain::fakeErrorIsReportedAsError400()
{
    auto form = makeWindow();
    control<QAction>(*form, u"mnuFakeError")->trigger();
    QCOMPARE(m_env->errors.take(), QStringList{u"frmMain/mnuFakeError_Click/400"_s});
    QVERIFY(!m_env->errors.reports.first().description.isEmpty());
}

void TestFrmMain::hideAndTrayDoubleClickToggleTheWindow()
{
    auto form = makeWindow();
    QCOMPARE(form->trayIcon()->toolTip(), u"Pexa Resizer"_s);
    TrayIcon::setTrayAvailableOverride(true);
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));

    control<QAction>(*form, u"HideInTray")->trigger();
    QVERIFY(!form->isVisible());
    QVERIFY(!(form->windowState() & Qt::WindowMinimized));

    // In an XEmbed tray a single click does nothing; the double-click toggles.
    auto *icon = form->trayIcon()->findChild<QSystemTrayIcon *>();
    QVERIFY(icon);
    emit icon->activated(QSystemTrayIcon::Trigger);
    QVERIFY(!form->isVisible());
    emit icon->activated(QSystemTrayIcon::DoubleClick);
    QVERIFY(form->isVisible());
    QVERIFY(!(form->windowState() & Qt::WindowMinimized));

    form->trayDoubleClicked();
    QVERIFY(!form->isVisible());
    QVERIFY(form->windowState() & Qt::WindowMinimized);

    form->trayDoubleClicked();
    QVERIFY(form->isVisible());
    // A maximised window comes back normal.
    form->setWindowState(Qt::WindowMaximized);
    form->trayDoubleClicked();
    QVERIFY(!form->isVisible());
    form->trayDoubleClicked();
    QVERIFY(form->isVisible());
    QCOMPARE(form->windowState(), Qt::WindowNoState);
    TrayIcon::setTrayAvailableOverride(std::nullopt);
}

void TestFrmMain::hideWithoutNotificationAreaMinimises()
{
    TrayIcon::setTrayAvailableOverride(false);
    auto form = makeWindow();
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    control<QAction>(*form, u"HideInTray")->trigger();
    QVERIFY(form->isVisible());
    QVERIFY(form->windowState() & Qt::WindowMinimized);
    TrayIcon::setTrayAvailableOverride(std::nullopt);
}

void TestFrmMain::subscribeOpensAMailLinkWithoutSubjectOrBody()
{
    RecordingUrlOpener opener;
    auto form = makeWindow();
    control<QAction>(*form, u"mnuSubscribe")->trigger();
    QCOMPARE(opener.mails.size(), 1);
    QVERIFY(opener.mails.first().startsWith(u"mailto:"_s));
    QVERIFY(!opener.mails.first().contains(u'?'));
    QVERIFY(opener.urls.isEmpty());
}

void TestFrmMain::typedComboTextStaysAsTypedAndUnsaved()
{
    auto form = makeWindow();
    auto *cmbMode = control<QComboBox>(*form, u"cmbMode");
    auto *cmbResizePct = control<QComboBox>(*form, u"cmbResizePct");
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    cmbMode->setFocus();
    cmbMode->lineEdit()->clear();
    QTest::keyClicks(cmbMode->lineEdit(), u"all to pct"_s);
    cmbResizePct->setFocus();
    cmbResizePct->lineEdit()->clear();
    QTest::keyClicks(cmbResizePct->lineEdit(), u"1"_s);
    QTest::keyClick(cmbResizePct->lineEdit(), Qt::Key_Return);
    control<QLineEdit>(*form, u"txtRSizeLimit")->setFocus();
    QCOMPARE(cmbMode->currentText(), u"all to pct"_s);
    QCOMPARE(cmbResizePct->currentText(), u"1"_s);
    QCOMPARE(ReadIniValue(u"settings.ini"_s, u"main"_s, u"resize_mode"_s), QString());
    QCOMPARE(ReadIniValue(u"settings.ini"_s, u"main"_s, u"resize_pct"_s), QString());
    // Typing is an edit: it takes the upload off until the next resize.
    QVERIFY(!control<QPushButton>(*form, u"cmdUpload")->isEnabled());
}

QTEST_MAIN(TestFrmMain)
#include "tst_frmmain.moc"
