#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;

// The transfer progress window: the upload's lines, the file in hand with the bytes sent of
// it and the files done, and the button that cancels the run or, after it, closes the window.
class FTPStatus : public QWidget
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

    // A new run: an empty list, Cancel, no file in hand.
    void startRun();
    void addLine(const QString &line);
    void showTransfer(qint64 sent, qint64 total);
    void showFileCount(int done, int total);

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
