#pragma once

#include "UploadProgress.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;

// The transfer progress window: the upload's lines, the file in hand with the bytes sent of
// it and the files done, and the button that cancels the run or, after it, closes the window.
class FTPStatus : public QWidget, public UploadProgress
{
    Q_OBJECT

public:
    explicit FTPStatus(QWidget *parent = nullptr);

    QListWidget *FTPStatusMsgs = nullptr;
    QLabel *lblProcessing = nullptr;
    QLineEdit *txtFIPG = nullptr;
    QProgressBar *prgFileBytes = nullptr;
    QLabel *lblFileCount = nullptr;
    QLabel *lblWarning = nullptr;
    QPushButton *cmdCancel = nullptr;

    void startRun() override;
    void addLine(const QString &line) override;
    void setFileInProgress(const QString &text) override;
    void repaintNow() override;
    void showTransfer(qint64 sent, qint64 total) override;
    void showFileCount(int done, int total) override;
    void finishRun() override;

signals:
    // Cancel pressed, or the window closed, while a run goes on.
    void cancelClicked();

public slots:
    void cmdCancel_Click();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void Form_Load();
    void applyTransfer();

    int m_barValue = 0;
    bool m_barUpdatePending = false;
};
