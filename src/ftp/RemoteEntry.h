#pragma once

#include <QDateTime>
#include <QString>

// One entry of a remote folder's listing, with what the server told of it.
struct RemoteEntry
{
    QString name;
    bool folder = false;
    // False where the server could not tell a folder from a file.
    bool kindKnown = true;
    // In bytes; -1 where the server gave none.
    qint64 size = -1;
    // In UTC, to the second; invalid where the server gave none.
    QDateTime modified = {};
};
