#pragma once

#include "FTPStatus.h"
#include "FtpClient.h"
#include "FtpSettings.h"
#include "PublishMemory.h"
#include "UploadHost.h"

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>

class frmMain;
struct MainControls;
struct RunState;

// The main window's FTP handlers: the settings dialog, Upload, and Resize & Upload, and the
// window's side of the upload batch.
class UploadActions : public QObject, private UploadHost
{
    Q_OBJECT

public:
    // Makes a client for the server of these settings: one for each connection of a run.
    using ClientFactory = std::function<std::unique_ptr<FtpClient>(const FtpSettings &server)>;

    UploadActions(frmMain &form, MainControls &ui, RunState &run);

    // The FTP client each run gets; the real one unless a test sets another.
    void setClientFactory(ClientFactory factory);
    // The resize batch that Resize & Upload runs first, without taking the run lock. It returns
    // false when it refused to start, which stops the upload too.
    void setResizeBatch(std::function<bool()> resizeBatch);
    // The progress window, or nullptr when it is not open.
    FTPStatus *statusWindow() const { return m_status; }

public slots:
    void cmdFTPSettings_Click();
    void cmdUpload_Click();
    void cmdResize_Upload_Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void runUploadBatch();
    void closeProgramWindows();

    bool yieldCancelled() override;
    void restoreControls() override;
    void clearUploadedList() override;
    UploadProgress &openProgress() override;
    void showBox(const QString &text, const QString &title, MessageBoxService::Icon icon) override;
    bool askYesNo(const QString &text, const QString &title, MessageBoxService::Icon icon,
                  bool noByDefault) override;

    frmMain &m_form;
    MainControls &m_ui;
    RunState &m_run;
    QPointer<FTPStatus> m_status;
    // What the runs of this session learnt of the servers they went to.
    std::shared_ptr<PublishMemory> m_publishMemory;
    ClientFactory m_clientFactory;
    std::function<bool()> m_resizeBatch;
    // The main window's close box was pressed during a run of ours: it closes when the run
    // ends, so nothing more is started and no closing messages are shown.
    bool m_closeRequested = false;
};
