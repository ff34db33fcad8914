#include "ResizeActions.h"

#include "DestinationPath.h"
#include "ErrorGuard.h"
#include "FileSystem.h"
#include "ImageHeader.h"
#include "ImageProcessor.h"
#include "LimitNumber.h"
#include "MakePath.h"
#include "MessageBoxService.h"
#include "ResizeRule.h"
#include "Settings.h"
#include "frmDownloadIM.h"
#include "frmMain.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString SettingsFileName = u"settings.ini"_s;
const QString Owner = u"frmMain"_s;
const QString LimitTitle = u"Resize Exceeds"_s;
// Entries beyond the current one whose conversions are started early: one more than the
// processor converts at once, so a worker never waits for the window.
constexpr int PrepareAhead = 2;

void store(const QString &section, const QString &key, const QString &value)
{
    WriteIniValue(SettingsFileName, section, key, value);
}

// The folder a path names once links and "." or ".." are resolved; a folder that does not
// exist yet is compared by its cleaned absolute path.
QString realFolder(const QString &path)
{
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

} // namespace

// What one run of the batch keeps between its entries.
struct ResizeActions::Batch
{
    int count = 0;
    int processed = 0;
    bool processorChecked = false;
    int preparedUpTo = -1;
};

ResizeActions::ResizeActions(frmMain &form) : QObject(&form), m_form(form)
{
    LimitIsWidth = form.txtRSizeLimit->text().toUpper().contains(u'W');

    connect(form.cmbMode, &QComboBox::activated, this, &ResizeActions::cmbMode_Click);
    connect(form.cmbResizePct, &QComboBox::activated, this, &ResizeActions::cmbResizePct_Click);
    connect(form.cmbTNSize, &QComboBox::activated, this, &ResizeActions::cmbTNSize_Click);
    connect(form.cmbFTPSizeLimit, &QComboBox::activated, this, &ResizeActions::cmbFTPSizeLimit_Click);
    // Only typing is an edit: choosing an item from the list also changes the text.
    connect(form.cmbMode->lineEdit(), &QLineEdit::textEdited, this, &ResizeActions::cmbMode_Change);
    connect(form.cmbResizePct->lineEdit(), &QLineEdit::textEdited, this, &ResizeActions::cmbResizePct_Change);
    connect(form.txtTNPrefix, &QLineEdit::textChanged, this, &ResizeActions::txtTNPrefix_Change);
    connect(form.txtRSizeLimit, &QLineEdit::textChanged, this, &ResizeActions::txtRSizeLimit_Change);
    m_limitBox = form.txtRSizeLimit;
    m_limitBox->installEventFilter(this);
    connect(form.cmdResize, &QPushButton::clicked, this, &ResizeActions::cmdResize_Click);
}

bool ResizeActions::eventFilter(QObject *watched, QEvent *event)
{
    // The box also loses the focus while its window is torn down; the window must not be
    // touched then. Switching to another window is not leaving the box either: it keeps the
    // focus there.
    if (event->type() == QEvent::FocusOut && watched == m_limitBox && m_limitBox->window()->isVisible()) {
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            txtRSizeLimit_LostFocus();
    }
    return QObject::eventFilter(watched, event);
}

void ResizeActions::cmbMode_Click()
{
    guarded(Owner, u"cmbMode_Click"_s,
            [&] { store(u"main"_s, u"resize_mode"_s, m_form.cmbMode->currentText()); });
}

void ResizeActions::cmbMode_Change()
{
    guarded(Owner, u"cmbMode_Change"_s, [&] { m_form.cmdUpload->setEnabled(false); });
}

void ResizeActions::cmbResizePct_Click()
{
    guarded(Owner, u"cmbResizePct_Click"_s,
            [&] { store(u"main"_s, u"resize_pct"_s, m_form.cmbResizePct->currentText()); });
}

void ResizeActions::cmbResizePct_Change()
{
    guarded(Owner, u"cmbResizePct_Change"_s, [&] { m_form.cmdUpload->setEnabled(false); });
}

void ResizeActions::cmbTNSize_Click()
{
    guarded(Owner, u"cmbTNSize_Click"_s, [&] {
        const QString size = m_form.cmbTNSize->currentText();
        store(u"main"_s, u"tn_size"_s, size);
        m_form.txtTNPrefix->setEnabled(size != u"Disabled"_s);
    });
}

void ResizeActions::cmbFTPSizeLimit_Click()
{
    guarded(Owner, u"cmbFTPSizeLimit_Click"_s,
            [&] { store(u"ftp"_s, u"ul_size_limit"_s, m_form.cmbFTPSizeLimit->currentText()); });
}

void ResizeActions::txtTNPrefix_Change()
{
    guarded(Owner, u"txtTNPrefix_Change"_s,
            [&] { store(u"main"_s, u"tn_prefix"_s, m_form.txtTNPrefix->text()); });
}

void ResizeActions::resetLimitText()
{
    m_form.txtRSizeLimit->setText(LimitIsWidth ? u"600W"_s : u"600H"_s);
}

void ResizeActions::txtRSizeLimit_Change()
{
    guarded(Owner, u"txtRSizeLimit_Change"_s, [&] {
        bool fits = true;
        try {
            LimitNumber::toInt16(LimitNumber::leading(m_form.txtRSizeLimit->text()));
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
        LimitIsWidth = m_form.txtRSizeLimit->text().toUpper().contains(u'W');
        m_form.cmdUpload->setEnabled(false);
    });
}

void ResizeActions::txtRSizeLimit_LostFocus()
{
    guarded(Owner, u"txtRSizeLimit_LostFocus"_s, [&] {
        QLineEdit *box = m_form.txtRSizeLimit;
        QString message;
        if (LimitNumber::leading(box->text()) == 0) {
            message += u"Invalid use of ZERO!!\r\n"_s;
            resetLimitText();
        }
        if (LimitNumber::leading(box->text()) < 0) {
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
        store(u"main"_s, u"resize_limit"_s, box->text());
    });
}

void ResizeActions::cmdResize_Click()
{
    if (!m_form.tryBeginRun())
        return;
    runResizeBatch();
    m_form.endRun();
}

bool ResizeActions::destinationIsImageRoot() const
{
    return realFolder(m_form.txtFDestin->text()) == realFolder(m_form.txtImgRootPath->text());
}

ResizeActions::BatchResult ResizeActions::runResizeBatch()
{
    if (destinationIsImageRoot()) {
        // Every output would be written over its own source photo.
        showMessage(&m_form, u"Destination must differ from the image root!!"_s, QString(),
                    MessageBoxService::Icon::Critical);
        return BatchResult::Refused;
    }

    Batch batch;
    bool processorMissing = false;
    const bool ranThrough = guarded(Owner, u"cmdResize_Click"_s, [&] {
        startBatch();
        batch.count = m_form.List1->count();
        try {
            for (int index = 0; index < batch.count; ++index) {
                if (!processEntry(batch, index))
                    break;
            }
        } catch (const RunTimeError &error) {
            if (error.number() != RunTimeError::CannotCreateComponent)
                throw;
            processorMissing = true;
        }
    });
    ImageProcessor::instance().discardPrepared();

    if (processorMissing) {
        frmDownloadIM::showWindow();
        m_form.close();
        return BatchResult::ProcessorMissing;
    }
    if (!ranThrough) {
        // The error has been reported; leave the window usable rather than locked.
        restoreControls(batch.processed);
        m_form.cmdALL->setEnabled(true);
        m_form.cmdINV->setEnabled(true);
        m_form.cmdNONE->setEnabled(true);
        return BatchResult::Finished;
    }
    finishBatch(batch.processed);
    return BatchResult::Finished;
}

void ResizeActions::startBatch()
{
    frmMain &f = m_form;
    for (QWidget *control : std::initializer_list<QWidget *>{f.cmdALL, f.cmdINV, f.cmdNONE, f.cmdFTPSettings,
                                                             f.cmdResize, f.cmdUpload, f.cmdResize_Upload})
        control->setEnabled(false);
    f.run.setCancelRequested(false);
    f.cmdExit->setText(u"Cancel"_s);
    for (QWidget *control : std::initializer_list<QWidget *>{
             f.cmdSetFolder, f.cmdScan, f.List1, f.cmdFDestin, f.cmbResizePct, f.cmbTNSize, f.txtTNPrefix,
             f.cmbFTPSizeLimit, f.cmbMode, f.chkRecreate, f.txtRSizeLimit})
        control->setEnabled(false);
    f.Label1->setText(QString());
    f.cmdUpload->setEnabled(false);
}

ResizeActions::EntryPaths ResizeActions::pathsOf(const QString &destination, qsizetype lastSeparator) const
{
    EntryPaths paths;
    paths.folder = destination.left(lastSeparator);
    const QString name = destination.mid(lastSeparator + 1);
    paths.output = paths.folder + u'/' + name;
    paths.thumbnail = paths.folder + u'/' + m_form.txtTNPrefix->text() + name;
    return paths;
}

bool ResizeActions::thumbnailsWanted() const
{
    // With no prefix the thumbnail would land on the output itself.
    return m_form.cmbTNSize->currentText() != u"Disabled"_s && !m_form.txtTNPrefix->text().isEmpty();
}

bool ResizeActions::processEntry(Batch &batch, int index)
{
    frmMain &f = m_form;
    if (f.yieldCancelled())
        return false;
    const QString source = f.List1->item(index)->text();
    f.setWindowTitle(u"Processing "_s + source);

    const QString destination =
        DestinationPath::forEntry(source, f.txtImgRootPath->text(), f.txtFDestin->text());
    qsizetype separator = -1;
    for (qsizetype i = 0; i < destination.size(); ++i) {
        if (destination.at(i) != u'/')
            continue;
        if (f.yieldCancelled())
            break;
        separator = i;
    }
    const EntryPaths paths = pathsOf(destination, separator);

    const bool recreate = f.chkRecreate->isChecked();
    const bool process = (!FileSystem::FileExists(paths.output) && !recreate) || recreate;
    if (process) {
        bool needsResize = false;
        int32_t height = 0;
        int32_t width = 0;
        ResizeRule::Dimension scaleBy = ResizeRule::Dimension::Height;
        const bool justCopy = f.List1->item(index)->checkState() == Qt::Checked;
        if (f.yieldCancelled())
            return false;
        if (!justCopy) {
            int32_t bitsPerPixel = 0;
            ImageHeader::ReadImageSize(f.List1->item(index)->text(), height, width, bitsPerPixel);
            needsResize = ResizeRule::resizesAll(f.cmbMode->currentText());
            const ResizeRule::LimitTest limit = ResizeRule::test(f.txtRSizeLimit->text(), width, height);
            needsResize = needsResize || limit.exceeds;
            scaleBy = limit.scaleBy;
        }

        if (f.yieldCancelled())
            return false;
        // A folder left empty means the filesystem root, which always exists.
        if (!paths.folder.isEmpty() && !FileSystem::FolderExists(paths.folder))
            MakePath(paths.folder);
        if (f.yieldCancelled())
            return false;

        if (needsResize) {
            f.setWindowTitle(u"Resizing "_s + source);
            if (f.yieldCancelled())
                return false;
            useProcessor(batch, index);
            const std::optional<QString> option =
                ResizeRule::option(f.cmbMode->currentText(), f.cmbResizePct->currentText(),
                                   f.txtRSizeLimit->text(), width, height, scaleBy);
            // A failed conversion leaves no output; the size step below reports it.
            if (option)
                ImageProcessor::instance().convert(*option, source, paths.output);
        } else {
            f.setWindowTitle(u"Copying "_s + source);
            if (f.yieldCancelled())
                return false;
            FileSystem::CopyFile(source, paths.folder + u'/', true);
        }

        if (thumbnailsWanted()) {
            useProcessor(batch, index);
            FileSystem::CopyFile(source, paths.thumbnail, true);
            // A failed conversion leaves the plain copy as the thumbnail.
            ImageProcessor::instance().convert(ResizeRule::thumbnailOption(f.cmbTNSize->currentText()),
                                               source, paths.thumbnail);
        }
    } else {
        f.setWindowTitle(u"Skipping "_s + source);
        if (f.yieldCancelled())
            return false;
    }

    markBySize(index, paths.output);
    ++batch.processed;
    f.Label1->setText(QString::number(batch.processed) + u" images out of "_s +
                      LimitNumber::general(f.run.ImagesFound) + u" files completed!"_s);
    return true;
}

void ResizeActions::useProcessor(Batch &batch, int index)
{
    if (!batch.processorChecked) {
        ImageProcessor::instance().ensureAvailable();
        batch.processorChecked = true;
    }
    // Start this entry's conversions and those of the next entries, so the processor always
    // has the next image at hand while the window shows this one.
    const int last = std::min(index + PrepareAhead, batch.count - 1);
    for (int entry = std::max(index, batch.preparedUpTo + 1); entry <= last; ++entry)
        prepareEntry(entry);
    batch.preparedUpTo = std::max(batch.preparedUpTo, last);
}

void ResizeActions::prepareEntry(int index)
{
    // Works out, without touching anything, what the entry's steps will convert. A guess that
    // turns out wrong costs only the work: convert writes nothing it was not asked for.
    frmMain &f = m_form;
    QList<ImageProcessor::Conversion> conversions;
    try {
        const QString source = f.List1->item(index)->text();
        const QString destination =
            DestinationPath::forEntry(source, f.txtImgRootPath->text(), f.txtFDestin->text());
        const EntryPaths paths = pathsOf(destination, destination.lastIndexOf(u'/'));
        const bool recreate = f.chkRecreate->isChecked();
        if (!recreate && FileSystem::FileExists(paths.output))
            return;
        if (f.List1->item(index)->checkState() != Qt::Checked) {
            int32_t height = 0;
            int32_t width = 0;
            int32_t bitsPerPixel = 0;
            ImageHeader::ReadImageSize(source, height, width, bitsPerPixel);
            const ResizeRule::LimitTest limit = ResizeRule::test(f.txtRSizeLimit->text(), width, height);
            if (ResizeRule::resizesAll(f.cmbMode->currentText()) || limit.exceeds) {
                const std::optional<QString> option =
                    ResizeRule::option(f.cmbMode->currentText(), f.cmbResizePct->currentText(),
                                       f.txtRSizeLimit->text(), width, height, limit.scaleBy);
                if (option)
                    conversions.append({*option, paths.output});
            }
        }
        if (thumbnailsWanted())
            conversions.append({ResizeRule::thumbnailOption(f.cmbTNSize->currentText()), paths.thumbnail});
        if (!conversions.isEmpty())
            ImageProcessor::instance().prepare(source, conversions);
    } catch (const RunTimeError &) {
        // The entry's own steps meet the same error and report it in their turn.
    }
}

double ResizeActions::GetFSize(const QString &path)
{
    double size = 0;
    guarded(Owner, u"GetFSize"_s, [&] { size = FileSystem::FileSize(path); });
    return size;
}

void ResizeActions::markBySize(int index, const QString &output)
{
    frmMain &f = m_form;
    const double size = GetFSize(output);
    const double limit = LimitNumber::strict(f.cmbFTPSizeLimit->currentText()) * 1024;
    QListWidgetItem *item = f.List1->item(index);
    if (size > limit) {
        if (f.run.OverLimitCount == std::numeric_limits<int16_t>::max())
            throw RunTimeError(RunTimeError::Overflow);
        ++f.run.OverLimitCount;
        item->setCheckState(Qt::Checked);
    } else {
        item->setCheckState(Qt::Unchecked);
    }
}

void ResizeActions::restoreControls(int processed)
{
    frmMain &f = m_form;
    f.cmdExit->setText(u"Exit"_s);
    for (QWidget *control : std::initializer_list<QWidget *>{f.cmdSetFolder, f.cmdScan, f.cmdFDestin, f.List1,
                                                             f.cmbResizePct, f.cmbTNSize})
        control->setEnabled(true);
    f.txtTNPrefix->setEnabled(f.cmbTNSize->currentText() != u"Disabled"_s);
    for (QWidget *control :
         std::initializer_list<QWidget *>{f.cmbFTPSizeLimit, f.cmbMode, f.chkRecreate, f.txtRSizeLimit})
        control->setEnabled(true);
    f.setWindowTitle(u"Pexa Resizer"_s);
    f.cmdFTPSettings->setEnabled(true);
    if (processed >= 1)
        f.cmdUpload->setEnabled(true);
    if (!f.txtFDestin->text().isEmpty() && f.run.ImagesFound != 0) {
        f.cmdResize->setEnabled(true);
        f.cmdUpload->setEnabled(true);
        f.cmdResize_Upload->setEnabled(true);
    }
}

void ResizeActions::finishBatch(int processed)
{
    frmMain &f = m_form;
    restoreControls(processed);
    if (f.chkExit->isChecked() && !f.ResizeUploadActive) {
        f.close();
        return;
    }
    const int16_t marked = f.run.OverLimitCount;
    if (!f.run.cancelRequested() && marked > 0) {
        const QString text =
            marked == 1 ? u"1 file marked to not upload due to FTP Size Limit!!"_s
                        : QString::number(marked) + u" files marked to not upload due to FTP Size Limit!!"_s;
        showMessage(&f, text, u"FTP Size Limit"_s, MessageBoxService::Icon::Information);
    }
    if (f.run.ImagesFound < f.FileLimit && f.run.cancelRequested())
        showMessage(&f, u"Cancelled!!"_s);
    f.cmdALL->setEnabled(true);
    f.cmdINV->setEnabled(true);
    f.cmdNONE->setEnabled(true);
}
