#include "ResizeActions.h"

#include "CatalogActions.h"
#include "ErrorGuard.h"
#include "GalleryOptions.h"
#include "GalleryPlan.h"
#include "GallerySurvey.h"
#include "GalleryWriter.h"
#include "MainControls.h"
#include "MessageBoxService.h"
#include "NumberText.h"
#include "OutputLayout.h"
#include "ResizeBatch.h"
#include "RunControls.h"
#include "RunState.h"
#include "Settings.h"
#include "frmDownloadIM.h"
#include "frmMain.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString Owner = u"frmMain"_s;
const QString LimitTitle = u"Resize Exceeds"_s;

} // namespace

ResizeActions::ResizeActions(frmMain &form, MainControls &ui, RunState &run)
    : QObject(&form), m_form(form), m_ui(ui), m_run(run)
{
    LimitIsWidth = ui.txtRSizeLimit->text().toUpper().contains(u'W');

    connect(ui.cmbMode, &QComboBox::activated, this, &ResizeActions::cmbMode_Click);
    connect(ui.cmbResizePct, &QComboBox::activated, this, &ResizeActions::cmbResizePct_Click);
    connect(ui.cmbTNSize, &QComboBox::activated, this, &ResizeActions::cmbTNSize_Click);
    connect(ui.cmbFTPSizeLimit, &QComboBox::activated, this, &ResizeActions::cmbFTPSizeLimit_Click);
    // Only typing is an edit: choosing an item from the list also changes the text.
    connect(ui.cmbMode->lineEdit(), &QLineEdit::textEdited, this, &ResizeActions::cmbMode_Change);
    connect(ui.cmbResizePct->lineEdit(), &QLineEdit::textEdited, this, &ResizeActions::cmbResizePct_Change);
    connect(ui.txtTNPrefix, &QLineEdit::textChanged, this, &ResizeActions::txtTNPrefix_Change);
    connect(ui.txtRSizeLimit, &QLineEdit::textChanged, this, &ResizeActions::txtRSizeLimit_Change);
    ui.txtRSizeLimit->installEventFilter(this);
    connect(ui.cmdResize, &QPushButton::clicked, this, &ResizeActions::cmdResize_Click);
}

bool ResizeActions::eventFilter(QObject *watched, QEvent *event)
{
    // The box also loses the focus while its window is torn down; the window must not be
    // touched then. Switching to another window is not leaving the box either: it keeps the
    // focus there.
    if (event->type() == QEvent::FocusOut && watched == m_ui.txtRSizeLimit &&
        m_ui.txtRSizeLimit->window()->isVisible()) {
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            txtRSizeLimit_LostFocus();
    }
    return QObject::eventFilter(watched, event);
}

void ResizeActions::cmbMode_Click()
{
    guarded(Owner, u"cmbMode_Click"_s,
            [&] { WriteIniValue(SettingKeys::ResizeMode, m_ui.cmbMode->currentText()); });
}

void ResizeActions::cmbMode_Change()
{
    guarded(Owner, u"cmbMode_Change"_s, [&] { m_ui.cmdUpload->setEnabled(false); });
}

void ResizeActions::cmbResizePct_Click()
{
    guarded(Owner, u"cmbResizePct_Click"_s,
            [&] { WriteIniValue(SettingKeys::ResizePercent, m_ui.cmbResizePct->currentText()); });
}

void ResizeActions::cmbResizePct_Change()
{
    guarded(Owner, u"cmbResizePct_Change"_s, [&] { m_ui.cmdUpload->setEnabled(false); });
}

void ResizeActions::cmbTNSize_Click()
{
    guarded(Owner, u"cmbTNSize_Click"_s, [&] {
        const QString size = m_ui.cmbTNSize->currentText();
        WriteIniValue(SettingKeys::ThumbnailSize, size);
        m_ui.txtTNPrefix->setEnabled(size != OutputLayout::ThumbnailsDisabled);
    });
}

void ResizeActions::cmbFTPSizeLimit_Click()
{
    guarded(Owner, u"cmbFTPSizeLimit_Click"_s,
            [&] { WriteIniValue(SettingKeys::UploadSizeLimit, m_ui.cmbFTPSizeLimit->currentText()); });
}

void ResizeActions::txtTNPrefix_Change()
{
    guarded(Owner, u"txtTNPrefix_Change"_s,
            [&] { WriteIniValue(SettingKeys::ThumbnailPrefix, m_ui.txtTNPrefix->text()); });
}

void ResizeActions::resetLimitText()
{
    m_ui.txtRSizeLimit->setText(LimitIsWidth ? u"600W"_s : u"600H"_s);
}

void ResizeActions::txtRSizeLimit_Change()
{
    guarded(Owner, u"txtRSizeLimit_Change"_s, [&] {
        bool fits = true;
        try {
            NumberText::toInt16(NumberText::leading(m_ui.txtRSizeLimit->text()));
        } catch (const RunTimeError &error) {
            if (error.number() != RunTimeError::Overflow)
                throw;
            fits = false;
        }
        if (!fits) {
            showMessage(&m_form, u"Exceeded Resize Limits!!"_s, LimitTitle,
                        MessageBoxService::Icon::Critical);
            // Raises this handler again for the new text, which then fits.
            resetLimitText();
        }
        LimitIsWidth = m_ui.txtRSizeLimit->text().toUpper().contains(u'W');
        m_ui.cmdUpload->setEnabled(false);
    });
}

void ResizeActions::txtRSizeLimit_LostFocus()
{
    guarded(Owner, u"txtRSizeLimit_LostFocus"_s, [&] {
        QLineEdit *box = m_ui.txtRSizeLimit;
        QString message;
        if (NumberText::leading(box->text()) == 0) {
            message += u"Invalid use of ZERO!!\r\n"_s;
            resetLimitText();
        }
        if (NumberText::leading(box->text()) < 0) {
            message += u"Invalid use of neg values!!\r\n"_s;
            resetLimitText();
        }
        const QString upper = box->text().toUpper();
        if (!upper.contains(u'W') && !upper.contains(u'H')) {
            message += u"No W or H Modifier!!"_s;
            box->setText(box->text() + u'W');
        }
        if (!message.isEmpty())
            showMessage(&m_form, message, LimitTitle, MessageBoxService::Icon::Critical);
        WriteIniValue(SettingKeys::ResizeLimit, box->text());
    });
}

void ResizeActions::cmdResize_Click()
{
    if (!m_form.tryBeginRun())
        return;
    runResizeBatch();
    m_form.endRun();
}

ResizeActions::BatchResult ResizeActions::runResizeBatch()
{
    if (const std::optional<QString> refusal =
            ResizeBatch::refusal(m_ui.txtImgRootPath->text(), m_ui.txtFDestin->text())) {
        showMessage(&m_form, *refusal, QString(), MessageBoxService::Icon::Critical);
        return BatchResult::Refused;
    }

    RunControls::apply(m_ui, RunControls::RunStart, m_run.ImagesFound != 0);
    m_run.setCancelRequested(false);
    m_ui.cmdExit->setText(u"Cancel"_s);
    m_ui.Label1->setText(QString());

    // The rule controls stay locked until the batch ends, so what they read now holds for it.
    ResizeInputs inputs{
        m_ui.cmbMode->currentText(),   m_ui.cmbResizePct->currentText(), m_ui.txtRSizeLimit->text(),
        m_ui.cmbTNSize->currentText(), m_ui.txtTNPrefix->text(),         m_ui.chkRecreate->isChecked(),
        m_ui.txtImgRootPath->text(),   m_ui.txtFDestin->text(),          m_ui.cmbFTPSizeLimit->currentText()};
    inputs.galleryPreviews = GalleryOptions::fromSettings().pages;

    ResizeBatch batch(inputs, m_form.catalogActions()->catalog(), m_run, *this);
    batch.setWebOptions(WebCopyOptions::fromSettings());
    ResizeBatch::Outcome outcome = batch.run();
    // Pages describe a whole tree: a batch that was cancelled or stopped at an error leaves the
    // pages of the last complete one.
    if (outcome == ResizeBatch::Outcome::Finished && !m_run.cancelRequested() && !writeGalleryPages(inputs))
        outcome = ResizeBatch::Outcome::Failed;
    if (outcome == ResizeBatch::Outcome::ProcessorMissing) {
        frmDownloadIM::showWindow();
        m_form.close();
        return BatchResult::ProcessorMissing;
    }
    restoreControls(batch.processed());
    // After an error report the window is given back without the closing messages.
    if (outcome == ResizeBatch::Outcome::Finished) {
        if (m_ui.chkExit->isChecked() && !m_run.ResizeUploadActive) {
            m_form.close();
            return BatchResult::Finished;
        }
        batch.showClosingMessages();
    }
    RunControls::apply(m_ui, RunControls::TickButtons, m_run.ImagesFound != 0);
    return BatchResult::Finished;
}

bool ResizeActions::writeGalleryPages(const ResizeInputs &inputs)
{
    return guarded(Owner, u"cmdResize_Click"_s, [&] {
        const GalleryOptions options = GalleryOptions::fromSettings();
        if (!options.pages)
            return;
        const OutputLayout layout(inputs.imageRoot, inputs.destinationRoot, inputs.thumbnailSize,
                                  inputs.thumbnailPrefix);
        // After the batch a tick means "too large, do not upload": such a picture would be
        // missing from the published gallery, so its page leaves it out.
        const GalleryPlan plan = GallerySurvey::plan(
            layout, options, GalleryPlan::shownEntries(m_form.catalogActions()->catalog(), layout));
        m_form.setWindowTitle(u"Writing pages "_s + inputs.destinationRoot);
        GalleryWriter(plan, options.titleFor(inputs.imageRoot)).write([this] { return yieldCancelled(); });
    });
}

void ResizeActions::restoreControls(int processed)
{
    m_ui.cmdExit->setText(u"Exit"_s);
    RunControls::apply(m_ui, RunControls::ResizeEnd, m_run.ImagesFound != 0);
    m_form.setWindowTitle(u"Pexa Resizer"_s);
    if (processed >= 1)
        m_ui.cmdUpload->setEnabled(true);
    RunControls::apply(m_ui, RunControls::WhenReady, m_run.ImagesFound != 0);
}

bool ResizeActions::yieldCancelled()
{
    return m_form.yieldCancelled();
}

void ResizeActions::setCaption(const QString &caption)
{
    m_form.setWindowTitle(caption);
}

void ResizeActions::setStatus(const QString &text)
{
    m_ui.Label1->setText(text);
}

void ResizeActions::setTicked(int index, bool ticked)
{
    m_form.catalogActions()->setTicked(index, ticked);
}

void ResizeActions::showBox(const QString &text, const QString &title, MessageBoxService::Icon icon)
{
    showMessage(&m_form, text, title, icon);
}
