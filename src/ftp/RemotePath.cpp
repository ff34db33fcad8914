#include "RemotePath.h"

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace RemotePath {

QStringList piecesOf(const QString &path)
{
    return path.split(u'/', Qt::SkipEmptyParts);
}

bool safe(const QString &path)
{
    if (path.contains(u'\r') || path.contains(u'\n') || path.contains(QChar(0)))
        return false;
    const QStringList pieces = piecesOf(path);
    return std::none_of(pieces.begin(), pieces.end(),
                        [](const QString &piece) { return piece == u"."_s || piece == u".."_s; });
}

bool safeEntry(const QString &path)
{
    return safe(path) && !piecesOf(path).isEmpty();
}

QString nameOf(const QString &path)
{
    return path.mid(path.lastIndexOf(u'/') + 1);
}

QString folderOf(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash < 0 ? QString() : path.left(slash);
}

} // namespace RemotePath
