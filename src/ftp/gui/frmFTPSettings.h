#pragma once

#include <QDialog>

class QLineEdit;

// The FTP settings dialog: loads the five ftp settings when it opens and writes them all back
// when it closes, however it is closed; the password is stored scrambled.
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

    void done(int result) override;

public slots:
    void txtPort_Change();

private:
    void Form_Load();
    void Form_Unload();
};
