#pragma once

#include "UrlOpener.h"

// The real opener, through the desktop's default applications.
class DesktopUrlOpener : public UrlOpener
{
public:
    bool openUrl(const QString &address) override;
    void openMail(const QString &mailtoLink) override;
};
