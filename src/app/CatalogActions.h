#pragma once

#include "CatalogListModel.h"
#include "ScanHost.h"

#include <QObject>
#include <QString>
#include <QStringList>

class frmMain;
struct MainControls;
struct RunState;

// The image catalogue on the main window: choosing the image root, the folder scan that fills
// the catalogue, the image list and the hidden folder list that show it, bulk ticking and the
// preview of one image. The catalogue lives here; the batches get it when they start.
class CatalogActions : public QObject, private ScanHost
{
    Q_OBJECT

public:
    CatalogActions(frmMain &form, MainControls &ui, RunState &run);

    // What the last scan found, with the ticks as they stand now.
    const Catalog &catalog() const { return m_model->catalog(); }
    // Ticks or unticks an entry, in the catalogue and the list together.
    void setTicked(int index, bool ticked);
    // Empties the list (a new image root, a complete upload). The folders, and whether the scan
    // saw the whole tree, stay until the next scan.
    void clearEntries();
    // Shows this catalogue as a scan would have left it; for tests that need no scan.
    void setCatalog(const Catalog &catalog);

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
    using Tick = CatalogListModel::Tick;

    void List1_ItemClicked(int row);
    void measureRows();
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
    CatalogListModel *m_model = nullptr;
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
