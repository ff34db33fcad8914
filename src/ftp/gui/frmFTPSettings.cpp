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
const QString DefaultPort = SettingKeys::FtpPort.fallback;
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
        txtRootPath->setText(ReadIniValue(SettingKeys::FtpRoot));
        txtFTPAddress->setText(ReadIniValue(SettingKeys::FtpAddress));
        txtUsername->setText(ReadIniValue(SettingKeys::FtpUsername));
        const QString password = ReadIniValue(SettingKeys::FtpPassword);
        txtPassword->setText(password.isEmpty() ? QString() : FtpPassword::fromStored(password));
        const QString port = ReadIniValue(SettingKeys::FtpPort);
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
        WriteIniValue(SettingKeys::FtpPort, txtPort->text());
        WriteIniValue(SettingKeys::FtpAddress, txtFTPAddress->text());
        WriteIniValue(SettingKeys::FtpUsername, txtUsername->text());
        WriteIniValue(SettingKeys::FtpPassword, FtpPassword::storedForm(txtPassword->text()));
        WriteIniValue(SettingKeys::FtpRoot, txtRootPath->text());
    });
}
