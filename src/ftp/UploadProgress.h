#pragma once

#include <QString>

// The progress window as the upload batch writes into it.
class UploadProgress
{
public:
    virtual ~UploadProgress() = default;

    // A new run: an empty list, Cancel, no file in hand.
    virtual void startRun() = 0;
    virtual void addLine(const QString &line) = 0;
    virtual void setFileInProgress(const QString &text) = 0;
    // Redraws at once, so a line shows before the next network step.
    virtual void repaintNow() = 0;
    // Bytes of the file in hand, and files done of those to send.
    virtual void showTransfer(qint64 sent, qint64 total) = 0;
    virtual void showFileCount(int done, int total) = 0;
    // The run is over: the button reads Exit.
    virtual void finishRun() = 0;
};
