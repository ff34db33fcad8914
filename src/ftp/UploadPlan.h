#pragma once

#include "OutputLayout.h"
#include "UploadStep.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

class Catalog;
class RemoteListing;

// What an upload sends and in which order, worked out from data alone: for the catalogue's
// unticked entries in the list's order, a step entering each folder the list moves to (listing
// it too when only new and changed files are sent, once per folder), a step per entry, and
// after them the gallery pages in their waves (when listing, first a listing of each page's
// folder that no entry had listed). Paths on the server are below the FTP root.
// Whether a file is sent at all is decided by sends(), from what a listing of its folder showed.
class UploadPlan
{
public:
    struct Options
    {
        QString imageRoot;
        // Only new and changed files are sent, so each folder is listed before its files go.
        bool onlyChanged = false;
        // Gallery pages, as paths below the destination root, in groups sent one after another.
        QList<QStringList> pageWaves;
    };

    // A local file as the upload compares it.
    struct LocalFile
    {
        qint64 size = 0;
        QDateTime modified;
    };

    UploadPlan(const Catalog &catalog, const OutputLayout &layout, const Options &options);

    const QList<UploadStep> &steps() const { return m_steps; }
    // Entries and page files to send, as the file count shows them.
    int filesToSend() const { return m_filesToSend; }
    // The lines shown when a step's turn comes.
    const QStringList &linesBefore(int step) const { return m_linesBefore.at(step); }

    // Whether a file goes, given the listing of its folder (none when it was not listed or
    // could not be) and how many seconds the server's listed times are ahead of local ones.
    static bool sends(const QString &remoteName, const LocalFile &local, const RemoteListing *listing,
                      qint64 clockOffset);

    // A folder below the image root as the lines show it: after the image root's text, so it
    // starts with a separator unless that text ends in one.
    static QString spelledBelowRoot(const QString &folder, const QString &imageRoot);
    // "Root Folder" or "/2008/June", as the lines name a folder below the FTP root.
    static QString folderLabel(const QString &folder);
    // Joins "/"-separated paths, either of which may be empty.
    static QString joined(const QString &path, const QString &piece);

private:
    void add(const UploadStep &step, const QStringList &linesBefore = {});

    QList<UploadStep> m_steps;
    QList<QStringList> m_linesBefore;
    int m_filesToSend = 0;
};
