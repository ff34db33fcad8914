#pragma once

#include <QString>

// What the user chose for gallery pages in Web Options, stored in settings.ini, section [web].
struct GalleryOptions
{
    static const QString DefaultPageName;

    bool pages = false;
    // As stored: empty means the name of the image root's folder.
    QString title;
    QString pageName = DefaultPageName;

    // The title the pages of this image root carry.
    QString titleFor(const QString &imageRoot) const;
    // The name of the image root's folder, the title when none is stored.
    static QString defaultTitle(const QString &imageRoot);

    // A name a page can have in every folder: it ends in ".html" or ".htm" (in any case) after
    // something else, and holds no "/" and no control character; not a hidden file's name.
    static bool isPageName(const QString &name);

    // The stored choices; a page name that is not one (an edited file) reads as the default.
    static GalleryOptions fromSettings();
};
