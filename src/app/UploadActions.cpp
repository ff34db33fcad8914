#include "UploadActions.h"

#include "CatalogActions.h"
#include "ErrorGuard.h"
#include "FTPStatus.h"
#include "GalleryOptions.h"
#include "GalleryPlan.h"
#include "GallerySurvey.h"
#include "MainControls.h"
#include "RunControls.h"
#include "RunState.h"
#include "Settings.h"
#include "TransferClients.h"
#include "UploadBatch.h"
#include "Yield.h"
#include "frmFTPSettings.h"
#include "frmMain.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString UploadTooltip = u"Unchecked - FTP Upload File / Checked - DO NOT FTP UPLOAD file."_s;

// Gives the run lock back and clears Resize & Upload's mark on every way out of a handler.
class RunLock
{
public:
    RunLock(frmMain &form, RunState &run) : m_form(form), m_run(run) {}
    ~RunLock()
    {
        m_run.ResizeUploadActive = false;
        m_form.endRun();
    }
    RunLock(const RunLock &) = delete;
    RunLock &operator=(const RunLock &) = delete;

private:
    frmMain &m_form;
    RunState &m_run;
};

} // namespace

UploadActions::UploadActions(frmMain &form, MainControls &ui, RunState &run)
    : QObject(&form), m_form(form), m_ui(ui), m_run(run), m_clientFactory([](const FtpSettings &server) {
          return TransferClients::make(
              ConnectionOptions{.security = server.security, .tlsPin = server.tlsPin});
      })
{
    connect(ui.cmdFTPSettings, &QPushButton::clicked, this, &UploadActions::cmdFTPSettings_Click);
    connect(ui.cmdUpload, &QPushButton::clicked, this, &UploadActions::cmdUpload_Click);
    connect(ui.cmdResize_Upload, &QPushButton::clicked, this, &UploadActions::cmdResize_Upload_Click);
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
        RunLock lock(m_form, m_run);
        m_closeRequested = false;
        runUploadBatch();
    });
}

void UploadActions::cmdResize_Upload_Click()
{
    guarded(u"frmMain"_s, u"cmdResize_Upload_Click"_s, [&] {
        if (!m_form.tryBeginRun())
            return;
        RunLock lock(m_form, m_run);
        m_closeRequested = false;
        m_run.ResizeUploadActive = true;
        const bool resizeStarted = !m_resizeBatch || m_resizeBatch();
        // The upload runs whatever way the resize ended, unless the program is closing or the
        // resize refused to start (its destination would be the photos themselves).
        if (resizeStarted && !m_closeRequested)
            runUploadBatch();
        // A refused resize completed nothing: the program stays for the user to put it right.
        if (resizeStarted && m_ui.chkExit->isChecked())
            closeProgramWindows();
    });
}

void UploadActions::runUploadBatch()
{
    RunControls::apply(m_ui, RunControls::RunStart, m_run.ImagesFound != 0);
    m_ui.List1->setToolTip(UploadTooltip);
    m_run.setCancelRequested(false);
    m_ui.cmdExit->setText(u"Cancel"_s);
    m_ui.Label1->clear();

    UploadInputs inputs;
    inputs.server = FtpSettings::read();
    inputs.imageRoot = m_ui.txtImgRootPath->text();
    inputs.destinationRoot = m_ui.txtFDestin->text();
    inputs.thumbnailPrefix = m_ui.txtTNPrefix->text();
    inputs.thumbnailSize = m_ui.cmbTNSize->currentText();
    const Catalog &catalog = m_form.catalogActions()->catalog();
    // Beside the settings, where every run of the program finds it.
    if (!m_publishMemory)
        m_publishMemory = std::make_shared<PublishMemory>(
            std::make_shared<PartJournal>(QDir(SettingsLocation::folder()).filePath(u"upload-journal"_s)));
    inputs.memory = m_publishMemory;
    if (const GalleryOptions gallery = GalleryOptions::fromSettings(); gallery.pages) {
        // The same plan the resize wrote the pages from.
        const OutputLayout layout = inputs.layout();
        const GalleryPlan plan =
            GallerySurvey::plan(layout, gallery, GalleryPlan::shownEntries(catalog, layout));
        inputs.pageWaves = plan.waves();
        inputs.pageName = plan.pageName();
        inputs.pageFolders = plan.folders();
    }
    UploadBatch batch(inputs, catalog, m_run, *this, [&] { return m_clientFactory(inputs.server); });
    UploadBatch::Outcome outcome = UploadBatch::Outcome::Refused;
    if (!guarded(u"frmMain"_s, u"cmdUpload_Click"_s, [&] { outcome = batch.run(); })) {
        batch.abandon();
        return;
    }
    if (m_closeRequested)
        return;
    if (!m_run.ResizeUploadActive && m_ui.chkExit->isChecked()) {
        closeProgramWindows();
        return;
    }
    if (m_run.cancelRequested()) {
        if (m_run.ImagesFound < m_run.FileLimit)
            showMessage(&m_form, u"Cancelled!!"_s);
        return;
    }
    // A Resize & Upload run that exits when complete ends the program instead.
    if (outcome == UploadBatch::Outcome::CompleteWithErrors && !m_ui.chkExit->isChecked())
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

bool UploadActions::yieldCancelled()
{
    return m_form.yieldCancelled();
}

void UploadActions::restoreControls()
{
    m_form.setWindowTitle(u"Pexa Resizer"_s);
    m_ui.cmdExit->setText(u"Exit"_s);
    RunControls::apply(m_ui, RunControls::UploadEnd, m_run.ImagesFound != 0);
    RunControls::apply(m_ui, RunControls::WhenReady, m_run.ImagesFound != 0);
}

void UploadActions::clearUploadedList()
{
    m_form.catalogActions()->clearEntries();
    m_ui.List1->setToolTip(QString());
    m_run.ImagesFound = 0;
    RunControls::apply(m_ui, RunControls::ListCleared, false);
    m_ui.picbRawImage->hide();
}

UploadProgress &UploadActions::openProgress()
{
    if (m_status) {
        m_status->startRun();
    } else {
        m_status = new FTPStatus;
        connect(m_status, &FTPStatus::cancelClicked, this, [this] { m_run.setCancelRequested(true); });
    }
    m_status->show();
    m_status->raise();
    // The window appears before the connection attempt, which can take a while.
    YieldNow();
    return *m_status;
}

void UploadActions::showBox(const QString &text, const QString &title, MessageBoxService::Icon icon)
{
    showMessage(&m_form, text, title, icon);
}

bool UploadActions::askYesNo(const QString &text, const QString &title, MessageBoxService::Icon icon,
                             bool noByDefault)
{
    const auto buttons =
        noByDefault ? MessageBoxService::Buttons::YesNoDefaultNo : MessageBoxService::Buttons::YesNo;
    return MessageBoxService::instance().show(&m_form, text, title, icon, buttons) ==
           MessageBoxService::Answer::Yes;
}
