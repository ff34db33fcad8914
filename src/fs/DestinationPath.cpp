#include "DestinationPath.h"

using namespace Qt::Literals::StringLiterals;

namespace DestinationPath {

namespace {

QString withoutTrailingSeparators(QString path)
{
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    return path;
}

} // namespace

QString relativeToRoot(const QString &entry, const QString &imageRoot)
{
    const QString root = withoutTrailingSeparators(imageRoot);
    QString relative = entry;
    if (root == u"/"_s ||
        (entry.startsWith(root) && (entry.size() == root.size() || entry.at(root.size()) == u'/')))
        relative = entry.mid(root == u"/"_s ? 0 : root.size());
    while (relative.startsWith(u'/'))
        relative.remove(0, 1);
    return relative;
}

QString join(const QString &root, const QString &relative)
{
    const QString base = withoutTrailingSeparators(root);
    if (relative.isEmpty())
        return base;
    return base.endsWith(u'/') ? base + relative : base + u'/' + relative;
}

QString forEntry(const QString &entry, const QString &imageRoot, const QString &destinationRoot)
{
    return join(destinationRoot, relativeToRoot(entry, imageRoot));
}

} // namespace DestinationPath
