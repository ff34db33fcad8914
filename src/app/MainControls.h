#pragma once

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListView;
class QListWidget;
class QMenu;
class QPushButton;

// The main window's controls, made by the window and handed to the adapters that drive them,
// as a designer form's controls are.
struct MainControls
{
    QPushButton *cmdSetFolder = nullptr;
    QLineEdit *txtImgRootPath = nullptr;
    QPushButton *cmdScan = nullptr;
    QPushButton *cmdINV = nullptr;
    QPushButton *cmdALL = nullptr;
    QPushButton *cmdNONE = nullptr;
    // Hidden: shows the catalogue's folders, as the image list shows its entries.
    QListWidget *lstFolders = nullptr;
    QPushButton *cmdExit = nullptr;
    // Shows the catalogue (CatalogActions); no other code reads its rows.
    QListView *List1 = nullptr;
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
    QMenu *Options = nullptr;
    QAction *mnuWebOptions = nullptr;
    QMenu *Help = nullptr;
    QAction *mnuAbout = nullptr;
    QAction *mnuHome = nullptr;
    QAction *mnuUpdateChk = nullptr;
    QAction *mnuSubscribe = nullptr;
    QAction *mnuFakeError = nullptr;
};
