#pragma once

#include "MessageBoxService.h"

#include <QString>

class UploadProgress;

// What the upload batch needs of the main window around it.
class UploadHost
{
public:
    virtual ~UploadHost() = default;

    // Lets the event loop run, then tells whether Cancel has been requested.
    virtual bool yieldCancelled() = 0;
    // Gives the controls back as at the normal end of a run.
    virtual void restoreControls() = 0;
    // After a complete upload: the list emptied, ImagesFound 0, the batch buttons and the
    // preview off.
    virtual void clearUploadedList() = 0;
    // Shows the progress window, started for a new run.
    virtual UploadProgress &openProgress() = 0;
    virtual void showBox(const QString &text, const QString &title, MessageBoxService::Icon icon) = 0;
    // A question with Yes and No; true for Yes. Enter answers No when noByDefault is set.
    virtual bool askYesNo(const QString &text, const QString &title, MessageBoxService::Icon icon,
                          bool noByDefault) = 0;
};
