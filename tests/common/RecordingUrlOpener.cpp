#include "RecordingUrlOpener.h"

RecordingUrlOpener::RecordingUrlOpener()
{
    UrlOpener::setInstance(this);
}

RecordingUrlOpener::~RecordingUrlOpener()
{
    UrlOpener::setInstance(nullptr);
}

bool RecordingUrlOpener::openUrl(const QString &address)
{
    urls.append(address);
    return !failUrls;
}

void RecordingUrlOpener::openMail(const QString &mailtoLink)
{
    mails.append(mailtoLink);
}
