#include "MakePath.h"

#include "FileSystem.h"
#include "RunTimeError.h"

void MakePath(const QString &path)
{
    const QString withSeparator = path + u'/';
    for (qsizetype pos = withSeparator.indexOf(u'/'); pos >= 0; pos = withSeparator.indexOf(u'/', pos + 1)) {
        // The filesystem root is the level before the first separator; it always exists.
        if (pos == 0)
            continue;
        try {
            FileSystem::MakeFolder(withSeparator.left(pos));
        } catch (const RunTimeError &error) {
            if (error.number() != RunTimeError::PathFileAccessError)
                throw;
        }
    }
}
