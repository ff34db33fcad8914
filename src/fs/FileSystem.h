#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

// The file operations the scan and the batches share. Failures raise RunTimeError with the
// number the error table gives (53 file not found, 70 permission denied, 75 path/file access
// error, 76 path not found).
namespace FileSystem {

enum class EntryType
{
    Missing,    // the entry cannot be read
    File,       // a file
    FileLink,   // a symbolic link to a file, or one that leads nowhere
    Folder,     // a real folder
    FolderLink, // a symbolic link to a folder: never walked, so a link to an ancestor cannot loop
};

bool FileExists(const QString &path);
bool FolderExists(const QString &path);
EntryType entryType(const QString &path);

// Copies source to target, replacing an existing target only when overwrite is set. A target
// that ends in a separator names a folder: the file keeps its own name there. The copy is
// written under a temporary name in the target's folder and renamed over the target, so a
// failed copy never leaves a truncated file behind.
void CopyFile(const QString &source, const QString &target, bool overwrite);

// Writes bytes as the whole content of target, under a temporary name in its folder renamed over
// the target, so a reader never meets half a file.
void WriteFile(const QString &target, QByteArrayView bytes);

// The size of a file in bytes. An empty path gives 0 without touching the disk.
double FileSize(const QString &path);
// The same, but a file that cannot be read is reported and counts as 0.
double GetFSize(const QString &path);

// The names of a folder's entries (files and folders, hidden ones included, "." and ".."
// left out) in the order the system lists them. The whole listing is read before returning.
// Names that are not valid UTF-8 cannot be given as text: they go to unreadable instead, when
// asked for, with their other bytes written as \xNN.
QStringList ListFolder(const QString &folder, QStringList *unreadable = nullptr);

// Creates one folder; raises error 75 when it exists already.
void MakeFolder(const QString &path);

// Reads at most maxBytes from the start of a file. Never creates the file.
QByteArray ReadFileHead(const QString &path, qsizetype maxBytes);

// A file name in the same folder as target, unique to this process, for writing before a rename.
QString temporarySibling(const QString &target);
// Removes from a folder the temporary files that programs no longer running left there (a
// batch that was killed while it wrote), and nothing else. Returns how many went.
int removeStaleTemporaries(const QString &folder);

} // namespace FileSystem
