#include "CatalogActions.h"

#include "DimensionLine.h"
#include "ErrorGuard.h"
#include "FileSystem.h"
#include "FolderPicker.h"
#include "FolderScan.h"
#include "ImageHeader.h"
#include "MessageBoxService.h"
#include "Settings.h"
#include "frmMain.h"

#include <QAbstractEventDispatcher>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFontMetricsF>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>

#include <algorithm>
#include <array>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString Owner = u"frmMain"_s;
const QString SettingsFileName = u"settings.ini"_s;
const QString IdleCaption = u"Pexa Resizer"_s;
const QString CheckTip =
    u"Unchecked - Follow Rule Below / Checked - Just copy file: Do not follow rule below."_s;

// The picture loader's failure, numbered as the classic "Invalid picture" error.
constexpr int InvalidPicture = 481;

constexpr const char *ExtentProperty = "pexaHorizontalExtent";
constexpr const char *RowHeightProperty = "pexaRowHeight";
constexpr const char *RowOverheadProperty = "pexaRowOverhead";

// Shaping every path of a 30,000-entry scan costs more than the walk itself; paths are almost
// always plain ASCII, whose advances are looked up once per font and summed.
qreal textWidth(const QFont &font, QStringView text)
{
    static QFont cachedFont;
    static std::array<qreal, 128> advances{};
    static bool cached = false;
    if (!cached || cachedFont != font) {
        const QFontMetricsF metrics(font);
        for (char16_t c = 0; c < advances.size(); ++c)
            advances[c] = metrics.horizontalAdvance(QChar(c));
        cachedFont = font;
        cached = true;
    }
    qreal width = 0;
    for (const QChar c : text) {
        if (c.unicode() >= advances.size())
            return QFontMetricsF(font).horizontalAdvance(text.toString());
        width += advances[c.unicode()];
    }
    return width;
}

} // namespace

CatalogActions::CatalogActions(frmMain &form) : QObject(&form), m_form(form)
{
    connect(form.cmdSetFolder, &QPushButton::clicked, this, &CatalogActions::cmdSetFolder_Click);
    connect(form.cmdScan, &QPushButton::clicked, this, &CatalogActions::cmdScan_Click);
    connect(form.cmdALL, &QPushButton::clicked, this, &CatalogActions::cmdALL_Click);
    connect(form.cmdNONE, &QPushButton::clicked, this, &CatalogActions::cmdNONE_Click);
    connect(form.cmdINV, &QPushButton::clicked, this, &CatalogActions::cmdINV_Click);
    // A new current entry (by mouse or keyboard) is previewed at once; a click on the entry
    // that was already current, on its text or its check box, previews it again.
    connect(form.List1, &QListWidget::currentRowChanged, this, &CatalogActions::List1_Click);
    connect(form.List1, &QListWidget::itemClicked, this,
            [this](QListWidgetItem *item) { List1_ItemClicked(m_form.List1->row(item)); });
    m_listViewport = form.List1->viewport();
    m_listViewport->installEventFilter(this);
}

bool CatalogActions::eventFilter(QObject *watched, QEvent *event)
{
    // The window's own members are not touched for other events: the list's viewport still
    // sends some while the window is being torn down.
    if (event->type() == QEvent::MouseButtonPress && watched == m_listViewport)
        m_rowBeforePress = m_form.List1->currentRow();
    return QObject::eventFilter(watched, event);
}

void CatalogActions::AddListItem(QListWidget *list, const QString &text)
{
    auto *item = new QListWidgetItem(text);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
    const int width = qRound(textWidth(list->font(), u" ") + textWidth(list->font(), text));
    const int stored = list->property(ExtentProperty).toInt();
    const int extent = std::max(width, stored);
    if (extent > stored)
        list->setProperty(ExtentProperty, extent);
    // The list sizes every row like its last one, so the widest width seen so far rides on the
    // newest entry; the extent never shrinks, not even when the list is cleared.
    // The check box and the margins come on top of the text; they are measured once, on the
    // first entry, by the list's own delegate.
    const QVariant rowHeight = list->property(RowHeightProperty);
    if (rowHeight.isValid())
        item->setData(Qt::SizeHintRole,
                      QSize(extent + list->property(RowOverheadProperty).toInt(), rowHeight.toInt()));
    list->addItem(item);
    if (!rowHeight.isValid()) {
        const int row = list->row(item);
        const int overhead = std::max(0, list->sizeHintForColumn(0) - width);
        const int height = list->sizeHintForRow(row);
        list->setProperty(RowHeightProperty, height);
        list->setProperty(RowOverheadProperty, overhead);
        item->setData(Qt::SizeHintRole, QSize(extent + overhead, height));
    }
}

double CatalogActions::GetFSize(const QString &path)
{
    double size = 0;
    guarded(Owner, u"GetFSize"_s, [&] { size = FileSystem::FileSize(path); });
    return size;
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
        m_form.txtImgRootPath->setText(folder);
        WriteIniValue(SettingsFileName, u"main"_s, u"root_path"_s, folder);
        m_form.cmdResize->setEnabled(false);
        m_form.cmdUpload->setEnabled(false);
        m_form.cmdResize_Upload->setEnabled(false);
        m_form.run.ImagesFound = 0;
        m_form.run.FilesScanned = 0;
        m_form.run.setCancelRequested(false);
        m_form.List1->clear();
        m_form.List1->setToolTip(QString());
        m_form.cmdALL->setEnabled(false);
        m_form.cmdINV->setEnabled(false);
        m_form.cmdNONE->setEnabled(false);
        m_form.Label1->clear();
        m_form.List1->setEnabled(false);
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
    frmMain &f = m_form;
    f.cmdResize->setEnabled(false);
    f.cmdUpload->setEnabled(false);
    f.cmdResize_Upload->setEnabled(false);
    f.cmdFTPSettings->setEnabled(false);
    f.picbRawImage->setVisible(true);

    f.FileLimit = FolderScan::DefaultFileLimit;
    f.run.ImagesFound = 0;
    f.run.FilesScanned = 0;
    f.run.OverLimitCount = 0;
    f.run.setCancelRequested(false);

    f.List1->clear();
    f.List1->setToolTip(QString());
    f.cmdALL->setEnabled(false);
    f.cmdINV->setEnabled(false);
    f.cmdNONE->setEnabled(false);
    f.lstFolders->clear();
    f.Label1->clear();

    f.cmdExit->setText(u"Cancel"_s);
    f.cmdSetFolder->setEnabled(false);
    f.cmdScan->setEnabled(false);
    f.cmdFDestin->setEnabled(false);
    f.List1->setEnabled(false);

    m_progressPending = false;
    m_pendingCaption.clear();
    const QMetaObject::Connection beforePump =
        connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::awake, this,
                &CatalogActions::flushProgress);
    FolderScan scan(*this, Owner, f.FileLimit);
    scan.GetFileList(f.txtImgRootPath->text());
    disconnect(beforePump);
    flushProgress();
}

void CatalogActions::closingSteps()
{
    frmMain &f = m_form;
    f.setWindowTitle(IdleCaption);
    f.cmdExit->setText(u"Exit"_s);

    f.cmdSetFolder->setEnabled(true);
    f.cmdScan->setEnabled(true);
    f.List1->setEnabled(true);
    f.cmdFDestin->setEnabled(true);
    f.cmdFTPSettings->setEnabled(true);
    f.cmdUpload->setEnabled(false);

    f.List1->setToolTip(CheckTip);

    if (f.run.ImagesFound != 0 && !f.txtFDestin->text().isEmpty()) {
        f.cmdResize->setEnabled(true);
        f.cmdUpload->setEnabled(true);
        f.cmdResize_Upload->setEnabled(true);
    }

    // A close box pressed during the scan ends the program quietly once the scan has stopped.
    if (f.run.cancelRequested() && !f.closePending()) {
        const QString text = f.run.ImagesFound >= f.FileLimit
                                 ? u"Hit "_s + QString::number(f.FileLimit) + u" file limit!!"_s
                                 : u"Cancelled!!"_s;
        showMessage(&f, text);
    }
}

void CatalogActions::flushProgress()
{
    if (!m_progressPending)
        return;
    m_progressPending = false;
    m_form.Label1->setText(
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
    m_form.run.setCancelRequested(true);
}

double CatalogActions::fileSize(const QString &path)
{
    return GetFSize(path);
}

void CatalogActions::addImage(const QString &path)
{
    AddListItem(m_form.List1, path);
    m_form.cmdALL->setEnabled(true);
    m_form.cmdINV->setEnabled(true);
    m_form.cmdNONE->setEnabled(true);
    m_pendingCaption = u"Scanning "_s + path;
}

void CatalogActions::addFolder(const QString &path)
{
    m_form.lstFolders->addItem(path);
}

void CatalogActions::showProgress(double imagesFound, double filesScanned)
{
    m_form.run.ImagesFound = imagesFound;
    m_form.run.FilesScanned = filesScanned;
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
    frmMain &f = m_form;
    guarded(Owner, procedure, [&] {
        const QList<QWidget *> locked = {f.cmdINV,      f.cmdALL,       f.cmdNONE,          f.cmdFTPSettings,
                                         f.cmdResize,   f.cmdUpload,    f.cmdResize_Upload, f.cmdSetFolder,
                                         f.cmdScan,     f.List1,        f.cmdFDestin,       f.cmbResizePct,
                                         f.cmbTNSize,   f.txtTNPrefix,  f.cmbFTPSizeLimit,  f.cmbMode,
                                         f.chkRecreate, f.txtRSizeLimit};
        // Inside a running scan or batch the buttons only tick: every control gets back the
        // state the run gave it, so no second run and no change of root can start.
        const bool insideRun = f.runActive();
        QList<bool> stateInRun;
        if (insideRun) {
            for (QWidget *control : locked)
                stateInRun.append(control->isEnabled());
        }
        for (QWidget *control : locked)
            control->setEnabled(false);

        if (tick == Tick::Clear)
            f.Label1->clear();

        for (int row = 0; row < f.List1->count(); ++row) {
            QListWidgetItem *item = f.List1->item(row);
            switch (tick) {
            case Tick::Set:
                item->setCheckState(Qt::Checked);
                break;
            case Tick::Clear:
                item->setCheckState(Qt::Unchecked);
                break;
            case Tick::Invert:
                item->setCheckState(item->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
                break;
            }
        }

        if (insideRun) {
            for (qsizetype k = 0; k < locked.size(); ++k)
                locked[k]->setEnabled(stateInRun[k]);
            return;
        }
        f.cmdFTPSettings->setEnabled(true);
        // Without a destination root a batch would write below the filesystem root, so the
        // batch buttons wait for one.
        const bool haveDestination = !f.txtFDestin->text().isEmpty();
        f.cmdResize->setEnabled(haveDestination);
        f.cmdUpload->setEnabled(haveDestination);
        f.cmdResize_Upload->setEnabled(haveDestination);
        f.cmdSetFolder->setEnabled(true);
        f.cmdScan->setEnabled(true);
        f.List1->setEnabled(true);
        f.cmdFDestin->setEnabled(true);
        f.cmbResizePct->setEnabled(true);
        f.cmbTNSize->setEnabled(true);
        f.txtTNPrefix->setEnabled(f.cmbTNSize->currentText() != u"Disabled"_s);
        f.cmbFTPSizeLimit->setEnabled(true);
        f.cmbMode->setEnabled(true);
        f.chkRecreate->setEnabled(true);
        f.txtRSizeLimit->setEnabled(true);
        f.cmdINV->setEnabled(true);
        f.cmdALL->setEnabled(true);
        f.cmdNONE->setEnabled(true);
    });
}

void CatalogActions::List1_ItemClicked(int row)
{
    if (row >= 0 && row == m_rowBeforePress && row == m_form.List1->currentRow())
        List1_Click();
}

void CatalogActions::List1_Click()
{
    guarded(Owner, u"List1_Click"_s, [&] {
        const QListWidgetItem *item = m_form.List1->currentItem();
        if (!item)
            return;
        const QString path = item->text();
        int32_t height = 0;
        int32_t width = 0;
        int32_t bitsPerPixel = 0;
        ImageHeader::ReadImageSize(path, height, width, bitsPerPixel);

        // Decoded straight to the preview's size: the picture is stretched to the box anyway,
        // and a camera photo decodes much faster scaled.
        QImageReader reader(path);
        if (!m_form.picbRawImage->size().isEmpty())
            reader.setScaledSize(m_form.picbRawImage->size());
        const QImage picture = reader.read();
        if (picture.isNull())
            throw RunTimeError(InvalidPicture, u"Invalid picture: "_s + reader.errorString());
        m_form.picbRawImage->setPixmap(QPixmap::fromImage(picture));

        const double bytes = GetFSize(path);
        m_form.txtImgDimensions->setText(DimensionLine(height, width, bitsPerPixel, bytes));
        m_form.picbRawImage->setToolTip(m_form.txtImgDimensions->text());
    });
}
