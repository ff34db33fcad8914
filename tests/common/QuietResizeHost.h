#pragma once

#include "ResizeBatchHost.h"

#include <QStringList>

// A resize batch's window that is never cancelled and shows nothing, keeping only the texts of
// the boxes it was to show.
class QuietResizeHost : public ResizeBatchHost
{
public:
    bool yieldCancelled() override { return false; }
    void setCaption(const QString &) override {}
    void setStatus(const QString &) override {}
    void setTicked(int, bool) override {}
    void showBox(const QString &text, const QString &, MessageBoxService::Icon) override
    {
        boxes.append(text);
    }

    QStringList boxes;
};
