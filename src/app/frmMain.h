#pragma once

#include "MainControls.h"
#include "RunState.h"

#include <QMainWindow>
#include <cstdint>

class TrayIcon;
class CatalogActions;
class UploadActions;
class ResizeActions;

// The main window: the image list, the rule controls and the buttons that start a scan or a
// batch. Controls carry their names as object names, so tests and accessibility tools find
// them; the adapters that drive them get them from the window.
class frmMain : public QMainWindow
{
    Q_OBJECT

public:
    explicit frmMain(QWidget *parent = nullptr);
    ~frmMain() override;

    // The live main window, or nullptr when there is none.
    static frmMain *current();

    // The process-wide run state the scan and the batches share.
    RunState &runState() { return m_run; }

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
    // The catalogue of the last scan and the image list that shows it.
    CatalogActions *catalogActions() const { return m_catalog; }
    // After an error report: the Exit button enabled and reading Exit.
    void giveBackExit();

public slots:
    void cmdExit_Click();
    void cmdFDestin_Click();
    void txtFDestin_Change();
    void HideInTray_Click();
    void mnuWebOptions_Click();
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

    MainControls m_ui;
    RunState m_run;
    TrayIcon *m_tray = nullptr;
    CatalogActions *m_catalog = nullptr;
    UploadActions *m_upload = nullptr;
    ResizeActions *m_resize = nullptr;
    bool m_runActive = false;
    bool m_closeAfterRun = false;
};
