#include "frmFTPSettings.h"

#include "ErrorGuard.h"
#include "FtpPassword.h"
#include "PortText.h"
#include "Settings.h"

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>

using namespace Qt::Literals::StringLiterals;

namespace {
const QString SettingsFileName = u"settings.ini"_s;
const QString DefaultPort = u"21"_s;

QString stored(const QString &key)
{
    return ReadIniValue(SettingsFileName, u"ftp"_s, key);
}

void store(const QString &key, const QString &value)
{
    WriteIniValue(SettingsFileName, u"ftp"_s, key, value);
}
} // namespace

frmFTPSettings::frmFTPSettings(QWidget *parent) : QDialog(parent)
{
    setObjectName(u"frmFTPSettings"_s);
    setWindowTitle(u"FTP Settings"_s);
    setModal(true);

    auto *layout = new QFormLayout(this);
    auto field = [&](QLineEdit *&edit, const QString &name, const QString &label) {
        edit = new QLineEdit(this);
        edit->setObjectName(name);
        edit->setMinimumWidth(260);
        layout->addRow(label, edit);
    };
    field(txtFTPAddress, u"txtFTPAddress"_s, u"Address:"_s);
    txtPort = new QLineEdit(this);
    txtPort->setObjectName(u"txtPort"_s);
    txtPort->setFixedWidth(65);
    layout->addRow(u"Port:"_s, txtPort);
    field(txtUsername, u"txtUsername"_s, u"Username:"_s);
    field(txtPassword, u"txtPassword"_s, u"Password:"_s);
    txtPassword->setEchoMode(QLineEdit::Password);
    txtPassword->setStyleSheet(u"lineedit-password-character: 42;"_s);
    field(txtRootPath, u"txtRootPath"_s, u"Root Path:"_s);
    setTabOrder(txtFTPAddress, txtPort);
    setTabOrder(txtPort, txtUsername);
    setTabOrder(txtUsername, txtPassword);
    setTabOrder(txtPassword, txtRootPath);

    connect(txtPort, &QLineEdit::textChanged, this, &frmFTPSettings::txtPort_Change);
    Form_Load();
}

void frmFTPSettings::Form_Load()
{
    guarded(u"frmFTPSettings"_s, u"Form_Load"_s, [&] {
        txtRootPath->setText(stored(u"root"_s));
        txtFTPAddress->setText(stored(u"address"_s));
        txtUsername->setText(stored(u"username"_s));
        const QString password = stored(u"password"_s);
        txtPassword->setText(password.isEmpty() ? QString() : FtpPassword::fromStored(password));
        const QString port = stored(u"port"_s);
        txtPort->setText(port.isEmpty() ? DefaultPort : port);
    });
}

void frmFTPSettings::txtPort_Change()
{
    guarded(u"frmFTPSettings"_s, u"txtPort_Change"_s, [&] {
        if (!PortText::acceptedWhileTyping(txtPort->text()))
            txtPort->setText(DefaultPort);
    });
}

// Every way of closing the dialog ends here, so every close saves.
void frmFTPSettings::done(int result)
{
    Form_Unload();
    QDialog::done(result);
}

void frmFTPSettings::Form_Unload()
{
    guarded(u"frmFTPSettings"_s, u"Form_Unload"_s, [&] {
        if (!PortText::acceptedOnClose(txtPort->text()))
            txtPort->setText(DefaultPort);
        store(u"port"_s, txtPort->text());
        store(u"address"_s, txtFTPAddress->text());
        store(u"username"_s, txtUsername->text());
        store(u"password"_s, FtpPassword::storedForm(txtPassword->text()));
        store(u"root"_s, txtRootPath->text());
    });
}
