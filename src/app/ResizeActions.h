#pragma once

#include "ResizeBatchHost.h"

#include <QObject>
#include <QString>

class QLineEdit;
struct ResizeInputs;
class frmMain;
struct MainControls;
struct RunState;

// The main window's resize rules and the Resize button: the handlers of the rule controls,
// and the window's side of the resize batch.
class ResizeActions : public QObject, private ResizeBatchHost
{
    Q_OBJECT

public:
    enum class BatchResult
    {
        // Ran to its end, was cancelled, or stopped at an error that has been reported.
        Finished,
        // Did not start: the destination is the image root.
        Refused,
        // The image processor is missing: its window is shown and the main window is closing.
        ProcessorMissing,
    };

    ResizeActions(frmMain &form, MainControls &ui, RunState &run);

    // The resize batch over the catalogue. Does not take the run lock: the caller holds it.
    BatchResult runResizeBatch();

    // True when the limit text held a "W" at its last change; picks the default a rejected
    // limit is reset to.
    bool LimitIsWidth = false;

public slots:
    void cmbMode_Click();
    void cmbMode_Change();
    void cmbResizePct_Click();
    void cmbResizePct_Change();
    void cmbTNSize_Click();
    void cmbFTPSizeLimit_Click();
    void txtTNPrefix_Change();
    void txtRSizeLimit_Change();
    void txtRSizeLimit_LostFocus();
    void cmdResize_Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void resetLimitText();
    // With pages chosen, the gallery pages of a finished batch; false when an error stopped
    // them (it has been reported).
    bool writeGalleryPages(const ResizeInputs &inputs);
    void restoreControls(int processed);

    bool yieldCancelled() override;
    void setCaption(const QString &caption) override;
    void setStatus(const QString &text) override;
    void setTicked(int index, bool ticked) override;
    void showBox(const QString &text, const QString &title, MessageBoxService::Icon icon) override;

    frmMain &m_form;
    MainControls &m_ui;
    RunState &m_run;
};
