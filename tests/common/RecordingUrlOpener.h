#pragma once

#include "UrlOpener.h"

#include <QStringList>

// A URL-opener double that records the addresses and mail links it is asked to open.
class RecordingUrlOpener : public UrlOpener
{
public:
    RecordingUrlOpener();
    ~RecordingUrlOpener() override;

    bool openUrl(const QString &address) override;
    void openMail(const QString &mailtoLink) override;

    QStringList urls;
    QStringList mails;
    bool failUrls = false;
};
