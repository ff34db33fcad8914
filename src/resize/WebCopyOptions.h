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

    bool any() const { return stripPrivate || autoOrient || srgb || fastDecode; }
    // Plain copies stay byte for byte unless one of these is on.
    bool editsCopies() const { return stripPrivate || autoOrient; }
    bool operator==(const WebCopyOptions &) const = default;

    // A short stable text of the choices that are on, empty when none is.
    QString key() const;

    // The choices stored in settings.ini, section [web].
    static WebCopyOptions fromSettings();
};
