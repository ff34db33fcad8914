#include "frmMain.h"

#include "Browser.h"
#include "CatalogActions.h"
#include "ErrorGuard.h"
#include "FolderPicker.h"
#include "ResizeActions.h"
#include "Settings.h"
#include "TrayIcon.h"
#include "UploadActions.h"
#include "UrlOpener.h"
#include "WebLinks.h"
#include "Yield.h"
#include "frmAbout.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>

using namespace Qt::Literals::StringLiterals;

namespace {

frmMain *s_current = nullptr;

const QString SettingsFileName = u"settings.ini"_s;

// Positions are kept in twips as the window was designed; 15 twips make a pixel at 96 dpi.
QRect twips(int left, int top, int width, int height)
{
    return QRect(qRound(left / 15.0), qRound(top / 15.0), qRound(width / 15.0), qRound(height / 15.0));
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
    m_catalog = new CatalogActions(*this);
    m_upload = new UploadActions(*this);
    m_resize = new ResizeActions(*this);
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

    auto place = [client](auto *widget, const QString &name, const QRect &rect,
                          const QString &accessibleName) {
        widget->setParent(client);
        widget->setObjectName(name);
        widget->setGeometry(rect);
        widget->setAccessibleName(accessibleName);
        return widget;
    };
    auto button = [&](const QString &name, const QString &caption, const QRect &rect) {
        auto *b = place(new QPushButton(caption), name, rect, QString(caption).replace(u"&&"_s, u"&"_s));
        b->setAutoDefault(false);
        return b;
    };
    auto label = [&](const QString &name, const QString &caption, const QRect &rect) {
        return place(new QLabel(caption), name, rect, caption);
    };
    auto combo = [&](const QString &name, const QRect &rect, const QString &accessibleName) {
        auto *c = place(new QComboBox, name, rect, accessibleName);
        c->setEditable(true);
        c->setInsertPolicy(QComboBox::NoInsert);
        // Without a completer typed text stays as typed: it would otherwise be completed to a
        // list item, and leaving the box would then count as choosing that item.
        c->setCompleter(nullptr);
        c->setMaxVisibleItems(20);
        return c;
    };

    cmdSetFolder = button(u"cmdSetFolder"_s, u"Select Image Root"_s, twips(120, 105, 1710, 315));
    txtImgRootPath = place(new QLineEdit, u"txtImgRootPath"_s, twips(1815, 120, 5160, 300), u"Image root"_s);
    txtImgRootPath->setEnabled(false);
    cmdScan = button(u"cmdScan"_s, u"Scan Root"_s, twips(120, 675, 1110, 315));
    cmdINV = button(u"cmdINV"_s, u"Inv"_s, twips(2355, 675, 540, 315));
    cmdINV->setAccessibleName(u"Invert ticks"_s);
    cmdALL = button(u"cmdALL"_s, u"All"_s, twips(2895, 675, 540, 315));
    cmdALL->setAccessibleName(u"Tick all"_s);
    cmdNONE = button(u"cmdNONE"_s, u"None"_s, twips(3435, 675, 540, 315));
    cmdNONE->setAccessibleName(u"Untick all"_s);
    for (QPushButton *b : {cmdINV, cmdALL, cmdNONE})
        b->setEnabled(false);
    lstFolders = place(new QListWidget, u"lstFolders"_s, twips(4215, 675, 660, 255), u"Folders"_s);
    lstFolders->hide();
    cmdExit = button(u"cmdExit"_s, u"Exit"_s, twips(6090, 675, 885, 315));
    List1 = place(new QListWidget, u"List1"_s, twips(120, 960, 3855, 3210), u"Images"_s);
    List1->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    List1->setUniformItemSizes(true);
    picbRawImage = place(new QLabel, u"picbRawImage"_s, twips(4065, 960, 2925, 3225), u"Preview"_s);
    picbRawImage->setScaledContents(true);
    picbRawImage->setPixmap(QPixmap(u":/images/pexa.png"_s));
    Label1 = label(u"Label1"_s, QString(), twips(150, 4215, 3795, 285));
    Label1->setAccessibleName(u"Status"_s);
    txtImgDimensions =
        place(new QLineEdit, u"txtImgDimensions"_s, twips(4080, 4215, 2910, 285), u"Image dimensions"_s);
    txtImgDimensions->setReadOnly(true);
    txtImgDimensions->setFocusPolicy(Qt::NoFocus);
    txtImgDimensions->setFrame(false);
    {
        QPalette palette = txtImgDimensions->palette();
        palette.setColor(QPalette::Base, palette.color(QPalette::Window));
        txtImgDimensions->setPalette(palette);
    }
    cmdFDestin = button(u"cmdFDestin"_s, u"Select Destination"_s, twips(120, 4560, 1710, 300));
    txtFDestin = place(new QLineEdit, u"txtFDestin"_s, twips(1815, 4560, 5160, 300), u"Destination root"_s);
    txtFDestin->setEnabled(false);
    Label2 = label(u"Label2"_s, u"Resize Percent:"_s, twips(120, 5070, 1245, 180));
    cmbResizePct = combo(u"cmbResizePct"_s, twips(1305, 5040, 645, 315), u"Resize Percent"_s);
    Label4 = label(u"Label4"_s, u"Mode:"_s, twips(2085, 5070, 510, 180));
    cmbMode = combo(u"cmbMode"_s, twips(2595, 5040, 2400, 315), u"Mode"_s);
    Label3 = label(u"Label3"_s, u"Resize Limit:"_s, twips(5055, 5070, 915, 180));
    txtRSizeLimit =
        place(new QLineEdit(u"600W"_s), u"txtRSizeLimit"_s, twips(5970, 5040, 630, 285), u"Resize Limit"_s);
    Label5 = label(u"Label5"_s, u"FTP Upload Size Limit (kb):"_s, twips(120, 5550, 1950, 180));
    cmbFTPSizeLimit =
        combo(u"cmbFTPSizeLimit"_s, twips(2115, 5520, 750, 315), u"FTP Upload Size Limit in kilobytes"_s);
    cmdFTPSettings = button(u"cmdFTPSettings"_s, u"FTP Setup"_s, twips(2955, 5520, 915, 315));
    chkRecreate = place(new QCheckBox(u"Recreate existing pictures"_s), u"chkRecreate"_s,
                        twips(4785, 5520, 2175, 285), u"Recreate existing pictures"_s);
    chkRecreate->setChecked(true);
    Label6 = label(u"Label6"_s, u"Thumbnail Size:"_s, twips(120, 6030, 1245, 180));
    cmbTNSize = combo(u"cmbTNSize"_s, twips(1305, 5985, 1065, 315), u"Thumbnail Size"_s);
    Label7 = label(u"Label7"_s, u"Thumbnail Prefix:"_s, twips(2430, 6030, 1245, 180));
    txtTNPrefix =
        place(new QLineEdit(u"tn_"_s), u"txtTNPrefix"_s, twips(3675, 6000, 780, 315), u"Thumbnail Prefix"_s);
    txtTNPrefix->setEnabled(false);
    chkExit = place(new QCheckBox(u"Exit when complete"_s), u"chkExit"_s, twips(4785, 6000, 2175, 285),
                    u"Exit when complete"_s);
    cmdResize = button(u"cmdResize"_s, u"Resize"_s, twips(120, 6480, 1530, 315));
    cmdUpload = button(u"cmdUpload"_s, u"Upload"_s, twips(1665, 6480, 1530, 315));
    cmdResize_Upload = button(u"cmdResize_Upload"_s, u"Resize && Upload"_s, twips(3225, 6480, 1530, 315));
    for (QPushButton *b : {cmdResize, cmdUpload, cmdResize_Upload})
        b->setEnabled(false);

    Label2->setBuddy(cmbResizePct);
    Label4->setBuddy(cmbMode);
    Label3->setBuddy(txtRSizeLimit);
    Label5->setBuddy(cmbFTPSizeLimit);
    Label6->setBuddy(cmbTNSize);
    Label7->setBuddy(txtTNPrefix);

    connect(cmdExit, &QPushButton::clicked, this, &frmMain::cmdExit_Click);
    connect(cmdFDestin, &QPushButton::clicked, this, &frmMain::cmdFDestin_Click);
    connect(txtFDestin, &QLineEdit::textChanged, this, &frmMain::txtFDestin_Change);
}

void frmMain::createMenu()
{
    HideInTray = menuBar()->addAction(u"Hide"_s);
    HideInTray->setObjectName(u"HideInTray"_s);
    Help = menuBar()->addMenu(u"Help"_s);
    Help->setObjectName(u"Help"_s);
    auto item = [this](QAction *&action, const QString &name, const QString &caption) {
        action = Help->addAction(caption);
        action->setObjectName(name);
    };
    item(mnuAbout, u"mnuAbout"_s, u"About"_s);
    item(mnuHome, u"mnuHome"_s, u"Software Home"_s);
    item(mnuUpdateChk, u"mnuUpdateChk"_s, u"Update Check"_s);
    item(mnuSubscribe, u"mnuSubscribe"_s, u"Subscribe to Orvel News"_s);
    item(mnuFakeError, u"mnuFakeError"_s, u"Fake Error"_s);

    connect(HideInTray, &QAction::triggered, this, &frmMain::HideInTray_Click);
    connect(mnuAbout, &QAction::triggered, this, &frmMain::mnuAbout_Click);
    connect(mnuHome, &QAction::triggered, this, &frmMain::mnuHome_Click);
    connect(mnuUpdateChk, &QAction::triggered, this, &frmMain::mnuUpdateChk_Click);
    connect(mnuSubscribe, &QAction::triggered, this, &frmMain::mnuSubscribe_Click);
    connect(mnuFakeError, &QAction::triggered, this, &frmMain::mnuFakeError_Click);
}

void frmMain::Form_Load()
{
    guarded(u"frmMain"_s, u"Form_Load"_s, [&] {
        ResizeUploadActive = false;
        m_tray->AddIconToTray();

        cmbMode->addItems(
            {u"All to Pct"_s, u"Exceed Limit to Pct"_s, u"All to Limit"_s, u"Exceed Limit to Limit"_s});
        cmbMode->setEditText(u"Exceed Limit to Pct"_s);
        picbRawImage->setVisible(true);
        for (int pct = 5; pct <= 95; pct += 5)
            cmbResizePct->addItem(QString::number(pct));
        for (int kb = 10; kb <= 1000; kb += 10)
            cmbFTPSizeLimit->addItem(QString::number(kb));
        cmbTNSize->addItem(u"Disabled"_s);
        for (int size = 20; size <= 100; size += 10)
            cmbTNSize->addItem(u"%1x%1"_s.arg(size));

        applyStoredSettings();
    });
}

void frmMain::applyStoredSettings()
{
    auto stored = [](const QString &section, const QString &key) {
        return ReadIniValue(SettingsFileName, section, key);
    };

    const QString tnSize = stored(u"main"_s, u"tn_size"_s);
    cmbTNSize->setEditText(tnSize.isEmpty() ? u"Disabled"_s : tnSize);
    if (!tnSize.isEmpty())
        txtTNPrefix->setEnabled(tnSize != u"Disabled"_s);

    const QString tnPrefix = stored(u"main"_s, u"tn_prefix"_s);
    if (!tnPrefix.isEmpty())
        txtTNPrefix->setText(tnPrefix);

    auto apply = [&](auto *control, const QString &section, const QString &key, const QString &fallback) {
        const QString value = stored(section, key);
        const QString text = value.isEmpty() ? fallback : value;
        if constexpr (std::is_same_v<std::remove_pointer_t<decltype(control)>, QComboBox>)
            control->setEditText(text);
        else
            control->setText(text);
    };
    apply(cmbFTPSizeLimit, u"ftp"_s, u"ul_size_limit"_s, u"500"_s);
    apply(cmbMode, u"main"_s, u"resize_mode"_s, u"Exceed Limit to Pct"_s);
    apply(txtRSizeLimit, u"main"_s, u"resize_limit"_s, u"600W"_s);
    apply(cmbResizePct, u"main"_s, u"resize_pct"_s, u"25"_s);
    apply(txtFDestin, u"main"_s, u"dest_path"_s, QString());
    // Where a drive root was the default, the user's home folder is.
    apply(txtImgRootPath, u"main"_s, u"root_path"_s, QDir::homePath());
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
    return run.cancelRequested();
}

void frmMain::closeEvent(QCloseEvent *event)
{
    // Closing while a run is active counts as Cancel; the window closes once the run has
    // stopped, so nothing works on a window that is going away.
    if (m_runActive) {
        run.setCancelRequested(true);
        m_closeAfterRun = true;
        event->ignore();
        return;
    }
    event->accept();
}

void frmMain::cmdExit_Click()
{
    guarded(u"frmMain"_s, u"cmdExit_Click"_s, [&] {
        const QString caption = cmdExit->text();
        if (caption == u"Exit"_s)
            close();
        else if (caption == u"Cancel"_s)
            run.setCancelRequested(true);
    });
}

void frmMain::cmdFDestin_Click()
{
    guarded(u"frmMain"_s, u"cmdFDestin_Click"_s, [&] {
        const QString folder = Browse(this, u"Select Image Destination Root Path"_s);
        if (folder.isEmpty())
            return;
        txtFDestin->setText(folder);
        WriteIniValue(SettingsFileName, u"main"_s, u"dest_path"_s, folder);
    });
}

void frmMain::txtFDestin_Change()
{
    if (run.ImagesFound != 0 && !txtFDestin->text().isEmpty()) {
        cmdUpload->setEnabled(true);
        cmdResize_Upload->setEnabled(true);
        cmdResize->setEnabled(true);
    }
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
