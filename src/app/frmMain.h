#pragma once

#include "RunState.h"

#include <QMainWindow>
#include <cstdint>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;
class TrayIcon;
class CatalogActions;
class UploadActions;
class ResizeActions;

// The main window: the image list, the rule controls and the buttons that start a scan or a
// batch. Controls carry their names as public members and object names so that the actions
// that drive them, tests and accessibility tools find them.
class frmMain : public QMainWindow
{
    Q_OBJECT

public:
    explicit frmMain(QWidget *parent = nullptr);
    ~frmMain() override;

    // The live main window, or nullptr when there is none.
    static frmMain *current();

    QPushButton *cmdSetFolder = nullptr;
    QLineEdit *txtImgRootPath = nullptr;
    QPushButton *cmdScan = nullptr;
    QPushButton *cmdINV = nullptr;
    QPushButton *cmdALL = nullptr;
    QPushButton *cmdNONE = nullptr;
    QListWidget *lstFolders = nullptr;
    QPushButton *cmdExit = nullptr;
    QListWidget *List1 = nullptr;
    QLabel *picbRawImage = nullptr;
    QLabel *Label1 = nullptr;
    QLineEdit *txtImgDimensions = nullptr;
    QPushButton *cmdFDestin = nullptr;
    QLineEdit *txtFDestin = nullptr;
    QLabel *Label2 = nullptr;
    QComboBox *cmbResizePct = nullptr;
    QLabel *Label4 = nullptr;
    QComboBox *cmbMode = nullptr;
    QLabel *Label3 = nullptr;
    QLineEdit *txtRSizeLimit = nullptr;
    QLabel *Label5 = nullptr;
    QComboBox *cmbFTPSizeLimit = nullptr;
    QPushButton *cmdFTPSettings = nullptr;
    QCheckBox *chkRecreate = nullptr;
    QLabel *Label6 = nullptr;
    QComboBox *cmbTNSize = nullptr;
    QLabel *Label7 = nullptr;
    QLineEdit *txtTNPrefix = nullptr;
    QCheckBox *chkExit = nullptr;
    QPushButton *cmdResize = nullptr;
    QPushButton *cmdUpload = nullptr;
    QPushButton *cmdResize_Upload = nullptr;

    QAction *HideInTray = nullptr;
    QMenu *Help = nullptr;
    QAction *mnuAbout = nullptr;
    QAction *mnuHome = nullptr;
    QAction *mnuUpdateChk = nullptr;
    QAction *mnuSubscribe = nullptr;
    QAction *mnuFakeError = nullptr;

    // The process-wide run state the scan and the batches share.
    RunState run;
    // The scan's image limit, set by each scan.
    int32_t FileLimit = 0;
    // True while Resize & Upload runs.
    bool ResizeUploadActive = false;

    // Only one scan or batch runs at a time: a run starts only when this returns true and
    // calls endRun() when it is over, whatever way it ends.
    bool tryBeginRun();
    void endRun();
    bool runActive() const { return m_runActive; }
    // True when the window is to close as soon as the running scan or batch has stopped.
    bool closePending() const { return m_closeAfterRun; }

    // Yields to the event loop, then tells whether Cancel has been requested.
    bool yieldCancelled();

    // The tray icon's left double-click: shows a hidden window normal, hides and minimises a
    // visible one.
    void trayDoubleClicked();
    TrayIcon *trayIcon() const { return m_tray; }
    // The resize rules and batch, for Resize & Upload.
    ResizeActions *resizeActions() const { return m_resize; }

public slots:
    void cmdExit_Click();
    void cmdFDestin_Click();
    void txtFDestin_Change();
    void HideInTray_Click();
    void mnuAbout_Click();
    void mnuHome_Click();
    void mnuUpdateChk_Click();
    void mnuSubscribe_Click();
    void mnuFakeError_Click();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void createControls();
    void createMenu();
    void Form_Load();
    void applyStoredSettings();

    TrayIcon *m_tray = nullptr;
    CatalogActions *m_catalog = nullptr;
    UploadActions *m_upload = nullptr;
    ResizeActions *m_resize = nullptr;
    bool m_runActive = false;
    bool m_closeAfterRun = false;
};
