#include "UploadActions.h"

#include "CurlFtpClient.h"
#include "ErrorGuard.h"
#include "FTPStatus.h"
#include "UploadBatch.h"
#include "Yield.h"
#include "frmFTPSettings.h"
#include "frmMain.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString UploadTooltip = u"Unchecked - FTP Upload File / Checked - DO NOT FTP UPLOAD file."_s;

// Gives the run lock back and clears Resize & Upload's mark on every way out of a handler.
class RunLock
{
public:
    explicit RunLock(frmMain &form) : m_form(form) {}
    ~RunLock()
    {
        m_form.ResizeUploadActive = false;
        m_form.endRun();
    }
    RunLock(const RunLock &) = delete;
    RunLock &operator=(const RunLock &) = delete;

private:
    frmMain &m_form;
};

} // namespace

UploadActions::UploadActions(frmMain &form)
    : QObject(&form), m_form(form), m_clientFactory([] {
          // The window keeps repainting, and Cancel can be pressed, while a step waits on the server.
          return std::make_unique<CurlFtpClient>(CurlFtpClient::Timeouts{}, &Yield);
      })
{
    connect(form.cmdFTPSettings, &QPushButton::clicked, this, &UploadActions::cmdFTPSettings_Click);
    connect(form.cmdUpload, &QPushButton::clicked, this, &UploadActions::cmdUpload_Click);
    connect(form.cmdResize_Upload, &QPushButton::clicked, this, &UploadActions::cmdResize_Upload_Click);
    form.installEventFilter(this);
}

void UploadActions::setClientFactory(ClientFactory factory)
{
    m_clientFactory = std::move(factory);
}

void UploadActions::setResizeBatch(std::function<bool()> resizeBatch)
{
    m_resizeBatch = std::move(resizeBatch);
}

void UploadActions::cmdFTPSettings_Click()
{
    guarded(u"frmMain"_s, u"cmdFTPSettings_Click"_s, [&] {
        frmFTPSettings dialog(&m_form);
        dialog.exec();
    });
}

void UploadActions::cmdUpload_Click()
{
    guarded(u"frmMain"_s, u"cmdUpload_Click"_s, [&] {
        if (!m_form.tryBeginRun())
            return;
        RunLock lock(m_form);
        m_closeRequested = false;
        runUploadBatch();
    });
}

void UploadActions::cmdResize_Upload_Click()
{
    guarded(u"frmMain"_s, u"cmdResize_Upload_Click"_s, [&] {
        if (!m_form.tryBeginRun())
            return;
        RunLock lock(m_form);
        m_closeRequested = false;
        m_form.ResizeUploadActive = true;
        const bool resizeStarted = !m_resizeBatch || m_resizeBatch();
        // The upload runs whatever way the resize ended, unless the program is closing or the
        // resize refused to start (its destination would be the photos themselves).
        if (resizeStarted && !m_closeRequested)
            runUploadBatch();
        if (m_form.chkExit->isChecked())
            closeProgramWindows();
    });
}

void UploadActions::runUploadBatch()
{
    UploadBatch batch(*this, m_clientFactory());
    UploadBatch::Outcome outcome = UploadBatch::Outcome::Refused;
    if (!guarded(u"frmMain"_s, u"cmdUpload_Click"_s, [&] { outcome = batch.run(); })) {
        batch.abandon();
        return;
    }
    if (m_closeRequested)
        return;
    if (!m_form.ResizeUploadActive && m_form.chkExit->isChecked()) {
        closeProgramWindows();
        return;
    }
    if (m_form.run.cancelRequested()) {
        if (m_form.run.ImagesFound < m_form.FileLimit)
            showMessage(&m_form, u"Cancelled!!"_s);
        return;
    }
    // A Resize & Upload run that exits when complete ends the program instead.
    if (outcome == UploadBatch::Outcome::CompleteWithErrors && !m_form.chkExit->isChecked())
        showBox(UploadBatch::failureText(batch.failedFiles()), u"FTP Error!!"_s,
                MessageBoxService::Icon::Critical);
}

void UploadActions::closeProgramWindows()
{
    if (m_status)
        m_status->close();
    m_form.close();
}

bool UploadActions::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == &m_form && event->type() == QEvent::Close && m_form.runActive())
        m_closeRequested = true;
    return QObject::eventFilter(watched, event);
}

QString UploadActions::imageRoot() const
{
    return m_form.txtImgRootPath->text();
}

QString UploadActions::destinationRoot() const
{
    return m_form.txtFDestin->text();
}

QString UploadActions::thumbnailPrefix() const
{
    return m_form.txtTNPrefix->text();
}

QString UploadActions::thumbnailSize() const
{
    return m_form.cmbTNSize->currentText();
}

QStringList UploadActions::folderEntries() const
{
    QStringList entries;
    for (int i = 0; i < m_form.lstFolders->count(); ++i)
        entries.append(m_form.lstFolders->item(i)->text());
    return entries;
}

int UploadActions::imageCount() const
{
    return m_form.List1->count();
}

QString UploadActions::imageAt(int index) const
{
    return m_form.List1->item(index)->text();
}

bool UploadActions::imageTicked(int index) const
{
    return m_form.List1->item(index)->checkState() == Qt::Checked;
}

void UploadActions::lockControls()
{
    frmMain &f = m_form;
    for (QWidget *w : {static_cast<QWidget *>(f.cmdALL), static_cast<QWidget *>(f.cmdINV),
                       static_cast<QWidget *>(f.cmdNONE)})
        w->setEnabled(false);
    f.List1->setToolTip(UploadTooltip);
    for (QPushButton *b : {f.cmdFTPSettings, f.cmdResize, f.cmdUpload, f.cmdResize_Upload})
        b->setEnabled(false);
    f.run.setCancelRequested(false);
    f.cmdExit->setText(u"Cancel"_s);
    for (QWidget *w : {static_cast<QWidget *>(f.cmdSetFolder), static_cast<QWidget *>(f.cmdScan),
                       static_cast<QWidget *>(f.List1), static_cast<QWidget *>(f.cmdFDestin),
                       static_cast<QWidget *>(f.cmbResizePct), static_cast<QWidget *>(f.cmbTNSize),
                       static_cast<QWidget *>(f.txtTNPrefix), static_cast<QWidget *>(f.cmbFTPSizeLimit),
                       static_cast<QWidget *>(f.cmbMode), static_cast<QWidget *>(f.chkRecreate),
                       static_cast<QWidget *>(f.txtRSizeLimit)})
        w->setEnabled(false);
    f.Label1->clear();
}

void UploadActions::restoreControls()
{
    frmMain &f = m_form;
    for (QPushButton *b : {f.cmdALL, f.cmdINV, f.cmdNONE})
        b->setEnabled(true);
    f.setWindowTitle(u"Pexa Resizer"_s);
    f.cmdExit->setText(u"Exit"_s);
    for (QWidget *w : {static_cast<QWidget *>(f.cmdSetFolder), static_cast<QWidget *>(f.cmdScan),
                       static_cast<QWidget *>(f.List1), static_cast<QWidget *>(f.cmdFDestin),
                       static_cast<QWidget *>(f.cmdFTPSettings), static_cast<QWidget *>(f.cmbResizePct),
                       static_cast<QWidget *>(f.cmbTNSize)})
        w->setEnabled(true);
    f.txtTNPrefix->setEnabled(f.cmbTNSize->currentText() != u"Disabled"_s);
    for (QWidget *w : {static_cast<QWidget *>(f.cmbFTPSizeLimit), static_cast<QWidget *>(f.cmbMode),
                       static_cast<QWidget *>(f.chkRecreate), static_cast<QWidget *>(f.txtRSizeLimit)})
        w->setEnabled(true);
    f.cmdUpload->setEnabled(false);
    if (f.run.ImagesFound != 0 && !f.txtFDestin->text().isEmpty()) {
        for (QPushButton *b : {f.cmdResize, f.cmdUpload, f.cmdResize_Upload})
            b->setEnabled(true);
    }
}

void UploadActions::clearUploadedList()
{
    frmMain &f = m_form;
    f.List1->clear();
    f.List1->setToolTip(QString());
    f.run.ImagesFound = 0;
    for (QPushButton *b : {f.cmdResize, f.cmdUpload, f.cmdResize_Upload})
        b->setEnabled(false);
    f.picbRawImage->hide();
}

bool UploadActions::yieldCancelled()
{
    return m_form.yieldCancelled();
}

bool UploadActions::cancelRequested() const
{
    return m_form.run.cancelRequested();
}

void UploadActions::setCancelRequested(bool requested)
{
    m_form.run.setCancelRequested(requested);
}

void UploadActions::showProgress()
{
    if (m_status) {
        m_status->startRun();
    } else {
        m_status = new FTPStatus;
        connect(m_status, &FTPStatus::cancelClicked, this, [this] { m_form.run.setCancelRequested(true); });
    }
    m_status->show();
    m_status->raise();
    // The window appears before the connection attempt, which can take a while.
    YieldNow();
}

void UploadActions::addLine(const QString &line)
{
    if (m_status)
        m_status->addLine(line);
}

void UploadActions::setFileInProgress(const QString &text)
{
    if (m_status)
        m_status->txtFIPG->setText(text);
}

void UploadActions::repaintProgress()
{
    if (!m_status)
        return;
    // The list places new lines only when laid out, so lay it out before painting.
    m_status->FTPStatusMsgs->doItemsLayout();
    m_status->repaint();
}

void UploadActions::showTransfer(qint64 sent, qint64 total)
{
    if (m_status)
        m_status->showTransfer(sent, total);
}

void UploadActions::showFileCount(int done, int total)
{
    if (m_status)
        m_status->showFileCount(done, total);
}

void UploadActions::finishProgress()
{
    if (m_status)
        m_status->cmdCancel->setText(u"Exit"_s);
}

void UploadActions::showBox(const QString &text, const QString &title, MessageBoxService::Icon icon)
{
    showMessage(&m_form, text, title, icon);
}
