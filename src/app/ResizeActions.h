#pragma once

#include <QObject>
#include <QString>

class QLineEdit;
class frmMain;

// The main window's resize rules and the resize batch: the handlers of the rule controls and
// of the Resize button.
class ResizeActions : public QObject
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

    explicit ResizeActions(frmMain &form);

    // The resize batch over List1. Does not take the run lock: the caller holds it.
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
    struct EntryPaths
    {
        QString folder;
        QString output;
        QString thumbnail;
    };
    struct Batch;

    void resetLimitText();
    bool destinationIsImageRoot() const;
    void startBatch();
    // False when Cancel stopped the batch.
    bool processEntry(Batch &batch, int index);
    void useProcessor(Batch &batch, int index);
    void prepareEntry(int index);
    EntryPaths pathsOf(const QString &destination, qsizetype lastSeparator) const;
    bool thumbnailsWanted() const;
    void markBySize(int index, const QString &output);
    double GetFSize(const QString &path);
    void restoreControls(int processed);
    void finishBatch(int processed);

    frmMain &m_form;
    QLineEdit *m_limitBox = nullptr;
};
