#pragma once

#include <QString>

#include <optional>

// What the user chose for gallery pages in Web Options, stored in settings.ini, section [web].
struct GalleryOptions
{
    static const QString DefaultPageName;

    bool pages = false;
    // As stored: empty means the name of the image root's folder.
    QString title;
    QString pageName = DefaultPageName;
    // A page of its own for every shown picture, linked from the album's grid.
    bool photoPages = true;

    // The order a page shows its pictures in. Folders go by name in natural order, except in
    // Scan, which keeps the order pages had before there was a choice.
    enum class Order
    {
        // By the time taken (EXIF DateTimeOriginal, else the file's time), then by name.
        Taken,
        // By name in natural order ("img2" before "img10").
        Name,
        // As the scan listed them.
        Scan,
    };
    Order order = Order::Taken;
    // The address the destination root is published at, ending in "/"; empty for none, and then
    // no page carries an absolute address.
    QString webAddress;

    // The title the pages of this image root carry.
    QString titleFor(const QString &imageRoot) const;
    // The name of the image root's folder, the title when none is stored.
    static QString defaultTitle(const QString &imageRoot);

    // A name a page can have in every folder: it ends in ".html" or ".htm" (in any case) after
    // something else, and holds no "/" and no control character; not a hidden file's name.
    static bool isPageName(const QString &name);

    // A typed web address as stored: an absolute http:// or https:// address with a host and no
    // query or fragment, given a final "/"; an empty text is empty. Nothing for anything else.
    static std::optional<QString> webAddressOf(const QString &typed);
    // The order as stored and back; an unknown text reads as Taken.
    static QString orderText(Order order);
    static Order orderOf(const QString &text);

    // The stored choices; a page name that is not one (an edited file) reads as the default.
    static GalleryOptions fromSettings();
};
