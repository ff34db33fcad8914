#pragma once

#include "RemoteEntry.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <optional>

// Readers of what FTP servers send about their files. Everything here comes from the server
// and is read as untrusted bytes.
namespace FtpListing {

// The lines of an MLSD listing: files and folders, without the "." and ".." entries. A line
// that cannot be read, or names what no command could name (a "/", a line break, NUL), is left
// out.
QList<RemoteEntry> parseMlsd(const QByteArray &listing);
// The names of an NLST listing, one a line, without folders' trailing "/" and "." or "..".
QList<QString> parseNames(const QByteArray &listing);
// A size as MLSD's size fact and SIZE give it: decimal digits alone.
std::optional<qint64> parseSize(const QByteArray &text);
// A time as MLSD's modify fact and MDTM give it, "YYYYMMDDHHMMSS" with optional fractions, UTC.
std::optional<QDateTime> parseTime(const QByteArray &text);
// The same form, as MFMT takes it.
QByteArray timeText(const QDateTime &time);

} // namespace FtpListing
