#pragma once

#include "TransferSecurity.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QSpinBox;

// The FTP settings dialog: loads the ftp settings when it opens and writes them all back when
// it closes, however it is closed; the password is stored scrambled.
class frmFTPSettings : public QDialog
{
    Q_OBJECT

public:
    explicit frmFTPSettings(QWidget *parent = nullptr);

    QLineEdit *txtFTPAddress = nullptr;
    QLineEdit *txtPort = nullptr;
    QLineEdit *txtUsername = nullptr;
    QLineEdit *txtPassword = nullptr;
    QLineEdit *txtRootPath = nullptr;
    QComboBox *cmbSecurity = nullptr;
    QSpinBox *spnConnections = nullptr;
    QCheckBox *chkOnlyChanged = nullptr;
    QCheckBox *chkRemoveMissing = nullptr;

    void done(int result) override;

public slots:
    void txtPort_Change();
    void cmbSecurity_Change();

private:
    QString defaultPort() const;

    void Form_Load();
    void Form_Unload();

    // The choice before the one in the box, whose default port the port field may hold.
    TransferSecurity m_security = TransferSecurity::Ftp;
};
