#pragma once

#include "MessageBoxService.h"

#include <QString>

// What the resize batch needs of the window around it.
class ResizeBatchHost
{
public:
    virtual ~ResizeBatchHost() = default;

    // Lets the event loop run, then tells whether Cancel has been requested.
    virtual bool yieldCancelled() = 0;
    virtual void setCaption(const QString &caption) = 0;
    // The status line under the image list.
    virtual void setStatus(const QString &text) = 0;
    // Ticks or unticks an entry of the image list.
    virtual void setTicked(int index, bool ticked) = 0;
    virtual void showBox(const QString &text, const QString &title, MessageBoxService::Icon icon) = 0;
};
