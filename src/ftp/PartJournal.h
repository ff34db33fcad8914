#pragma once

#include <QFile>
#include <QLockFile>
#include <QSet>
#include <QString>
#include <QStringList>
#include <memory>
#include <mutex>

// The parts this program is writing on servers, noted on disk as each put begins and ends, so
// that the parts of a program that was killed can be found and removed by a later one without
// listing folders. Each running program keeps a journal of its own in the folder, held by a lock
// file; a journal whose lock its program no longer holds is an orphan, and the parts it notes
// for a server are taken over by the next program that uploads to that server. A part another
// program is still writing is never taken. Any thread may use it.
class PartJournal
{
public:
    explicit PartJournal(const QString &folder);
    ~PartJournal();
    PartJournal(const PartJournal &) = delete;
    PartJournal &operator=(const PartJournal &) = delete;

    // A put begins writing this part on the server ("ftp host 21 user" or the like).
    void writing(const QString &server, const QString &path);
    // The part was renamed over its target, or removed.
    void gone(const QString &server, const QString &path);
    // The parts that programs no longer running left on the server, now noted as this program's.
    QStringList adoptOrphans(const QString &server);

private:
    void append(char change, const QString &server, const QString &path);
    bool open();

    std::mutex m_mutex;
    QString m_folder;
    QString m_name;
    std::unique_ptr<QLockFile> m_lock;
    QFile m_file;
    bool m_failed = false;
    // "server<tab>path" of the parts noted and not yet gone.
    QSet<QString> m_open;
};
