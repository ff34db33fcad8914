#include "Controls.h"
#include "ErrorRecorder.h"
#include "ScriptedMessageBox.h"
#include "Settings.h"
#include "frmMain.h"

#include <QComboBox>
#include <QFocusEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::Literals::StringLiterals;

class TestResizeRules : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void choosingFromAListSavesWithoutDisablingUpload();
    void typingIntoModeOrPercentDisablesUploadWithoutSaving();
    void thumbnailSizeChoiceSwitchesThePrefixBox();
    void prefixIsSavedAtEveryKeystroke();
    void limitOutsideSixteenBitsIsResetAtOnce_data();
    void limitOutsideSixteenBitsIsResetAtOnce();
    void leavingTheLimitBoxCorrectsIt_data();
    void leavingTheLimitBoxCorrectsIt();
    void switchingWindowsIsNotLeavingTheBox();

private:
    QString stored(const QString &section, const QString &key) const;
    void leaveLimitBox();
    void replaceLimitText(const QString &text);

    std::unique_ptr<QTemporaryDir> m_settingsDir;
    std::unique_ptr<ScriptedMessageBox> m_boxes;
    std::unique_ptr<ErrorRecorder> m_errors;
    std::unique_ptr<frmMain> m_form;
};

void TestResizeRules::init()
{
    m_settingsDir = std::make_unique<QTemporaryDir>();
    SettingsLocation::setFolderOverride(m_settingsDir->path());
    m_boxes = std::make_unique<ScriptedMessageBox>();
    m_errors = std::make_unique<ErrorRecorder>();
    m_form = std::make_unique<frmMain>();
    m_form->show();
    control<QPushButton>(*m_form, u"cmdUpload")->setEnabled(true);
}

void TestResizeRules::cleanup()
{
    m_form.reset();
    const QStringList left = m_boxes->leftovers() + m_errors->leftovers();
    m_errors.reset();
    m_boxes.reset();
    SettingsLocation::setFolderOverride(QString());
    m_settingsDir.reset();
    QVERIFY2(left.isEmpty(), qPrintable(left.join(u"; "_s)));
}

QString TestResizeRules::stored(const QString &section, const QString &key) const
{
    return ReadIniValue(u"settings.ini"_s, section, key);
}

void TestResizeRules::leaveLimitBox()
{
    QFocusEvent leave(QEvent::FocusOut, Qt::TabFocusReason);
    QCoreApplication::sendEvent(control<QLineEdit>(*m_form, u"txtRSizeLimit"), &leave);
}

void TestResizeRules::replaceLimitText(const QString &text)
{
    // As a paste over the selected text: one change with the whole new text.
    control<QLineEdit>(*m_form, u"txtRSizeLimit")->selectAll();
    control<QLineEdit>(*m_form, u"txtRSizeLimit")->insert(text);
}

void TestResizeRules::choosingFromAListSavesWithoutDisablingUpload()
{
    auto *cmbMode = control<QComboBox>(*m_form, u"cmbMode");
    auto choose = [](QComboBox *combo, int index) {
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    };
    choose(cmbMode, 2);
    choose(control<QComboBox>(*m_form, u"cmbResizePct"), 0);
    choose(control<QComboBox>(*m_form, u"cmbFTPSizeLimit"), 99);
    QCOMPARE(stored(u"main"_s, u"resize_mode"_s), u"All to Limit"_s);
    QCOMPARE(stored(u"main"_s, u"resize_pct"_s), u"5"_s);
    QCOMPARE(stored(u"ftp"_s, u"ul_size_limit"_s), u"1000"_s);
    QVERIFY(control<QPushButton>(*m_form, u"cmdUpload")->isEnabled());

    // A list pick by keyboard is a pick too.
    cmbMode->setFocus();
    QTest::keyClick(cmbMode, Qt::Key_Down);
    QCOMPARE(stored(u"main"_s, u"resize_mode"_s), u"Exceed Limit to Limit"_s);
    QVERIFY(control<QPushButton>(*m_form, u"cmdUpload")->isEnabled());
}

void TestResizeRules::typingIntoModeOrPercentDisablesUploadWithoutSaving()
{
    auto *cmdUpload = control<QPushButton>(*m_form, u"cmdUpload");
    QTest::keyClicks(control<QComboBox>(*m_form, u"cmbMode")->lineEdit(), u"x"_s);
    QVERIFY(!cmdUpload->isEnabled());
    cmdUpload->setEnabled(true);
    QTest::keyClicks(control<QComboBox>(*m_form, u"cmbResizePct")->lineEdit(), u"3"_s);
    QVERIFY(!cmdUpload->isEnabled());
    QCOMPARE(control<QComboBox>(*m_form, u"cmbMode")->currentText(), u"Exceed Limit to Pctx"_s);
    QCOMPARE(stored(u"main"_s, u"resize_mode"_s), QString());
    QCOMPARE(stored(u"main"_s, u"resize_pct"_s), QString());
}

void TestResizeRules::thumbnailSizeChoiceSwitchesThePrefixBox()
{
    QComboBox *sizes = control<QComboBox>(*m_form, u"cmbTNSize");
    sizes->setCurrentIndex(3);
    emit sizes->activated(3);
    QCOMPARE(stored(u"main"_s, u"tn_size"_s), u"40x40"_s);
    QVERIFY(control<QLineEdit>(*m_form, u"txtTNPrefix")->isEnabled());
    sizes->setCurrentIndex(0);
    emit sizes->activated(0);
    QCOMPARE(stored(u"main"_s, u"tn_size"_s), u"Disabled"_s);
    QVERIFY(!control<QLineEdit>(*m_form, u"txtTNPrefix")->isEnabled());
    QVERIFY(control<QPushButton>(*m_form, u"cmdUpload")->isEnabled());
}

void TestResizeRules::prefixIsSavedAtEveryKeystroke()
{
    auto *txtTNPrefix = control<QLineEdit>(*m_form, u"txtTNPrefix");
    txtTNPrefix->setEnabled(true);
    txtTNPrefix->clear();
    QCOMPARE(stored(u"main"_s, u"tn_prefix"_s), QString());
    QTest::keyClicks(txtTNPrefix, u"th"_s);
    QCOMPARE(stored(u"main"_s, u"tn_prefix"_s), u"th"_s);
    QTest::keyClick(txtTNPrefix, Qt::Key_Backspace);
    QCOMPARE(stored(u"main"_s, u"tn_prefix"_s), u"t"_s);
}

void TestResizeRules::limitOutsideSixteenBitsIsResetAtOnce_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("pasted");
    QTest::addColumn<QString>("after");
    QTest::newRow("too wide") << u"600W"_s << u"40000W"_s << u"600W"_s;
    QTest::newRow("keeps the letter of the text before") << u"600H"_s << u"40000W"_s << u"600H"_s;
    QTest::newRow("too negative") << u"600W"_s << u"-32769H"_s << u"600W"_s;
    QTest::newRow("rounds past the top") << u"600H"_s << u"32767.5"_s << u"600H"_s;
    QTest::newRow("overflows a double") << u"600W"_s << u"1e400W"_s << u"600W"_s;
    QTest::newRow("hex too large") << u"600W"_s << u"&HFFFFW"_s << u"600W"_s;
}

void TestResizeRules::limitOutsideSixteenBitsIsResetAtOnce()
{
    QFETCH(QString, before);
    QFETCH(QString, pasted);
    QFETCH(QString, after);
    replaceLimitText(before);
    control<QPushButton>(*m_form, u"cmdUpload")->setEnabled(true);
    replaceLimitText(pasted);
    QCOMPARE(m_boxes->take(), QStringList{u"Exceeded Resize Limits!!"_s});
    QCOMPARE(m_boxes->shown()[0].title, u"Resize Exceeds"_s);
    QCOMPARE(m_boxes->shown()[0].icon, MessageBoxService::Icon::Critical);
    QCOMPARE(control<QLineEdit>(*m_form, u"txtRSizeLimit")->text(), after);
    QVERIFY(!control<QPushButton>(*m_form, u"cmdUpload")->isEnabled());
    // Nothing is saved until the box is left.
    QCOMPARE(stored(u"main"_s, u"resize_limit"_s), QString());
}

void TestResizeRules::leavingTheLimitBoxCorrectsIt_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("corrected");
    QTest::newRow("no letter") << u"600"_s << u"No W or H Modifier!!"_s << u"600W"_s;
    QTest::newRow("zero width") << u"0W"_s << u"Invalid use of ZERO!!\r\n"_s << u"600W"_s;
    QTest::newRow("zero height") << u"0h"_s << u"Invalid use of ZERO!!\r\n"_s << u"600H"_s;
    QTest::newRow("no number") << u"abc"_s << u"Invalid use of ZERO!!\r\n"_s << u"600H"_s;
    QTest::newRow("emptied") << QString() << u"Invalid use of ZERO!!\r\n"_s << u"600H"_s;
    QTest::newRow("negative") << u"-50H"_s << u"Invalid use of neg values!!\r\n"_s << u"600H"_s;
    QTest::newRow("negative width") << u"-5w"_s << u"Invalid use of neg values!!\r\n"_s << u"600W"_s;
    QTest::newRow("lower case") << u"600w"_s << QString() << u"600w"_s;
    QTest::newRow("both letters") << u"600WH"_s << QString() << u"600WH"_s;
    QTest::newRow("blanks in the number") << u" 8 00H"_s << QString() << u" 8 00H"_s;
    QTest::newRow("rounds to zero yet is not zero") << u"0.2W"_s << QString() << u"0.2W"_s;
}

void TestResizeRules::leavingTheLimitBoxCorrectsIt()
{
    auto *txtRSizeLimit = control<QLineEdit>(*m_form, u"txtRSizeLimit");
    QFETCH(QString, typed);
    QFETCH(QString, message);
    QFETCH(QString, corrected);
    txtRSizeLimit->clear();
    QTest::keyClicks(txtRSizeLimit, typed);
    control<QPushButton>(*m_form, u"cmdUpload")->setEnabled(true);
    leaveLimitBox();
    if (message.isEmpty()) {
        QCOMPARE(m_boxes->take(), QStringList());
    } else {
        QCOMPARE(m_boxes->take(), QStringList{message});
        QCOMPARE(m_boxes->shown()[0].title, u"Resize Exceeds"_s);
        QCOMPARE(m_boxes->shown()[0].icon, MessageBoxService::Icon::Critical);
        QVERIFY(!control<QPushButton>(*m_form, u"cmdUpload")->isEnabled());
    }
    QCOMPARE(txtRSizeLimit->text(), corrected);
    QCOMPARE(stored(u"main"_s, u"resize_limit"_s), corrected.trimmed());
}

void TestResizeRules::switchingWindowsIsNotLeavingTheBox()
{
    auto *txtRSizeLimit = control<QLineEdit>(*m_form, u"txtRSizeLimit");
    txtRSizeLimit->clear();
    QTest::keyClicks(txtRSizeLimit, u"600"_s);
    QFocusEvent away(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QCoreApplication::sendEvent(txtRSizeLimit, &away);
    QCOMPARE(m_boxes->take(), QStringList());
    QCOMPARE(txtRSizeLimit->text(), u"600"_s);
}

QTEST_MAIN(TestResizeRules)
#include "tst_resizerules.moc"
