#pragma once

#include <QString>
#include <QStringList>

// Paths below the login folder as every client takes them: "/"-separated pieces ("" is the login
// folder itself).
namespace RemotePath {

QStringList piecesOf(const QString &path);
// Whether the path can be sent: a line break in a command argument would end the command and
// start another; "." and ".." would name another folder than the one meant.
bool safe(const QString &path);
// Safe and naming something below the login folder, not the folder itself.
bool safeEntry(const QString &path);
QString nameOf(const QString &path);
QString folderOf(const QString &path);

} // namespace RemotePath
