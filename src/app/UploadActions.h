#pragma once

#include "FTPStatus.h"
#include "FtpClient.h"
#include "UploadHost.h"

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>

class frmMain;

// The main window's FTP handlers: the settings dialog, Upload, and Resize & Upload. Also what
// the upload batch needs of the main window and the progress window.
class UploadActions : public QObject, public UploadHost
{
    Q_OBJECT

public:
    using ClientFactory = std::function<std::unique_ptr<FtpClient>()>;

    explicit UploadActions(frmMain &form);

    // The FTP client each run gets; the real one unless a test sets another.
    void setClientFactory(ClientFactory factory);
    // The resize batch that Resize & Upload runs first, without taking the run lock. It returns
    // false when it refused to start, which stops the upload too.
    void setResizeBatch(std::function<bool()> resizeBatch);
    // The progress window, or nullptr when it is not open.
    FTPStatus *statusWindow() const { return m_status; }

    QString imageRoot() const override;
    QString destinationRoot() const override;
    QString thumbnailPrefix() const override;
    QString thumbnailSize() const override;
    QStringList folderEntries() const override;
    int imageCount() const override;
    QString imageAt(int index) const override;
    bool imageTicked(int index) const override;
    void lockControls() override;
    void restoreControls() override;
    void clearUploadedList() override;
    bool yieldCancelled() override;
    bool cancelRequested() const override;
    void setCancelRequested(bool requested) override;
    void showProgress() override;
    void addLine(const QString &line) override;
    void setFileInProgress(const QString &text) override;
    void repaintProgress() override;
    void showTransfer(qint64 sent, qint64 total) override;
    void showFileCount(int done, int total) override;
    void finishProgress() override;
    void showBox(const QString &text, const QString &title, MessageBoxService::Icon icon) override;

public slots:
    void cmdFTPSettings_Click();
    void cmdUpload_Click();
    void cmdResize_Upload_Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void runUploadBatch();
    void closeProgramWindows();

    frmMain &m_form;
    QPointer<FTPStatus> m_status;
    ClientFactory m_clientFactory;
    std::function<bool()> m_resizeBatch;
    // The main window's close box was pressed during a run of ours: it closes when the run
    // ends, so nothing more is started and no closing messages are shown.
    bool m_closeRequested = false;
};
