#include "ErrorRecorder.h"
#include "FtpPassword.h"
#include "FtpSettings.h"
#include "NumberText.h"
#include "PortText.h"
#include "ScrambleText.h"
#include "ScriptedMessageBox.h"
#include "Settings.h"
#include "frmFTPSettings.h"

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

QString stored(const QString &key)
{
    return ReadIniValue(u"settings.ini"_s, u"ftp"_s, key);
}

void store(const QString &key, const QString &value)
{
    WriteIniValue(u"settings.ini"_s, u"ftp"_s, key, value);
}

} // namespace

class tst_frmFTPSettings : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void fieldsLoadFromTheFileInTabOrder();
    void noFtpSectionGivesEmptyFieldsAndPort21AndWritesAllKeysOnClose();
    void portIsCheckedOnEveryChange_data();
    void portIsCheckedOnEveryChange();
    void typingZeroOrClearingThePortGives21();
    void closingWritesTheKeysInOrderWithThePasswordScrambled();
    void awkwardPasswordsComeBackIntact();
    void securityChoiceIsStoredAndMovesOnlyTheDefaultPort();
    void uploadChoicesAreNamedAsTheyShow();
    void fileWithoutTheUploadChoicesReadsTheDefaults();
    void storedUploadChoicesAreReadStrictly_data();
    void storedUploadChoicesAreReadStrictly();
    void portTextNumbers();

private:
    QString fileText() const;

    QTemporaryDir m_dir;
    ErrorRecorder *m_errors = nullptr;
    ScriptedMessageBox *m_boxes = nullptr;
};

void tst_frmFTPSettings::init()
{
    QFile::remove(m_dir.filePath(u"settings.ini"_s));
    SettingsLocation::setFolderOverride(m_dir.path());
    m_errors = new ErrorRecorder;
    m_boxes = new ScriptedMessageBox;
}

void tst_frmFTPSettings::cleanup()
{
    const QStringList left = m_boxes->leftovers() + m_errors->leftovers();
    delete m_boxes;
    delete m_errors;
    SettingsLocation::setFolderOverride(QString());
    QVERIFY2(left.isEmpty(), qPrintable(left.join(u"; "_s)));
}

QString tst_frmFTPSettings::fileText() const
{
    QFile file(m_dir.filePath(u"settings.ini"_s));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

void tst_frmFTPSettings::fieldsLoadFromTheFileInTabOrder()
{
    store(u"address"_s, u"ftp.example.org"_s);
    store(u"username"_s, u"anna"_s);
    store(u"password"_s, FtpPassword::storedForm(u"s3cret"_s));
    store(u"port"_s, u"2121"_s);
    store(u"root"_s, u"/www/photos"_s);
    store(u"connections"_s, u"3"_s);
    store(u"only_changed"_s, u"1"_s);
    store(u"remove_missing"_s, u"1"_s);

    frmFTPSettings dialog;
    QCOMPARE(dialog.windowTitle(), u"FTP Settings"_s);
    QCOMPARE(dialog.findChild<QLineEdit *>(u"txtFTPAddress"_s)->text(), u"ftp.example.org"_s);
    QCOMPARE(dialog.txtPort->text(), u"2121"_s);
    QCOMPARE(dialog.txtUsername->text(), u"anna"_s);
    QCOMPARE(dialog.txtPassword->text(), u"s3cret"_s);
    QCOMPARE(dialog.txtPassword->echoMode(), QLineEdit::Password);
    QCOMPARE(dialog.txtPassword->displayText(), u"******"_s);
    QCOMPARE(dialog.txtRootPath->text(), u"/www/photos"_s);
    QCOMPARE(dialog.spnConnections->value(), 3);
    QVERIFY(dialog.chkOnlyChanged->isChecked());
    QVERIFY(dialog.chkRemoveMissing->isChecked());

    const QList<QWidget *> expected{dialog.txtFTPAddress,  dialog.txtPort,        dialog.txtUsername,
                                    dialog.txtPassword,    dialog.txtRootPath,    dialog.cmbSecurity,
                                    dialog.spnConnections, dialog.chkOnlyChanged, dialog.chkRemoveMissing};
    QList<QWidget *> order{dialog.txtFTPAddress};
    for (QWidget *w = dialog.txtFTPAddress->nextInFocusChain(); w != dialog.txtFTPAddress;
         w = w->nextInFocusChain()) {
        if (expected.contains(w))
            order.append(w);
    }
    QCOMPARE(order, expected);
}

void tst_frmFTPSettings::noFtpSectionGivesEmptyFieldsAndPort21AndWritesAllKeysOnClose()
{
    WriteIniValue(u"settings.ini"_s, u"main"_s, u"tn_size"_s, u"50x50"_s);
    {
        frmFTPSettings dialog;
        QCOMPARE(dialog.txtFTPAddress->text(), QString());
        QCOMPARE(dialog.txtUsername->text(), QString());
        QCOMPARE(dialog.txtPassword->text(), QString());
        QCOMPARE(dialog.txtRootPath->text(), QString());
        QCOMPARE(dialog.txtPort->text(), u"21"_s);
        QCOMPARE(dialog.spnConnections->value(), 1);
        QVERIFY(!dialog.chkOnlyChanged->isChecked());
        QVERIFY(!dialog.chkRemoveMissing->isChecked());
        dialog.show();
        dialog.close();
    }
    QCOMPARE(fileText(),
             u"[main]\ntn_size=50x50\n[ftp]\nport=21\naddress=\nusername=\npassword=\nroot=\nsecurity=ftp\n"
             u"connections=1\nonly_changed=0\nremove_missing=0\n"_s);
}

void tst_frmFTPSettings::securityChoiceIsStoredAndMovesOnlyTheDefaultPort()
{
    store(u"security"_s, u"gopher"_s);
    {
        frmFTPSettings dialog;
        QComboBox *security = dialog.cmbSecurity;
        QVERIFY(!security->isEditable());
        QCOMPARE(qobject_cast<QLabel *>(dialog.findChild<QFormLayout *>()->labelForField(security))->text(),
                 u"Security:"_s);
        QStringList items;
        for (int i = 0; i < security->count(); ++i)
            items << security->itemText(i);
        QCOMPARE(items, (QStringList{u"None (FTP)"_s, u"TLS (FTPS)"_s, u"SSH (SFTP)"_s}));
        QCOMPARE(security->currentText(), u"None (FTP)"_s);
        QCOMPARE(dialog.txtPort->text(), u"21"_s);

        security->setCurrentIndex(2);
        QCOMPARE(dialog.txtPort->text(), u"22"_s);
        // SFTP's own default is now what clearing the field puts back.
        dialog.txtPort->clear();
        QCOMPARE(dialog.txtPort->text(), u"22"_s);
        security->setCurrentIndex(1);
        QCOMPARE(dialog.txtPort->text(), u"21"_s);
        dialog.txtPort->setText(u"990"_s);
        security->setCurrentIndex(2);
        QCOMPARE(dialog.txtPort->text(), u"990"_s);
        dialog.show();
        dialog.close();
    }
    QCOMPARE(stored(u"security"_s), u"sftp"_s);

    // A stored port that is not the default stays as it is when the dialog opens.
    store(u"port"_s, u"22"_s);
    store(u"security"_s, u"ftps"_s);
    frmFTPSettings dialog;
    QCOMPARE(dialog.cmbSecurity->currentText(), u"TLS (FTPS)"_s);
    QCOMPARE(dialog.txtPort->text(), u"22"_s);
}

void tst_frmFTPSettings::uploadChoicesAreNamedAsTheyShow()
{
    frmFTPSettings dialog;
    const auto *layout = dialog.findChild<QFormLayout *>();
    const auto *label = qobject_cast<QLabel *>(layout->labelForField(dialog.spnConnections));
    QVERIFY(label);
    QCOMPARE(label->text(), u"Connections:"_s);
    QCOMPARE(label->buddy(), dialog.spnConnections);
    QCOMPARE(dialog.spnConnections->minimum(), 1);
    QCOMPARE(dialog.spnConnections->maximum(), 8);

    // What a screen reader or voice control says is what is written; the explanation comes after.
    for (const auto &[field, name] :
         {std::pair<QWidget *, QString>{dialog.spnConnections, u"Connections:"_s},
          {dialog.chkOnlyChanged, u"Send only new and changed files"_s},
          {dialog.chkRemoveMissing, u"Remove images no longer in the image root"_s}}) {
        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(field);
        QCOMPARE(accessible->text(QAccessible::Name), name);
        QVERIFY2(!accessible->text(QAccessible::Description).isEmpty(), qPrintable(name));
        QVERIFY2(!accessible->text(QAccessible::Description).contains(name), qPrintable(name));
    }
}

void tst_frmFTPSettings::fileWithoutTheUploadChoicesReadsTheDefaults()
{
    QFile file(m_dir.filePath(u"settings.ini"_s));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(
        "[ftp]\nport=2121\naddress=ftp.example.org\nusername=anna\npassword=\nroot=www\nsecurity=ftps\n"
        "[main]\ntn_size=50x50\n");
    file.close();

    const FtpSettings read = FtpSettings::read();
    QCOMPARE(read.connections, 1);
    QVERIFY(!read.onlyChanged);
    QVERIFY(!read.removeMissing);
    QCOMPARE(read.security, TransferSecurity::Ftps);
    {
        frmFTPSettings dialog;
        dialog.show();
        dialog.close();
    }
    // The new keys follow the old ones in their section.
    QCOMPARE(fileText(),
             u"[ftp]\nport=2121\naddress=ftp.example.org\nusername=anna\npassword=\nroot=www\n"
             u"security=ftps\nconnections=1\nonly_changed=0\nremove_missing=0\n[main]\ntn_size=50x50\n"_s);
}

void tst_frmFTPSettings::storedUploadChoicesAreReadStrictly_data()
{
    QTest::addColumn<QString>("storedCount");
    QTest::addColumn<int>("connections");
    QTest::addColumn<QString>("storedChoice");
    QTest::addColumn<bool>("chosen");
    QTest::newRow("highest") << u"8"_s << 8 << u"1"_s << true;
    QTest::newRow("in range") << u"2"_s << 2 << u" 1 "_s << true;
    QTest::newRow("zero") << u"0"_s << 1 << u"0"_s << false;
    QTest::newRow("above") << u"9"_s << 1 << u"yes"_s << false;
    QTest::newRow("negative") << u"-2"_s << 1 << u"true"_s << false;
    QTest::newRow("fraction") << u"2.5"_s << 1 << u"11"_s << false;
    QTest::newRow("trailing text") << u"4x"_s << 1 << u"1x"_s << false;
    QTest::newRow("beyond an int") << u"4294967298"_s << 1 << u"-1"_s << false;
}

void tst_frmFTPSettings::storedUploadChoicesAreReadStrictly()
{
    QFETCH(QString, storedCount);
    QFETCH(int, connections);
    QFETCH(QString, storedChoice);
    QFETCH(bool, chosen);
    store(u"connections"_s, storedCount);
    store(u"only_changed"_s, storedChoice);
    store(u"remove_missing"_s, storedChoice);

    const FtpSettings read = FtpSettings::read();
    QCOMPARE(read.connections, connections);
    QCOMPARE(read.onlyChanged, chosen);
    QCOMPARE(read.removeMissing, chosen);
    {
        frmFTPSettings dialog;
        QCOMPARE(dialog.spnConnections->value(), connections);
        QCOMPARE(dialog.chkOnlyChanged->isChecked(), chosen);
        QCOMPARE(dialog.chkRemoveMissing->isChecked(), chosen);
        dialog.show();
        dialog.close();
    }
    // Closing puts what was shown back in its plain form.
    QCOMPARE(stored(u"connections"_s), QString::number(connections));
    QCOMPARE(stored(u"only_changed"_s), chosen ? u"1"_s : u"0"_s);
    QCOMPARE(stored(u"remove_missing"_s), chosen ? u"1"_s : u"0"_s);
}

void tst_frmFTPSettings::portIsCheckedOnEveryChange_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::newRow("ordinary") << u"2121"_s << u"2121"_s;
    QTest::newRow("highest kept") << u"65534"_s << u"65534"_s;
    QTest::newRow("65535") << u"65535"_s << u"21"_s;
    QTest::newRow("above") << u"70000"_s << u"21"_s;
    QTest::newRow("zero") << u"0"_s << u"21"_s;
    QTest::newRow("negative") << u"-5"_s << u"21"_s;
    QTest::newRow("no number") << u"abc"_s << u"21"_s;
    QTest::newRow("trailing text kept") << u"8080abc"_s << u"8080abc"_s;
    QTest::newRow("fraction kept") << u"22.5"_s << u"22.5"_s;
}

void tst_frmFTPSettings::portIsCheckedOnEveryChange()
{
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    {
        frmFTPSettings dialog;
        dialog.txtPort->setText(typed);
        QCOMPARE(dialog.txtPort->text(), shown);
        dialog.show();
        dialog.close();
    }
    QCOMPARE(stored(u"port"_s), shown);

    // A stored port out of range shows as 21 at once.
    store(u"port"_s, typed);
    frmFTPSettings reopened;
    QCOMPARE(reopened.txtPort->text(), shown);
}

void tst_frmFTPSettings::typingZeroOrClearingThePortGives21()
{
    frmFTPSettings dialog;
    dialog.show();
    dialog.txtPort->setFocus();
    dialog.txtPort->selectAll();
    QTest::keyClick(dialog.txtPort, Qt::Key_Backspace);
    QCOMPARE(dialog.txtPort->text(), u"21"_s);
    dialog.txtPort->selectAll();
    QTest::keyClicks(dialog.txtPort, u"0"_s);
    QCOMPARE(dialog.txtPort->text(), u"21"_s);
    dialog.txtPort->selectAll();
    QTest::keyClicks(dialog.txtPort, u"990"_s);
    QCOMPARE(dialog.txtPort->text(), u"990"_s);
    dialog.close();
    QCOMPARE(stored(u"port"_s), u"990"_s);
}

void tst_frmFTPSettings::closingWritesTheKeysInOrderWithThePasswordScrambled()
{
    {
        frmFTPSettings dialog;
        dialog.show();
        QTest::keyClicks(dialog.txtFTPAddress, u" ftp.example.org "_s);
        QTest::keyClicks(dialog.txtUsername, u"anna"_s);
        QTest::keyClicks(dialog.txtPassword, u"Secret pass 1"_s);
        QTest::keyClicks(dialog.txtRootPath, u"www/photos"_s);
        dialog.spnConnections->setFocus();
        QTest::keyClick(dialog.spnConnections, Qt::Key_Up);
        QTest::keyClick(dialog.spnConnections, Qt::Key_Up);
        dialog.chkRemoveMissing->setFocus();
        QTest::keyClick(dialog.chkRemoveMissing, Qt::Key_Space);
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QVERIFY(!dialog.isVisible());
    }
    const QByteArray scrambled = ScrambleText("Secret pass 1", ScrambleKey);
    QCOMPARE(fileText(),
             u"[ftp]\nport=21\naddress= ftp.example.org \nusername=anna\npassword="_s +
                 QString::fromUtf8(scrambled) +
                 u"\nroot=www/photos\nsecurity=ftp\nconnections=3\nonly_changed=0\nremove_missing=1\n"_s);
    frmFTPSettings reopened;
    QCOMPARE(reopened.txtPassword->text(), u"Secret pass 1"_s);
}

void tst_frmFTPSettings::awkwardPasswordsComeBackIntact()
{
    // Passwords whose scrambled forms hold a NUL, a line break, blanks at an end, quotes.
    for (const QByteArray &form :
         {QByteArray("a\0b", 3), QByteArray("a\nb"), QByteArray("a\rb"), QByteArray(" ab"), QByteArray("ab "),
          QByteArray("\"ab\""), QByteArray("'ab'")}) {
        const QString password = QString::fromUtf8(ScrambleText(form, ScrambleKey));
        {
            frmFTPSettings dialog;
            dialog.txtPassword->setText(password);
            dialog.show();
            dialog.close();
        }
        frmFTPSettings reopened;
        QCOMPARE(reopened.txtPassword->text(), password);
    }
    const QString long200 = QString(100, u'é');
    QCOMPARE(long200.toUtf8().size(), 200);
    {
        frmFTPSettings dialog;
        dialog.txtPassword->setText(long200);
        dialog.show();
        dialog.close();
    }
    frmFTPSettings reopened;
    QCOMPARE(reopened.txtPassword->text(), long200);
}

void tst_frmFTPSettings::portTextNumbers()
{
    QCOMPARE(NumberText::leadingPort(u"8080abc"_s), 8080.0);
    QCOMPARE(NumberText::leadingPort(u"  22.5x"_s), 22.5);
    QCOMPARE(NumberText::leadingPort(u"1e3"_s), 1000.0);
    QCOMPARE(NumberText::leadingPort(u"12e"_s), 12.0);
    QCOMPARE(NumberText::leadingPort(u"x12"_s), 0.0);
    QCOMPARE(NumberText::leadingPort(QString()), 0.0);
    // Blanks inside the number and hexadecimal forms read as everywhere else in the program.
    QCOMPARE(NumberText::leadingPort(u"2 1"_s), 21.0);
    QCOMPARE(NumberText::leadingPort(u"&H50"_s), 80.0);
    QVERIFY(!PortText::connectPort(u"1e999"_s));
    // Halves go to the even neighbour; 0 means the FTP port.
    QCOMPARE(PortText::connectPort(u"22.5"_s), std::optional<uint16_t>(22));
    QCOMPARE(PortText::connectPort(u"21.5"_s), std::optional<uint16_t>(22));
    QCOMPARE(PortText::connectPort(u"0"_s), std::optional<uint16_t>(21));
    QCOMPARE(PortText::connectPort(u"abc"_s), std::optional<uint16_t>(21));
    QCOMPARE(PortText::connectPort(u"40000"_s), std::optional<uint16_t>(40000));
    QCOMPARE(PortText::connectPort(u"65535"_s), std::optional<uint16_t>(65535));
    QCOMPARE(PortText::connectPort(u"65536"_s), std::nullopt);
    QCOMPARE(PortText::connectPort(u"-1"_s), std::nullopt);
    QVERIFY(PortText::acceptedOnClose(u"65535"_s));
    QVERIFY(!PortText::acceptedWhileTyping(u"65535"_s));
}

QTEST_MAIN(tst_frmFTPSettings)
#include "tst_frmftpsettings.moc"
