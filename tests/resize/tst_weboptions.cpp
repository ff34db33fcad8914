#include "Controls.h"
#include "Settings.h"
#include "WindowTestEnvironment.h"
#include "frmMain.h"
#include "frmWebOptions.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace Qt::Literals::StringLiterals;

// The Web Options dialog: reached from the Options menu, worked from the keyboard, read by
// its captions, and each choice stored the moment it changes.
class TestWebOptions : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void optionsMenuOpensTheDialogOverTheMainWindow();
    void captionsNameTheBoxesAndDescriptionsExplainThem();
    void keysMoveTickStoreAndClose();

private:
    struct Box
    {
        QCheckBox *box;
        QString caption;
        SettingKey key;
    };
    static QList<Box> boxes(frmWebOptions &dialog);

    std::unique_ptr<WindowTestEnvironment> m_env;
};

void TestWebOptions::init()
{
    m_env = std::make_unique<WindowTestEnvironment>();
}

void TestWebOptions::cleanup()
{
    const QStringList left = m_env->leftovers();
    m_env.reset();
    QVERIFY2(left.isEmpty(), qPrintable(left.join(u"; "_s)));
}

QList<TestWebOptions::Box> TestWebOptions::boxes(frmWebOptions &dialog)
{
    return {{dialog.chkStripPrivate, u"Remove location and camera details"_s, SettingKeys::WebStripPrivate},
            {dialog.chkAutoOrient, u"Turn pictures upright"_s, SettingKeys::WebAutoOrient},
            {dialog.chkSrgb, u"Convert colours to sRGB"_s, SettingKeys::WebSrgb},
            {dialog.chkFastDecode, u"Faster decoding of large JPEGs"_s, SettingKeys::WebFastDecode}};
}

void TestWebOptions::optionsMenuOpensTheDialogOverTheMainWindow()
{
    frmMain form;
    form.show();
    auto *options = control<QMenu>(form, u"Options");
    QCOMPARE(options->title(), u"Options"_s);
    QCOMPARE(form.menuBar()->actions().indexOf(options->menuAction()), 1);
    auto *entry = control<QAction>(form, u"mnuWebOptions");
    QCOMPARE(options->actions(), QList<QAction *>{entry});
    QCOMPARE(entry->text(), u"Web Options…"_s);

    bool seen = false;
    QTimer::singleShot(0, this, [&] {
        auto *dialog = qobject_cast<frmWebOptions *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        seen = true;
        QCOMPARE(dialog->objectName(), u"frmWebOptions"_s);
        QCOMPARE(dialog->windowTitle(), u"Web Options"_s);
        QCOMPARE(dialog->parentWidget(), &form);
        dialog->chkSrgb->click();
        dialog->reject();
    });
    entry->trigger();
    QVERIFY(seen);
    QCOMPARE(ReadIniValue(SettingKeys::WebSrgb), u"1"_s);
    QVERIFY(!form.findChild<frmWebOptions *>());
}

void TestWebOptions::captionsNameTheBoxesAndDescriptionsExplainThem()
{
    frmWebOptions dialog;
    dialog.show();
    QCOMPARE(dialog.fraCopies->title(), u"Copies"_s);
    for (const Box &each : boxes(dialog)) {
        QCOMPARE(each.box->text(), each.caption);
        QCOMPARE(each.box->parentWidget(), dialog.fraCopies);
        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(each.box);
        QVERIFY(accessible);
        QCOMPARE(accessible->text(QAccessible::Name), each.caption);
        QVERIFY2(accessible->text(QAccessible::Description).size() > each.caption.size(),
                 qPrintable(each.caption));
        QVERIFY(!each.box->isChecked());
    }
    QCOMPARE(QAccessible::queryAccessibleInterface(dialog.cmdClose)->text(QAccessible::Name), u"Close"_s);
}

void TestWebOptions::keysMoveTickStoreAndClose()
{
    WriteIniValue(SettingKeys::WebAutoOrient, u"1"_s);
    frmWebOptions dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    const QList<Box> all = boxes(dialog);
    // The stored choice is shown; the others are off.
    QVERIFY(dialog.chkAutoOrient->isChecked());
    QVERIFY(!dialog.chkStripPrivate->isChecked());

    // Tab runs down the boxes to Close and round again; Space ticks and unticks, each change
    // stored at once.
    dialog.chkStripPrivate->setFocus();
    QList<QWidget *> order;
    for (int step = 0; step < 6; ++step) {
        QWidget *focus = QApplication::focusWidget();
        order.append(focus);
        for (const Box &each : all) {
            if (each.box != focus)
                continue;
            const bool before = each.box->isChecked();
            QTest::keyClick(each.box, Qt::Key_Space);
            QCOMPARE(each.box->isChecked(), !before);
            QCOMPARE(ReadIniValue(each.key), before ? u"0"_s : u"1"_s);
        }
        QTest::keyClick(focus, Qt::Key_Tab);
    }
    QCOMPARE(order, (QList<QWidget *>{dialog.chkStripPrivate, dialog.chkAutoOrient, dialog.chkSrgb,
                                      dialog.chkFastDecode, dialog.cmdClose, dialog.chkStripPrivate}));
    QCOMPARE(ReadIniValue(SettingKeys::WebStripPrivate), u"0"_s);
    QCOMPARE(ReadIniValue(SettingKeys::WebAutoOrient), u"0"_s);
    QCOMPARE(ReadIniValue(SettingKeys::WebSrgb), u"1"_s);
    QCOMPARE(ReadIniValue(SettingKeys::WebFastDecode), u"1"_s);

    // Enter presses Close, the default button; Escape closes as well.
    QTest::keyClick(dialog.chkSrgb, Qt::Key_Return);
    QVERIFY(!dialog.isVisible());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QVERIFY(!dialog.isVisible());
    // Closing changed nothing.
    QCOMPARE(ReadIniValue(SettingKeys::WebSrgb), u"1"_s);
    QCOMPARE(ReadIniValue(SettingKeys::WebStripPrivate), u"0"_s);
}

QTEST_MAIN(TestWebOptions)
#include "tst_weboptions.moc"
