#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

// The few fields of an EXIF block (a TIFF structure, with or without its "Exif" header) that a
// web copy keeps, read from bytes anyone may have written: every offset is checked.
class ExifBlock
{
public:
    struct Fields
    {
        // 1 to 8 as the tag gives it; 0 when there is none.
        int orientation = 0;
        QByteArray description;
        QByteArray artist;
        QByteArray copyright;
        // The block holds more than these and the layout tags: a camera's details, a
        // position, a preview, anything else.
        bool more = false;
        // DateTimeOriginal from the Exif sub-directory, "YYYY:MM:DD HH:MM:SS" as written; empty
        // when there is none. Read for gallery pages, never written.
        QByteArray dateTaken;

        bool operator==(const Fields &) const = default;
    };

    // The fields, or nothing when the bytes are not a well-formed block.
    static std::optional<Fields> read(QByteArrayView block);
    // A block holding just these fields (more is not looked at); empty when there are none.
    static QByteArray write(const Fields &fields);
    // The EXIF block of a JPEG file from its first bytes, empty when there is none.
    static QByteArrayView inJpeg(QByteArrayView head);
    // The orientation a JPEG's EXIF block gives, from its first bytes; 0 when none.
    static int jpegOrientation(QByteArrayView head);
};
