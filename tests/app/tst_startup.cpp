#include "Controls.h"
#include "ErrorReporter.h"
#include "ScriptedMessageBox.h"
#include "Settings.h"
#include "StartUp.h"
#include "frmAbout.h"
#include "frmError.h"
#include "frmMain.h"

#include <QApplication>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace Qt::Literals::StringLiterals;

class TestStartUp : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void continueShowsTheMainWindowAndClosesTheBox();
    void errorReportGivesBackTheExitButton();
    void errorBeforeTheMainWindowCreatesItHidden();

private:
    static frmAbout *aboutBox();
    // Reports an error through the real report window and closes it once it is shown.
    static void reportThroughWindow(const QString &procedure);

    QTemporaryDir m_settings;
    std::unique_ptr<ScriptedMessageBox> m_boxes;
};

void TestStartUp::init()
{
    ErrorReporter::setHandler(&frmError::showReport);
    SettingsLocation::setFolderOverride(m_settings.path());
    m_boxes = std::make_unique<ScriptedMessageBox>();
}

void TestStartUp::cleanup()
{
    QList<QPointer<QWidget>> windows;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (qobject_cast<frmAbout *>(window) || qobject_cast<frmMain *>(window))
            windows.append(window);
    }
    qDeleteAll(windows);
    const QStringList left = m_boxes->leftovers();
    m_boxes.reset();
    SettingsLocation::setFolderOverride(QString());
    QVERIFY(!frmMain::current());
    QVERIFY2(left.isEmpty(), qPrintable(left.join(u"; "_s)));
}

frmAbout *TestStartUp::aboutBox()
{
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (auto *box = qobject_cast<frmAbout *>(window); box && box->isVisible())
            return box;
    }
    return nullptr;
}

void TestStartUp::reportThroughWindow(const QString &procedure)
{
    bool closed = false;
    QTimer::singleShot(0, [&] {
        QTRY_VERIFY(QApplication::activeModalWidget() == frmError::instance());
        QCOMPARE(frmError::instance()->errFunction->text(), procedure);
        frmError::instance()->ExitMe->click();
        closed = true;
    });
    ReportError(u"frmMain"_s, procedure, RunTimeError(RunTimeError::FileNotFound));
    QVERIFY(closed);
}

void TestStartUp::continueShowsTheMainWindowAndClosesTheBox()
{
    Main();
    QPointer<frmAbout> box = aboutBox();
    QVERIFY(box);
    QVERIFY(!frmMain::current());
    QCOMPARE(box->cmdOK->text(), u"Continue"_s);
    QVERIFY(box->cmdOK->isEnabled());

    QTest::mouseClick(box->cmdOK, Qt::LeftButton);
    QVERIFY(frmMain::current());
    QVERIFY(frmMain::current()->isVisible());
    QTRY_VERIFY(!box);
}

void TestStartUp::errorReportGivesBackTheExitButton()
{
    Main();
    QTest::mouseClick(aboutBox()->cmdOK, Qt::LeftButton);
    frmMain *form = frmMain::current();
    // As a batch that died of an error would leave it.
    control<QPushButton>(*form, u"cmdExit")->setText(u"Cancel"_s);
    control<QPushButton>(*form, u"cmdExit")->setEnabled(false);

    reportThroughWindow(u"cmdResize_Click"_s);
    QCOMPARE(control<QPushButton>(*form, u"cmdExit")->text(), u"Exit"_s);
    QVERIFY(control<QPushButton>(*form, u"cmdExit")->isEnabled());
    QCOMPARE(frmMain::current(), form);
}

void TestStartUp::errorBeforeTheMainWindowCreatesItHidden()
{
    Main();
    QVERIFY(!frmMain::current());
    reportThroughWindow(u"Form_Load"_s);
    QVERIFY(frmMain::current());
    QVERIFY(!frmMain::current()->isVisible());
    QCOMPARE(control<QPushButton>(*frmMain::current(), u"cmdExit")->text(), u"Exit"_s);

    // "Continue" then shows that same window.
    frmMain *created = frmMain::current();
    QTest::mouseClick(aboutBox()->cmdOK, Qt::LeftButton);
    QCOMPARE(frmMain::current(), created);
    QVERIFY(created->isVisible());
}

QTEST_MAIN(TestStartUp)
#include "tst_startup.moc"
