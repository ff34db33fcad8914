#include "CatalogActions.h"

#include "DimensionLine.h"
#include "ErrorGuard.h"
#include "FileSystem.h"
#include "FolderPicker.h"
#include "FolderScan.h"
#include "ImageHeader.h"
#include "MainControls.h"
#include "MessageBoxService.h"
#include "RunControls.h"
#include "RunState.h"
#include "Settings.h"
#include "frmMain.h"

#include <QAbstractEventDispatcher>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString Owner = u"frmMain"_s;
const QString IdleCaption = u"Pexa Resizer"_s;
const QString CheckTip =
    u"Unchecked - Follow Rule Below / Checked - Just copy file: Do not follow rule below."_s;

// The picture loader's failure, numbered as the classic "Invalid picture" error.
constexpr int InvalidPicture = 481;

} // namespace

CatalogActions::CatalogActions(frmMain &form, MainControls &ui, RunState &run)
    : QObject(&form), m_form(form), m_ui(ui), m_run(run)
{
    connect(ui.cmdSetFolder, &QPushButton::clicked, this, &CatalogActions::cmdSetFolder_Click);
    connect(ui.cmdScan, &QPushButton::clicked, this, &CatalogActions::cmdScan_Click);
    connect(ui.cmdALL, &QPushButton::clicked, this, &CatalogActions::cmdALL_Click);
    connect(ui.cmdNONE, &QPushButton::clicked, this, &CatalogActions::cmdNONE_Click);
    connect(ui.cmdINV, &QPushButton::clicked, this, &CatalogActions::cmdINV_Click);
    m_model = new CatalogListModel(this);
    m_model->setFont(ui.List1->font());
    ui.List1->setModel(m_model);
    // A new current entry (by mouse or keyboard) is previewed at once; a click on the entry
    // that was already current, on its text or its check box, previews it again.
    connect(ui.List1->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &CatalogActions::List1_Click);
    connect(ui.List1, &QAbstractItemView::clicked, this,
            [this](const QModelIndex &index) { List1_ItemClicked(index.row()); });
    m_listViewport = ui.List1->viewport();
    m_listViewport->installEventFilter(this);
}

bool CatalogActions::eventFilter(QObject *watched, QEvent *event)
{
    // The window's own members are not touched for other events: the list's viewport still
    // sends some while the window is being torn down.
    if (event->type() == QEvent::MouseButtonPress && watched == m_listViewport)
        m_rowBeforePress = m_ui.List1->currentIndex().row();
    return QObject::eventFilter(watched, event);
}

void CatalogActions::setTicked(int index, bool ticked)
{
    m_model->setTicked(index, ticked);
}

void CatalogActions::clearEntries()
{
    m_model->clearEntries();
}

void CatalogActions::setCatalog(const Catalog &catalog)
{
    m_model->setFont(m_ui.List1->font());
    m_model->reset(catalog);
    m_ui.lstFolders->clear();
    m_ui.lstFolders->addItems(catalog.folders());
    if (!catalog.isEmpty() && !m_model->rowMetricsKnown())
        measureRows();
}

void CatalogActions::measureRows()
{
    // Every row is sized like the widest path so far: the check box and the margins come on
    // top of the text. They are measured once, on the first entry, by the list's own delegate,
    // before the model gives rows a size of its own.
    const QModelIndex first = m_model->index(0);
    const QSize natural = m_ui.List1->sizeHintForIndex(first);
    const int width = m_model->textWidth(m_model->catalog().entry(0).path);
    m_model->setRowMetrics(std::max(0, natural.width() - width), natural.height());
}

void CatalogActions::cmdSetFolder_Click()
{
    // The root is an input of the scan and the batches: it cannot change under a running one.
    if (m_form.runActive())
        return;
    guarded(Owner, u"cmdSetFolder_Click"_s, [&] {
        const QString folder = Browse(&m_form, u"Select Root Image Path"_s);
        if (folder.isEmpty())
            return;
        m_ui.txtImgRootPath->setText(folder);
        WriteIniValue(SettingKeys::ImageRoot, folder);
        m_run.ImagesFound = 0;
        m_run.FilesScanned = 0;
        m_run.setCancelRequested(false);
        clearEntries();
        m_ui.List1->setToolTip(QString());
        m_ui.Label1->clear();
        RunControls::apply(m_ui, RunControls::RootChanged, false);
    });
}

void CatalogActions::cmdScan_Click()
{
    if (!m_form.tryBeginRun())
        return;
    guarded(Owner, u"cmdScan_Click"_s, [&] { scanSteps(); });
    // The closing steps give the window back whatever happened during the walk.
    guarded(Owner, u"cmdScan_Click"_s, [&] { closingSteps(); });
    m_form.endRun();
}

void CatalogActions::scanSteps()
{
    m_ui.picbRawImage->setVisible(true);

    m_run.FileLimit = FolderScan::DefaultFileLimit;
    m_run.ImagesFound = 0;
    m_run.FilesScanned = 0;
    m_run.OverLimitCount = 0;
    m_run.setCancelRequested(false);

    m_model->setFont(m_ui.List1->font());
    m_model->reset();
    m_ui.List1->setToolTip(QString());
    m_ui.lstFolders->clear();
    m_ui.Label1->clear();
    m_ui.cmdExit->setText(u"Cancel"_s);
    RunControls::apply(m_ui, RunControls::ScanStart, false);

    m_progressPending = false;
    m_pendingCaption.clear();
    const QMetaObject::Connection beforePump =
        connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::awake, this,
                &CatalogActions::flushProgress);
    FolderScan scan(*this, Owner, m_run.FileLimit);
    m_unreadableNames = 0;
    m_firstUnreadable.clear();
    scan.GetFileList(m_ui.txtImgRootPath->text());
    m_unreadableNames = scan.unreadableNames();
    m_firstUnreadable = scan.firstUnreadable();
    m_model->setWholeTree(scan.walkedWhole() && !m_run.cancelRequested() && m_unreadableNames == 0);
    disconnect(beforePump);
    flushProgress();
}

void CatalogActions::closingSteps()
{
    m_form.setWindowTitle(IdleCaption);
    m_ui.cmdExit->setText(u"Exit"_s);
    RunControls::apply(m_ui, RunControls::ScanEnd, m_run.ImagesFound != 0);
    m_ui.List1->setToolTip(CheckTip);
    RunControls::apply(m_ui, RunControls::WhenReady, m_run.ImagesFound != 0);

    // A close box pressed during the scan ends the program quietly once the scan has stopped.
    if (m_run.cancelRequested() && !m_form.closePending()) {
        const QString text = m_run.ImagesFound >= m_run.FileLimit
                                 ? u"Hit "_s + QString::number(m_run.FileLimit) + u" file limit!!"_s
                                 : u"Cancelled!!"_s;
        showMessage(&m_form, text);
    }
    if (m_unreadableNames > 0 && !m_form.closePending()) {
        const QString count =
            m_unreadableNames == 1
                ? u"1 file skipped because its name cannot be read!!"_s
                : u"%1 files skipped because their names cannot be read!!"_s.arg(m_unreadableNames);
        showMessage(&m_form, count + u"\r\n"_s + m_firstUnreadable.join(u"\r\n"_s), QString(),
                    MessageBoxService::Icon::Exclamation);
    }
}

void CatalogActions::flushProgress()
{
    if (!m_progressPending)
        return;
    m_progressPending = false;
    m_ui.Label1->setText(
        u"%1 images out of %2 scanned!"_s.arg(m_pendingImages, 0, 'f', 0).arg(m_pendingFiles, 0, 'f', 0));
    if (!m_pendingCaption.isEmpty()) {
        m_form.setWindowTitle(m_pendingCaption);
        m_pendingCaption.clear();
    }
}

bool CatalogActions::yieldCancelled()
{
    return m_form.yieldCancelled();
}

void CatalogActions::requestCancel()
{
    m_run.setCancelRequested(true);
}

double CatalogActions::fileSize(const QString &path)
{
    return FileSystem::GetFSize(path);
}

void CatalogActions::addImage(const QString &path)
{
    m_model->appendEntry(path);
    if (!m_model->rowMetricsKnown())
        measureRows();
    m_ui.cmdALL->setEnabled(true);
    m_ui.cmdINV->setEnabled(true);
    m_ui.cmdNONE->setEnabled(true);
    m_pendingCaption = u"Scanning "_s + path;
}

void CatalogActions::addFolder(const QString &path)
{
    m_model->appendFolder(path);
    m_ui.lstFolders->addItem(path);
}

void CatalogActions::showProgress(double imagesFound, double filesScanned)
{
    m_run.ImagesFound = imagesFound;
    m_run.FilesScanned = filesScanned;
    m_pendingImages = imagesFound;
    m_pendingFiles = filesScanned;
    m_progressPending = true;
}

void CatalogActions::cmdALL_Click()
{
    bulkTick(u"cmdALL_Click"_s, Tick::Set);
}

void CatalogActions::cmdNONE_Click()
{
    bulkTick(u"cmdNONE_Click"_s, Tick::Clear);
}

void CatalogActions::cmdINV_Click()
{
    bulkTick(u"cmdINV_Click"_s, Tick::Invert);
}

void CatalogActions::bulkTick(const QString &procedure, Tick tick)
{
    guarded(Owner, procedure, [&] {
        // Inside a running scan or batch the buttons only tick: every control gets back the
        // state the run gave it, so no second run and no change of root can start.
        const bool insideRun = m_form.runActive();
        QList<bool> stateInRun;
        if (insideRun) {
            for (const RunControls::Step &step : RunControls::RunStart)
                stateInRun.append(RunControls::widget(m_ui, step.control)->isEnabled());
        }
        RunControls::apply(m_ui, RunControls::RunStart, m_run.ImagesFound != 0);

        if (tick == Tick::Clear)
            m_ui.Label1->clear();

        m_model->tickAll(tick);

        if (insideRun) {
            for (qsizetype k = 0; k < stateInRun.size(); ++k)
                RunControls::widget(m_ui, RunControls::RunStart.at(k).control)->setEnabled(stateInRun.at(k));
            return;
        }
        // Without a destination root a batch would write below the filesystem root, so the
        // batch buttons wait for one.
        RunControls::apply(m_ui, RunControls::TickingEnd, m_run.ImagesFound != 0);
    });
}

void CatalogActions::List1_ItemClicked(int row)
{
    if (row >= 0 && row == m_rowBeforePress && row == m_ui.List1->currentIndex().row())
        List1_Click();
}

void CatalogActions::List1_Click()
{
    guarded(Owner, u"List1_Click"_s, [&] {
        const QModelIndex current = m_ui.List1->currentIndex();
        if (!current.isValid())
            return;
        const QString path = catalog().entry(current.row()).path;
        int32_t height = 0;
        int32_t width = 0;
        int32_t bitsPerPixel = 0;
        ImageHeader::ReadImageSize(path, height, width, bitsPerPixel);

        // Decoded straight to the preview's size: the picture is stretched to the box anyway,
        // and a camera photo decodes much faster scaled.
        QImageReader reader(path);
        if (!m_ui.picbRawImage->size().isEmpty())
            reader.setScaledSize(m_ui.picbRawImage->size());
        const QImage picture = reader.read();
        if (picture.isNull())
            throw RunTimeError(InvalidPicture, u"Invalid picture: "_s + reader.errorString());
        m_ui.picbRawImage->setPixmap(QPixmap::fromImage(picture));

        const double bytes = FileSystem::GetFSize(path);
        m_ui.txtImgDimensions->setText(DimensionLine(height, width, bitsPerPixel, bytes));
        m_ui.picbRawImage->setToolTip(m_ui.txtImgDimensions->text());
    });
}
