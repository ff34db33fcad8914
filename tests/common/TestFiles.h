#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

// Files as the tests make and read them.

// Writes the whole file, making its folders; false when any of it could not be written.
bool writeFile(const QString &path, const QByteArray &bytes = {});
// The same, and the file's modification time set to this one.
bool writeFile(const QString &path, const QByteArray &bytes, const QDateTime &modified);
// The file's bytes; empty when it cannot be read.
QByteArray readFile(const QString &path);
// Every file below the folder, hidden ones (a put's temporary file) too, relative to it and
// sorted.
QStringList filesBelow(const QString &root);
