#pragma once

#include <QString>

// Where an image's counterpart lives: the destination root joined to the image's path below
// the image root, with exactly one separator between them. The image root is removed once, as
// a prefix; it is never replaced where its text recurs further on.
namespace DestinationPath {

// The entry's path below the image root, without a leading separator ("2008/a.jpg").
QString relativeToRoot(const QString &entry, const QString &imageRoot);

// The destination root joined with a relative path by exactly one separator.
QString join(const QString &root, const QString &relative);

// The counterpart path of an entry.
QString forEntry(const QString &entry, const QString &imageRoot, const QString &destinationRoot);

} // namespace DestinationPath
