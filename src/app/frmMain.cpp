#include "frmMain.h"

#include "Browser.h"
#include "CatalogActions.h"
#include "ErrorGuard.h"
#include "FolderPicker.h"
#include "OutputLayout.h"
#include "ResizeActions.h"
#include "RunControls.h"
#include "Settings.h"
#include "TrayIcon.h"
#include "UploadActions.h"
#include "UrlOpener.h"
#include "WebLinks.h"
#include "Yield.h"
#include "frmAbout.h"
#include "frmWebOptions.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>

using namespace Qt::Literals::StringLiterals;

namespace {

frmMain *s_current = nullptr;

// Positions are kept in twips as the window was designed; 15 twips make a pixel at 96 dpi.
QRect twips(int left, int top, int width, int height)
{
    return QRect(qRound(left / 15.0), qRound(top / 15.0), qRound(width / 15.0), qRound(height / 15.0));
}

// Puts a text into an editable combo box. When the text is one of its items that item becomes
// current too, so the list opens on it and the arrow keys move from it. No pick from the list
// is raised: that is the user's.
void putText(QComboBox *combo, const QString &text)
{
    const int index = combo->findText(text);
    if (index >= 0)
        combo->setCurrentIndex(index);
    combo->setEditText(text);
}

} // namespace

frmMain::frmMain(QWidget *parent) : QMainWindow(parent)
{
    s_current = this;
    setObjectName(u"frmMain"_s);
    setWindowTitle(u"Pexa Resizer"_s);
    setWindowIcon(QIcon(u":/images/pexa.png"_s));
    createControls();
    createMenu();
    m_tray = new TrayIcon(*this);
    // Subsystem actions connect here, before the stored settings are applied.
    m_catalog = new CatalogActions(*this, m_ui, m_run);
    m_upload = new UploadActions(*this, m_ui, m_run);
    m_resize = new ResizeActions(*this, m_ui, m_run);
    m_upload->setResizeBatch(
        [this] { return m_resize->runResizeBatch() != ResizeActions::BatchResult::Refused; });
    Form_Load();
}

frmMain::~frmMain()
{
    // Form_Terminate: the tray icon leaves with the window.
    guarded(u"frmMain"_s, u"Form_Terminate"_s, [&] { m_tray->DeleteIconFromTray(); });
    if (s_current == this)
        s_current = nullptr;
}

frmMain *frmMain::current()
{
    return s_current;
}

void frmMain::createControls()
{
    auto *client = new QWidget(this);
    client->setFixedSize(twips(0, 0, 7095, 6960).size());
    // The controls keep their designed places, which were laid out for an 8-point face; the
    // desktop's usual larger default would clip their captions.
    QFont face = client->font();
    face.setPixelSize(11);
    face.setStretch(QFont::Condensed);
    client->setFont(face);
    setCentralWidget(client);

    // Accessible names are left to Qt wherever something visible names the control: a button
    // or check box is named by its caption, which may change, and a box by its label (the
    // label's buddy). Only controls that nothing visible names get a name of their own.
    auto place = [client](auto *widget, const QString &name, const QRect &rect) {
        widget->setParent(client);
        widget->setObjectName(name);
        widget->setGeometry(rect);
        return widget;
    };
    auto button = [&](const QString &name, const QString &caption, const QRect &rect) {
        auto *b = place(new QPushButton(caption), name, rect);
        b->setAutoDefault(false);
        return b;
    };
    auto label = [&](const QString &name, const QString &caption, const QRect &rect) {
        return place(new QLabel(caption), name, rect);
    };
    auto combo = [&](const QString &name, const QRect &rect) {
        auto *c = place(new QComboBox, name, rect);
        c->setEditable(true);
        c->setInsertPolicy(QComboBox::NoInsert);
        // Without a completer typed text stays as typed: it would otherwise be completed to a
        // list item, and leaving the box would then count as choosing that item.
        c->setCompleter(nullptr);
        c->setMaxVisibleItems(20);
        return c;
    };

    m_ui.cmdSetFolder = button(u"cmdSetFolder"_s, u"Select Image Root"_s, twips(120, 105, 1710, 315));
    m_ui.txtImgRootPath = place(new QLineEdit, u"txtImgRootPath"_s, twips(1815, 120, 5160, 300));
    m_ui.txtImgRootPath->setAccessibleName(u"Image root"_s);
    m_ui.txtImgRootPath->setEnabled(false);
    m_ui.cmdScan = button(u"cmdScan"_s, u"Scan Root"_s, twips(120, 675, 1110, 315));
    m_ui.cmdINV = button(u"cmdINV"_s, u"Inv"_s, twips(2355, 675, 540, 315));
    m_ui.cmdINV->setAccessibleDescription(u"Invert the ticks of all images"_s);
    m_ui.cmdALL = button(u"cmdALL"_s, u"All"_s, twips(2895, 675, 540, 315));
    m_ui.cmdALL->setAccessibleDescription(u"Tick all images"_s);
    m_ui.cmdNONE = button(u"cmdNONE"_s, u"None"_s, twips(3435, 675, 540, 315));
    m_ui.cmdNONE->setAccessibleDescription(u"Untick all images"_s);
    for (QPushButton *b : {m_ui.cmdINV, m_ui.cmdALL, m_ui.cmdNONE})
        b->setEnabled(false);
    m_ui.lstFolders = place(new QListWidget, u"lstFolders"_s, twips(4215, 675, 660, 255));
    m_ui.lstFolders->hide();
    m_ui.cmdExit = button(u"cmdExit"_s, u"Exit"_s, twips(6090, 675, 885, 315));
    m_ui.List1 = place(new QListView, u"List1"_s, twips(120, 960, 3855, 3210));
    m_ui.List1->setAccessibleName(u"Images"_s);
    m_ui.List1->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_ui.List1->setUniformItemSizes(true);
    m_ui.picbRawImage = place(new QLabel, u"picbRawImage"_s, twips(4065, 960, 2925, 3225));
    m_ui.picbRawImage->setAccessibleName(u"Preview"_s);
    m_ui.picbRawImage->setScaledContents(true);
    m_ui.picbRawImage->setPixmap(QPixmap(u":/images/pexa.png"_s));
    m_ui.Label1 = label(u"Label1"_s, QString(), twips(150, 4215, 3795, 285));
    m_ui.txtImgDimensions = place(new QLineEdit, u"txtImgDimensions"_s, twips(4080, 4215, 2910, 285));
    m_ui.txtImgDimensions->setAccessibleName(u"Image dimensions"_s);
    m_ui.txtImgDimensions->setReadOnly(true);
    m_ui.txtImgDimensions->setFocusPolicy(Qt::NoFocus);
    m_ui.txtImgDimensions->setFrame(false);
    {
        QPalette palette = m_ui.txtImgDimensions->palette();
        palette.setColor(QPalette::Base, palette.color(QPalette::Window));
        m_ui.txtImgDimensions->setPalette(palette);
    }
    m_ui.cmdFDestin = button(u"cmdFDestin"_s, u"Select Destination"_s, twips(120, 4560, 1710, 300));
    m_ui.txtFDestin = place(new QLineEdit, u"txtFDestin"_s, twips(1815, 4560, 5160, 300));
    m_ui.txtFDestin->setAccessibleName(u"Destination root"_s);
    m_ui.txtFDestin->setEnabled(false);
    m_ui.Label2 = label(u"Label2"_s, u"Resize Percent:"_s, twips(120, 5070, 1245, 180));
    m_ui.cmbResizePct = combo(u"cmbResizePct"_s, twips(1305, 5040, 645, 315));
    m_ui.Label4 = label(u"Label4"_s, u"Mode:"_s, twips(2085, 5070, 510, 180));
    m_ui.cmbMode = combo(u"cmbMode"_s, twips(2595, 5040, 2400, 315));
    m_ui.Label3 = label(u"Label3"_s, u"Resize Limit:"_s, twips(5055, 5070, 915, 180));
    m_ui.txtRSizeLimit = place(new QLineEdit(u"600W"_s), u"txtRSizeLimit"_s, twips(5970, 5040, 630, 285));
    m_ui.Label5 = label(u"Label5"_s, u"FTP Upload Size Limit (kb):"_s, twips(120, 5550, 1950, 180));
    m_ui.cmbFTPSizeLimit = combo(u"cmbFTPSizeLimit"_s, twips(2115, 5520, 750, 315));
    m_ui.cmdFTPSettings = button(u"cmdFTPSettings"_s, u"FTP Setup"_s, twips(2955, 5520, 915, 315));
    m_ui.chkRecreate =
        place(new QCheckBox(u"Recreate existing pictures"_s), u"chkRecreate"_s, twips(4785, 5520, 2175, 285));
    m_ui.chkRecreate->setChecked(true);
    m_ui.Label6 = label(u"Label6"_s, u"Thumbnail Size:"_s, twips(120, 6030, 1245, 180));
    m_ui.cmbTNSize = combo(u"cmbTNSize"_s, twips(1305, 5985, 1065, 315));
    m_ui.Label7 = label(u"Label7"_s, u"Thumbnail Prefix:"_s, twips(2430, 6030, 1245, 180));
    m_ui.txtTNPrefix = place(new QLineEdit(u"tn_"_s), u"txtTNPrefix"_s, twips(3675, 6000, 780, 315));
    m_ui.txtTNPrefix->setEnabled(false);
    m_ui.chkExit = place(new QCheckBox(u"Exit when complete"_s), u"chkExit"_s, twips(4785, 6000, 2175, 285));
    m_ui.cmdResize = button(u"cmdResize"_s, u"Resize"_s, twips(120, 6480, 1530, 315));
    m_ui.cmdUpload = button(u"cmdUpload"_s, u"Upload"_s, twips(1665, 6480, 1530, 315));
    m_ui.cmdResize_Upload =
        button(u"cmdResize_Upload"_s, u"Resize && Upload"_s, twips(3225, 6480, 1530, 315));
    for (QPushButton *b : {m_ui.cmdResize, m_ui.cmdUpload, m_ui.cmdResize_Upload})
        b->setEnabled(false);

    m_ui.Label2->setBuddy(m_ui.cmbResizePct);
    m_ui.Label4->setBuddy(m_ui.cmbMode);
    m_ui.Label3->setBuddy(m_ui.txtRSizeLimit);
    m_ui.Label5->setBuddy(m_ui.cmbFTPSizeLimit);
    m_ui.Label6->setBuddy(m_ui.cmbTNSize);
    m_ui.Label7->setBuddy(m_ui.txtTNPrefix);

    connect(m_ui.cmdExit, &QPushButton::clicked, this, &frmMain::cmdExit_Click);
    connect(m_ui.cmdFDestin, &QPushButton::clicked, this, &frmMain::cmdFDestin_Click);
    connect(m_ui.txtFDestin, &QLineEdit::textChanged, this, &frmMain::txtFDestin_Change);
}

void frmMain::createMenu()
{
    m_ui.HideInTray = menuBar()->addAction(u"Hide"_s);
    m_ui.HideInTray->setObjectName(u"HideInTray"_s);
    m_ui.Options = menuBar()->addMenu(u"Options"_s);
    m_ui.Options->setObjectName(u"Options"_s);
    m_ui.mnuWebOptions = m_ui.Options->addAction(u"Web Options…"_s);
    m_ui.mnuWebOptions->setObjectName(u"mnuWebOptions"_s);
    m_ui.Help = menuBar()->addMenu(u"Help"_s);
    m_ui.Help->setObjectName(u"Help"_s);
    auto item = [this](QAction *&action, const QString &name, const QString &caption) {
        action = m_ui.Help->addAction(caption);
        action->setObjectName(name);
    };
    item(m_ui.mnuAbout, u"mnuAbout"_s, u"About"_s);
    item(m_ui.mnuHome, u"mnuHome"_s, u"Software Home"_s);
    item(m_ui.mnuUpdateChk, u"mnuUpdateChk"_s, u"Update Check"_s);
    item(m_ui.mnuSubscribe, u"mnuSubscribe"_s, u"Subscribe to Orvel News"_s);
    item(m_ui.mnuFakeError, u"mnuFakeError"_s, u"Fake Error"_s);

    connect(m_ui.HideInTray, &QAction::triggered, this, &frmMain::HideInTray_Click);
    connect(m_ui.mnuWebOptions, &QAction::triggered, this, &frmMain::mnuWebOptions_Click);
    connect(m_ui.mnuAbout, &QAction::triggered, this, &frmMain::mnuAbout_Click);
    connect(m_ui.mnuHome, &QAction::triggered, this, &frmMain::mnuHome_Click);
    connect(m_ui.mnuUpdateChk, &QAction::triggered, this, &frmMain::mnuUpdateChk_Click);
    connect(m_ui.mnuSubscribe, &QAction::triggered, this, &frmMain::mnuSubscribe_Click);
    connect(m_ui.mnuFakeError, &QAction::triggered, this, &frmMain::mnuFakeError_Click);
}

void frmMain::Form_Load()
{
    guarded(u"frmMain"_s, u"Form_Load"_s, [&] {
        m_run.ResizeUploadActive = false;
        m_tray->AddIconToTray();

        m_ui.cmbMode->addItems(
            {u"All to Pct"_s, u"Exceed Limit to Pct"_s, u"All to Limit"_s, u"Exceed Limit to Limit"_s});
        putText(m_ui.cmbMode, u"Exceed Limit to Pct"_s);
        m_ui.picbRawImage->setVisible(true);
        for (int pct = 5; pct <= 95; pct += 5)
            m_ui.cmbResizePct->addItem(QString::number(pct));
        for (int kb = 10; kb <= 1000; kb += 10)
            m_ui.cmbFTPSizeLimit->addItem(QString::number(kb));
        m_ui.cmbTNSize->addItem(OutputLayout::ThumbnailsDisabled);
        for (int size = 20; size <= 100; size += 10)
            m_ui.cmbTNSize->addItem(u"%1x%1"_s.arg(size));

        applyStoredSettings();
    });
}

void frmMain::applyStoredSettings()
{
    const QString tnSize = ReadIniValue(SettingKeys::ThumbnailSize);
    putText(m_ui.cmbTNSize, tnSize.isEmpty() ? SettingKeys::ThumbnailSize.fallback : tnSize);
    if (!tnSize.isEmpty())
        m_ui.txtTNPrefix->setEnabled(tnSize != OutputLayout::ThumbnailsDisabled);

    const QString tnPrefix = ReadIniValue(SettingKeys::ThumbnailPrefix);
    if (!tnPrefix.isEmpty())
        m_ui.txtTNPrefix->setText(tnPrefix);

    putText(m_ui.cmbFTPSizeLimit, ReadIniValueOrDefault(SettingKeys::UploadSizeLimit));
    putText(m_ui.cmbMode, ReadIniValueOrDefault(SettingKeys::ResizeMode));
    m_ui.txtRSizeLimit->setText(ReadIniValueOrDefault(SettingKeys::ResizeLimit));
    putText(m_ui.cmbResizePct, ReadIniValueOrDefault(SettingKeys::ResizePercent));
    m_ui.txtFDestin->setText(ReadIniValueOrDefault(SettingKeys::DestinationRoot));
    // Where a drive root was the default, the user's home folder is.
    const QString root = ReadIniValue(SettingKeys::ImageRoot);
    m_ui.txtImgRootPath->setText(root.isEmpty() ? QDir::homePath() : root);
}

bool frmMain::tryBeginRun()
{
    if (m_runActive)
        return false;
    m_runActive = true;
    return true;
}

void frmMain::endRun()
{
    m_runActive = false;
    if (m_closeAfterRun) {
        m_closeAfterRun = false;
        close();
    }
}

bool frmMain::yieldCancelled()
{
    Yield();
    return m_run.cancelRequested();
}

void frmMain::closeEvent(QCloseEvent *event)
{
    // Closing while a run is active counts as Cancel; the window closes once the run has
    // stopped, so nothing works on a window that is going away.
    if (m_runActive) {
        m_run.setCancelRequested(true);
        m_closeAfterRun = true;
        event->ignore();
        return;
    }
    event->accept();
}

void frmMain::cmdExit_Click()
{
    guarded(u"frmMain"_s, u"cmdExit_Click"_s, [&] {
        const QString caption = m_ui.cmdExit->text();
        if (caption == u"Exit"_s)
            close();
        else if (caption == u"Cancel"_s)
            m_run.setCancelRequested(true);
    });
}

void frmMain::cmdFDestin_Click()
{
    guarded(u"frmMain"_s, u"cmdFDestin_Click"_s, [&] {
        const QString folder = Browse(this, u"Select Image Destination Root Path"_s);
        if (folder.isEmpty())
            return;
        m_ui.txtFDestin->setText(folder);
        WriteIniValue(SettingKeys::DestinationRoot, folder);
    });
}

void frmMain::txtFDestin_Change()
{
    RunControls::apply(m_ui, RunControls::WhenReady, m_run.ImagesFound != 0);
}

void frmMain::giveBackExit()
{
    m_ui.cmdExit->setEnabled(true);
    m_ui.cmdExit->setText(u"Exit"_s);
}

void frmMain::HideInTray_Click()
{
    guarded(u"frmMain"_s, u"HideInTray_Click"_s, [&] {
        // Without a notification area nothing could bring a hidden window back: it is
        // minimised instead, so the task bar still holds it.
        if (m_tray->canRestoreWindow())
            hide();
        else
            showMinimized();
    });
}

void frmMain::trayDoubleClicked()
{
    guarded(u"frmMain"_s, u"Form_MouseMove"_s, [&] {
        if (isVisible()) {
            hide();
            setWindowState(windowState() | Qt::WindowMinimized);
        } else {
            setWindowState(Qt::WindowNoState);
            show();
        }
    });
}

void frmMain::mnuWebOptions_Click()
{
    guarded(u"frmMain"_s, u"mnuWebOptions_Click"_s, [&] {
        frmWebOptions dialog(this);
        dialog.setImageRoot(m_ui.txtImgRootPath->text());
        dialog.exec();
    });
}

void frmMain::mnuAbout_Click()
{
    guarded(u"frmMain"_s, u"mnuAbout_Click"_s, [&] {
        frmAbout box;
        box.cmdOK->setText(u"Exit"_s);
        box.exec();
    });
}

void frmMain::mnuHome_Click()
{
    guarded(u"frmMain"_s, u"mnuHome_Click"_s, [&] { OpenURL(softwareHomeAddress()); });
}

void frmMain::mnuUpdateChk_Click()
{
    guarded(u"frmMain"_s, u"mnuUpdateChk_Click"_s, [&] {
        Browser window;
        window.exec();
    });
}

void frmMain::mnuSubscribe_Click()
{
    guarded(u"frmMain"_s, u"mnuSubscribe_Click"_s,
            [&] { UrlOpener::instance().openMail(subscribeMailLink()); });
}

void frmMain::mnuFakeError_Click()
{
    guarded(u"frmMain"_s, u"mnuFakeError_Click"_s, [&] { throw RunTimeError(RunTimeError::FakeError); });
}
