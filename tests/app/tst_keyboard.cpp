#include "CatalogHelpers.h"
#include "Controls.h"
#include "RecordingImageProcessor.h"
#include "Settings.h"
#include "WindowTestEnvironment.h"
#include "frmAbout.h"
#include "frmFTPSettings.h"
#include "frmMain.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTest>

#include <memory>

using namespace Qt::Literals::StringLiterals;

// Everything can be done with the keyboard alone: the focus moves through the controls as the
// windows are laid out, Space ticks an entry, Enter presses a dialog's default button, Escape
// closes a dialog as its close box does.
class TestKeyboard : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void mainWindowTabOrderFollowsTheLayout();
    void ftpSettingsTabOrderAndEscapeSaves();
    void enterPressesTheAboutBoxDefaultButton();
    void wholeRunDrivenByKeys();

private:
    static QStringList focusChain(QWidget &window, int steps);
    static void press(Qt::Key key);

    std::unique_ptr<WindowTestEnvironment> m_env;
    QTemporaryDir m_files;
};

void TestKeyboard::init()
{
    m_env = std::make_unique<WindowTestEnvironment>();
}

void TestKeyboard::cleanup()
{
    const QStringList left = m_env->leftovers();
    m_env.reset();
    QVERIFY2(left.isEmpty(), qPrintable(left.join(u"; "_s)));
}

void TestKeyboard::press(Qt::Key key)
{
    QWidget *focus = QApplication::focusWidget();
    QVERIFY2(focus, "nothing has the keyboard focus");
    QTest::keyClick(focus, key);
}

QStringList TestKeyboard::focusChain(QWidget &window, int steps)
{
    QStringList names;
    for (int i = 0; i < steps; ++i) {
        QWidget *focus = QApplication::focusWidget();
        // An editable combo box hands the focus to its line edit.
        while (focus && focus->objectName().isEmpty())
            focus = focus->parentWidget();
        names.append(focus ? focus->objectName() : u"(none)"_s);
        QTest::keyClick(&window, Qt::Key_Tab);
    }
    return names;
}

void TestKeyboard::mainWindowTabOrderFollowsTheLayout()
{
    frmMain form;
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    // Everything a user can reach, as after a scan with a destination and thumbnails on.
    for (QWidget *w : form.findChildren<QWidget *>())
        w->setEnabled(true);
    control<QLineEdit>(form, u"txtImgRootPath")->setEnabled(false);
    control<QLineEdit>(form, u"txtFDestin")->setEnabled(false);
    control<QPushButton>(form, u"cmdSetFolder")->setFocus();
    const QStringList order = {u"cmdSetFolder"_s,   u"cmdScan"_s,          u"cmdINV"_s,
                               u"cmdALL"_s,         u"cmdNONE"_s,          u"cmdExit"_s,
                               u"List1"_s,          u"cmdFDestin"_s,       u"cmbResizePct"_s,
                               u"cmbMode"_s,        u"txtRSizeLimit"_s,    u"cmbFTPSizeLimit"_s,
                               u"cmdFTPSettings"_s, u"chkRecreate"_s,      u"cmbTNSize"_s,
                               u"txtTNPrefix"_s,    u"chkExit"_s,          u"cmdResize"_s,
                               u"cmdUpload"_s,      u"cmdResize_Upload"_s, u"cmdSetFolder"_s};
    QCOMPARE(focusChain(form, static_cast<int>(order.size())), order);
}

void TestKeyboard::ftpSettingsTabOrderAndEscapeSaves()
{
    frmFTPSettings dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    dialog.txtFTPAddress->setFocus();
    QCOMPARE(focusChain(dialog, 10),
             (QStringList{u"txtFTPAddress"_s, u"txtPort"_s, u"txtUsername"_s, u"txtPassword"_s,
                          u"txtRootPath"_s, u"cmbSecurity"_s, u"spnConnections"_s, u"chkOnlyChanged"_s,
                          u"chkRemoveMissing"_s, u"txtFTPAddress"_s}));
    QTest::keyClicks(dialog.txtFTPAddress, u"ftp.example.org"_s);
    // The security box is reached from the root path and chosen from with the arrow keys.
    dialog.txtRootPath->setFocus();
    press(Qt::Key_Tab);
    press(Qt::Key_Down);
    press(Qt::Key_Down);
    QCOMPARE(dialog.cmbSecurity->currentText(), u"SSH (SFTP)"_s);
    QCOMPARE(dialog.txtPort->text(), u"22"_s);
    press(Qt::Key_Escape);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(ReadIniValue(u"settings.ini"_s, u"ftp"_s, u"address"_s), u"ftp.example.org"_s);
    QCOMPARE(ReadIniValue(u"settings.ini"_s, u"ftp"_s, u"security"_s), u"sftp"_s);
}

void TestKeyboard::enterPressesTheAboutBoxDefaultButton()
{
    bool continued = false;
    frmAbout::setContinueAction([&] { continued = true; });
    auto *box = new frmAbout;
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
    QVERIFY(QTest::qWaitForWindowActive(box));
    QTRY_COMPARE(box->cmdOK->text(), u"Continue"_s);
    QTRY_VERIFY(box->cmdOK->isEnabled());
    press(Qt::Key_Return);
    QTRY_VERIFY(continued);
    frmAbout::setContinueAction(nullptr);
}

void TestKeyboard::wholeRunDrivenByKeys()
{
    RecordingImageProcessor processor;
    const QString root = m_files.filePath(u"photos"_s);
    const QString destination = m_files.filePath(u"web"_s);
    QVERIFY(QDir().mkpath(root));
    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(Qt::darkGreen);
    for (const QString &name : {u"a.png"_s, u"b.png"_s})
        QVERIFY(picture.save(root + u'/' + name));
    WriteIniValue(u"settings.ini"_s, u"main"_s, u"resize_mode"_s, u"All to Pct"_s);

    frmMain form;
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    control<QPushButton>(form, u"cmdSetFolder")->setFocus();
    m_env->picker.setNextDirectory(root);
    press(Qt::Key_Space);
    QCOMPARE(control<QLineEdit>(form, u"txtImgRootPath")->text(), root);

    press(Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget()->objectName(), u"cmdScan"_s);
    press(Qt::Key_Space);
    auto *list = control<QListView>(form, u"List1");
    QTRY_COMPARE(shownEntries(list).size(), 2);

    // Into the list, where the first entry becomes current, and tick it: it is then copied as it
    // is. Down and Space again tick the second; Space once more unticks it.
    while (QApplication::focusWidget() != list)
        press(Qt::Key_Tab);
    press(Qt::Key_Space);
    press(Qt::Key_Down);
    press(Qt::Key_Space);
    QCOMPARE(shownTicks(list).at(1), Qt::Checked);
    press(Qt::Key_Space);
    QCOMPARE(shownTicks(list), (QList<Qt::CheckState>{Qt::Checked, Qt::Unchecked}));

    press(Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget()->objectName(), u"cmdFDestin"_s);
    m_env->picker.setNextDirectory(destination);
    press(Qt::Key_Space);
    QCOMPARE(control<QLineEdit>(form, u"txtFDestin")->text(), destination);

    auto *resize = control<QPushButton>(form, u"cmdResize");
    while (QApplication::focusWidget() != resize)
        press(Qt::Key_Tab);
    press(Qt::Key_Space);
    QTRY_VERIFY(QFile::exists(destination + u"/b.png"_s));
    // The ticked entry was copied unchanged; the other went through the processor.
    QCOMPARE(QFile(destination + u"/a.png"_s).size(), QFile(root + u"/a.png"_s).size());
    QCOMPARE(processor.calls.size(), 1);
    QCOMPARE(processor.calls.first().source, root + u"/b.png"_s);
}

QTEST_MAIN(TestKeyboard)
#include "tst_keyboard.moc"
