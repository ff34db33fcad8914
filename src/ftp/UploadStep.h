#pragma once

#include <QString>
#include <QStringList>

#include <variant>

// One file an upload sends: its path in the destination tree, and below the FTP root.
struct UploadFile
{
    enum class Role
    {
        Image,
        Thumbnail,
        Page,
    };
    Role role = Role::Image;
    QString local;
    QString remote;
};

// Entering a folder below the FTP root ("" for the root itself), listing it, or both.
struct FolderStep
{
    QString folder;
    // As the lines name it: the folder after the image root's text.
    QString label;
    bool enter = true;
    bool list = false;
    // The listing also sends an empty file there to learn how the server tells times.
    bool readClock = false;
};

// One entry of the catalogue: its image, then its thumbnail when thumbnails are on. It waits for
// the step that enters its folder and the step that lists it (-1 when none).
struct EntryStep
{
    qsizetype entry = -1;
    QString folder;
    int folderStep = -1;
    int listingStep = -1;
    UploadFile image;
    UploadFile thumbnail;
};

// One file of the gallery pages; it goes when every step before its wave is done.
struct PageStep
{
    QString folder;
    int wave = -1;
    UploadFile page;
};

using UploadStep = std::variant<FolderStep, EntryStep, PageStep>;
