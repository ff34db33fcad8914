#pragma once

#include "MessageBoxService.h"

#include <QString>
#include <QStringList>

// What the upload batch needs of the windows around it: the main window's inputs, controls and
// run state, and the progress window.
class UploadHost
{
public:
    virtual ~UploadHost() = default;

    virtual QString imageRoot() const = 0;
    virtual QString destinationRoot() const = 0;
    virtual QString thumbnailPrefix() const = 0;
    virtual QString thumbnailSize() const = 0;
    // The hidden folder list, every entry whatever the ticks.
    virtual QStringList folderEntries() const = 0;
    virtual int imageCount() const = 0;
    virtual QString imageAt(int index) const = 0;
    virtual bool imageTicked(int index) const = 0;

    // Disables what could start another run or change its inputs, captions Cancel.
    virtual void lockControls() = 0;
    // Gives the controls back as at the normal end of a run.
    virtual void restoreControls() = 0;
    // After a complete upload: the list emptied, ImagesFound 0, the batch buttons and the
    // preview off.
    virtual void clearUploadedList() = 0;
    // Lets the event loop run, then tells whether Cancel has been requested.
    virtual bool yieldCancelled() = 0;
    virtual bool cancelRequested() const = 0;
    virtual void setCancelRequested(bool requested) = 0;

    // The progress window: shown with an empty list and Cancel for a new run.
    virtual void showProgress() = 0;
    virtual void addLine(const QString &line) = 0;
    virtual void setFileInProgress(const QString &text) = 0;
    // Redraws the progress window at once, so a line shows before the next network step.
    virtual void repaintProgress() = 0;
    // Bytes of the file in hand, and files done of those to send.
    virtual void showTransfer(qint64 sent, qint64 total) = 0;
    virtual void showFileCount(int done, int total) = 0;
    // The progress window's button reads Exit; it is not shown when it was not.
    virtual void finishProgress() = 0;

    virtual void showBox(const QString &text, const QString &title, MessageBoxService::Icon icon) = 0;
};
