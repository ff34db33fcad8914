#pragma once

#include <QString>

#include <optional>

// The name a file is written under beside its target before it is renamed over it, on the disk
// and on the server: ".pexa-<process>-<n>.part". Hidden, short whatever the target's name, and
// telling which process wrote it, so that a later one can tell what was left behind.
class TemporaryName
{
public:
    // The name of this process's file number n.
    static QString of(quint64 n);
    // The process number a name of this form gives (0 when it is too long to read); none for
    // any other name.
    static std::optional<qint64> writer(const QString &name);
};
