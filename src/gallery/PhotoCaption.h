#pragma once

#include <QString>

class QIODevice;

// The caption a photo carries in its own metadata: the EXIF ImageDescription, else the IPTC
// caption/abstract, else the XMP dc:description, from the blocks PhotoMetadata finds in a JPEG
// or PNG file; any other file has none. A block that cannot be read gives no caption rather
// than an error, and a camera's boilerplate is passed over as no caption.
class PhotoCaption
{
public:
    // The longest caption a page shows, in characters.
    static constexpr qsizetype MaxLength = 1000;

    // From the start of an open, seekable device.
    static QString read(QIODevice &file);
    // Empty also when the file cannot be opened.
    static QString ofFile(const QString &path);

    // A caption as a page shows it: one line, controls and runs of blanks as one space, at most
    // MaxLength characters.
    static QString oneLine(const QString &text);
    // Whether a line is what a camera writes when nobody wrote a caption: a maker's default
    // text, whatever its case, or the path the file had on the card; a blank line too.
    static bool isBoilerplate(const QString &line);
};
