#pragma once

#include <QByteArrayView>
#include <QDateTime>
#include <QString>

class QIODevice;

// When a photo was taken: its EXIF DateTimeOriginal, from the block PhotoMetadata finds in a
// JPEG or PNG file. Cameras write the time their clock showed and no zone, so it is held as a
// UTC time with that clock's figures, and the pages show those figures as they are.
class PhotoTime
{
public:
    // Invalid when the photo carries no time or one that is no date ("0000:00:00 00:00:00").
    static QDateTime read(QIODevice &file);
    static QDateTime ofFile(const QString &path);
    // "YYYY:MM:DD HH:MM:SS" as EXIF writes it; invalid for anything else.
    static QDateTime parsed(QByteArrayView text);
    // What a Taken order sorts a picture by: the time taken, else its file's modification time
    // as the local clock showed it, so the two kinds compare as alike as they can.
    static QDateTime sortKey(const QString &path);

    // For a reader, "14 June 2008, 18:42", and for the page's time element, "2008-06-14T18:42:00".
    static QString shown(const QDateTime &taken);
    static QString machineReadable(const QDateTime &taken);
};
