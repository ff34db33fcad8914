#pragma once

#include <QStringList>

// What an upload did with each file, by its path below the FTP root (which mirrors the
// destination root): sent, not sent because the server held it already, failed (not sent, or
// missing locally, or not removed), and removed from the server.
struct UploadResult
{
    QStringList sent;
    QStringList skipped;
    QStringList failed;
    QStringList removed;
};
