#pragma once

#include "ScanHost.h"

#include <QObject>
#include <QString>
#include <QStringList>

class QListWidget;
class frmMain;
struct MainControls;
struct RunState;

// The image catalogue on the main window: choosing the image root, the folder scan that fills
// the image list and the hidden folder list, bulk ticking and the preview of one image.
class CatalogActions : public QObject, private ScanHost
{
    Q_OBJECT

public:
    CatalogActions(frmMain &form, MainControls &ui, RunState &run);

    // Appends an entry and widens the list's horizontal scroll range to cover it.
    static void AddListItem(QListWidget *list, const QString &text);

public slots:
    void cmdSetFolder_Click();
    void cmdScan_Click();
    void cmdALL_Click();
    void cmdNONE_Click();
    void cmdINV_Click();
    void List1_Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    enum class Tick
    {
        Set,
        Clear,
        Invert
    };

    void List1_ItemClicked(int row);
    void bulkTick(const QString &procedure, Tick tick);
    void scanSteps();
    void closingSteps();
    void flushProgress();

    bool yieldCancelled() override;
    void requestCancel() override;
    double fileSize(const QString &path) override;
    void addImage(const QString &path) override;
    void addFolder(const QString &path) override;
    void showProgress(double imagesFound, double filesScanned) override;

    frmMain &m_form;
    MainControls &m_ui;
    RunState &m_run;
    QObject *m_listViewport = nullptr;
    // The row that was current when the mouse went down: a click on it previews it again.
    int m_rowBeforePress = -1;
    // The status line and caption of a running scan. Nothing repaints between two pumps of the
    // event loop, so they are written just before each pump rather than once per file.
    bool m_progressPending = false;
    double m_pendingImages = 0;
    double m_pendingFiles = 0;
    QString m_pendingCaption;
    // Files the last scan passed over because their names cannot be read.
    int m_unreadableNames = 0;
    QStringList m_firstUnreadable;
};
