#include "DesktopUrlOpener.h"

#include <QDesktopServices>
#include <QUrl>

bool DesktopUrlOpener::openUrl(const QString &address)
{
    // TolerantMode keeps blanks and other characters as the caller wrote them.
    return QDesktopServices::openUrl(QUrl(address, QUrl::TolerantMode));
}

void DesktopUrlOpener::openMail(const QString &mailtoLink)
{
    QDesktopServices::openUrl(QUrl(mailtoLink, QUrl::TolerantMode));
}
