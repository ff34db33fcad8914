#pragma once

#include <QString>

// What the user chose in Web Options for the copies and thumbnails of a batch. Everything off
// gives what `convert SOURCE -resize GEOMETRY TARGET` gives.
struct WebCopyOptions
{
    // No GPS, serial numbers, maker notes, embedded previews or editing history; the colour
    // profile, the orientation and the author, copyright and caption fields stay.
    bool stripPrivate = false;
    // The orientation tag applied to the pixels and written as 1.
    bool autoOrient = false;
    // Pixels in a profile other than sRGB converted to sRGB.
    bool srgb = false;
    // JPEGs decoded at a reduced size that still holds twice the largest output.
    bool fastDecode = false;

    // Not a choice: set by the batch for a gallery preview, which is turned upright, keeps no
    // metadata but its colour profile and is encoded lighter. It is never larger than the
    // picture its source gives with previewOf (the picture's resize option; empty for the
    // source at its own size), and is made from that picture when the same decode makes it.
    bool preview = false;
    QString previewOf = QString();

    bool any() const { return stripPrivate || autoOrient || srgb || fastDecode || preview; }
    // Plain copies stay byte for byte unless one of these is on.
    bool editsCopies() const { return stripPrivate || autoOrient; }
    bool operator==(const WebCopyOptions &) const = default;

    // A short stable text of the choices that are on, empty when none is.
    QString key() const;

    // The choices stored in settings.ini, section [web].
    static WebCopyOptions fromSettings();
    // These choices for a preview of the picture the resize option gives.
    WebCopyOptions forPreview(const QString &pictureOption) const;
};
