#include "FtpListing.h"

#include <QTimeZone>
#include <algorithm>

namespace FtpListing {

namespace {

bool allDigits(const QByteArray &text)
{
    return !text.isEmpty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

QList<QByteArray> lines(const QByteArray &listing)
{
    QList<QByteArray> result;
    for (QByteArray line : listing.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (!line.isEmpty())
            result.append(line);
    }
    return result;
}

// A name that could be mistaken for a path or a command is no name this program works with.
bool usableName(const QString &name)
{
    return !name.isEmpty() && name != u"." && name != u".." && !name.contains(u'/') &&
           !name.contains(QChar(0)) && !name.contains(u'\r') && !name.contains(u'\n');
}

} // namespace

std::optional<qint64> parseSize(const QByteArray &text)
{
    bool ok = false;
    const qint64 size = allDigits(text) ? text.toLongLong(&ok) : 0;
    return ok ? std::optional<qint64>(size) : std::nullopt;
}

std::optional<QDateTime> parseTime(const QByteArray &text)
{
    const qsizetype dot = text.indexOf('.');
    const QByteArray whole = dot < 0 ? text : text.left(dot);
    if (whole.size() != 14 || !allDigits(whole) || (dot >= 0 && !allDigits(text.mid(dot + 1))))
        return std::nullopt;
    const auto number = [&](int from, int length) { return whole.mid(from, length).toInt(); };
    const QDate date(number(0, 4), number(4, 2), number(6, 2));
    const QTime time(number(8, 2), number(10, 2), number(12, 2));
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return QDateTime(date, time, Qt::UTC);
}

QByteArray timeText(const QDateTime &time)
{
    return time.toUTC().toString(QStringLiteral("yyyyMMddHHmmss")).toLatin1();
}

QList<RemoteEntry> parseMlsd(const QByteArray &listing)
{
    QList<RemoteEntry> entries;
    for (const QByteArray &line : lines(listing)) {
        // Facts, each ending in ';', then one blank and the name, which may hold anything else.
        const qsizetype blank = line.indexOf(' ');
        if (blank < 0)
            continue;
        RemoteEntry entry;
        entry.name = QString::fromUtf8(line.mid(blank + 1));
        if (!usableName(entry.name))
            continue;
        QByteArray type;
        for (const QByteArray &fact : line.left(blank).split(';')) {
            const qsizetype equals = fact.indexOf('=');
            if (equals <= 0)
                continue;
            const QByteArray name = fact.left(equals).toLower();
            const QByteArray value = fact.mid(equals + 1);
            if (name == "type") {
                type = value.toLower();
            } else if (name == "size") {
                entry.size = parseSize(value).value_or(-1);
            } else if (name == "modify") {
                if (const std::optional<QDateTime> time = parseTime(value))
                    entry.modified = *time;
            }
        }
        if (type == "cdir" || type == "pdir")
            continue;
        entry.folder = type == "dir";
        // Links and anything else unusual are left out: nothing here works on them.
        if (type != "file" && !entry.folder)
            continue;
        entries.append(entry);
    }
    return entries;
}

QList<QString> parseNames(const QByteArray &listing)
{
    QList<QString> names;
    for (QByteArray line : lines(listing)) {
        if (line.endsWith('/'))
            line.chop(1);
        // Some servers name each entry with the folder listed: only the last piece is the name.
        const QString name = QString::fromUtf8(line.mid(line.lastIndexOf('/') + 1));
        if (usableName(name))
            names.append(name);
    }
    return names;
}

} // namespace FtpListing
