#include "frmFTPSettings.h"

#include "ErrorGuard.h"
#include "FtpPassword.h"
#include "FtpSettings.h"
#include "PortText.h"
#include "Settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>

using namespace Qt::Literals::StringLiterals;

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
    cmbSecurity = new QComboBox(this);
    cmbSecurity->setObjectName(u"cmbSecurity"_s);
    cmbSecurity->addItems(TransferSecurityText::captions());
    layout->addRow(u"Security:"_s, cmbSecurity);
    spnConnections = new QSpinBox(this);
    spnConnections->setObjectName(u"spnConnections"_s);
    spnConnections->setRange(1, FtpSettings::MaxConnections);
    spnConnections->setAccessibleDescription(
        u"How many files are sent at once, each on a connection of its own"_s);
    layout->addRow(u"Connections:"_s, spnConnections);
    auto choice = [&](QCheckBox *&box, const QString &name, const QString &caption,
                      const QString &description) {
        box = new QCheckBox(caption, this);
        box->setObjectName(name);
        box->setAccessibleDescription(description);
        layout->addRow(box);
    };
    choice(chkOnlyChanged, u"chkOnlyChanged"_s, u"Send only new and changed files"_s,
           u"Leaves out a file the server already has with the same size and a time no earlier than "
           u"this computer's copy"_s);
    choice(chkRemoveMissing, u"chkRemoveMissing"_s, u"Remove images no longer in the image root"_s,
           u"After an upload, asks whether to remove from the server the images, thumbnails, gallery "
           u"previews and photo pages whose originals are no longer in the image root"_s);
    setTabOrder(txtFTPAddress, txtPort);
    setTabOrder(txtPort, txtUsername);
    setTabOrder(txtUsername, txtPassword);
    setTabOrder(txtPassword, txtRootPath);
    setTabOrder(txtRootPath, cmbSecurity);
    setTabOrder(cmbSecurity, spnConnections);
    setTabOrder(spnConnections, chkOnlyChanged);
    setTabOrder(chkOnlyChanged, chkRemoveMissing);

    connect(txtPort, &QLineEdit::textChanged, this, &frmFTPSettings::txtPort_Change);
    Form_Load();
    connect(cmbSecurity, &QComboBox::currentIndexChanged, this, &frmFTPSettings::cmbSecurity_Change);
}

QString frmFTPSettings::defaultPort() const
{
    return QString::number(TransferSecurityText::defaultPort(m_security));
}

void frmFTPSettings::Form_Load()
{
    guarded(u"frmFTPSettings"_s, u"Form_Load"_s, [&] {
        const FtpSettings stored = FtpSettings::read();
        // First, so that a port put right while loading takes this choice's default.
        m_security = stored.security;
        cmbSecurity->setCurrentIndex(static_cast<int>(m_security));
        txtRootPath->setText(stored.root);
        txtFTPAddress->setText(stored.address);
        txtUsername->setText(stored.username);
        txtPassword->setText(stored.password);
        txtPort->setText(stored.port.isEmpty() ? defaultPort() : stored.port);
        spnConnections->setValue(stored.connections);
        chkOnlyChanged->setChecked(stored.onlyChanged);
        chkRemoveMissing->setChecked(stored.removeMissing);
    });
}

void frmFTPSettings::txtPort_Change()
{
    guarded(u"frmFTPSettings"_s, u"txtPort_Change"_s, [&] {
        if (!PortText::acceptedWhileTyping(txtPort->text()))
            txtPort->setText(defaultPort());
    });
}

// A port the user typed stays; the old choice's default gives way to the new one's.
void frmFTPSettings::cmbSecurity_Change()
{
    guarded(u"frmFTPSettings"_s, u"cmbSecurity_Change"_s, [&] {
        const bool heldDefault = txtPort->text().trimmed() == defaultPort();
        m_security = static_cast<TransferSecurity>(cmbSecurity->currentIndex());
        if (heldDefault)
            txtPort->setText(defaultPort());
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
            txtPort->setText(defaultPort());
        WriteIniValue(SettingKeys::FtpPort, txtPort->text());
        WriteIniValue(SettingKeys::FtpAddress, txtFTPAddress->text());
        WriteIniValue(SettingKeys::FtpUsername, txtUsername->text());
        WriteIniValue(SettingKeys::FtpPassword, FtpPassword::storedForm(txtPassword->text()));
        WriteIniValue(SettingKeys::FtpRoot, txtRootPath->text());
        WriteIniValue(SettingKeys::FtpSecurity, TransferSecurityText::stored(m_security));
        WriteIniValue(SettingKeys::FtpConnections, QString::number(spnConnections->value()));
        WriteIniValue(SettingKeys::FtpOnlyChanged, FtpSettings::storedChoice(chkOnlyChanged->isChecked()));
        WriteIniValue(SettingKeys::FtpRemoveMissing,
                      FtpSettings::storedChoice(chkRemoveMissing->isChecked()));
    });
}
