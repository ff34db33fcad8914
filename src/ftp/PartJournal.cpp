#include "PartJournal.h"

#include <QCoreApplication>
#include <QDir>
#include <QMap>
#include <QRandomGenerator>
#include <QSaveFile>
#include <optional>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString Suffix = u".journal"_s;

// A line: "+" or "-", the server, the path, tab-separated. The server's name holds neither a tab
// nor a line break; a path in a folder whose name does cannot be read back, and its part is left
// to the age rule of a listing.
struct Line
{
    char change = 0;
    QString server;
    QString path;
};

std::optional<Line> parse(const QByteArray &text)
{
    const QList<QByteArray> fields = text.split('\t');
    if (fields.size() != 3 || fields.at(0).size() != 1 || (fields.at(0) != "+" && fields.at(0) != "-"))
        return std::nullopt;
    return Line{fields.at(0).at(0), QString::fromUtf8(fields.at(1)), QString::fromUtf8(fields.at(2))};
}

QByteArray text(char change, const QString &server, const QString &path)
{
    return QByteArray(1, change) + '\t' + server.toUtf8() + '\t' + path.toUtf8() + '\n';
}

} // namespace

PartJournal::PartJournal(const QString &folder) : m_folder(folder) {}

void PartJournal::writing(const QString &server, const QString &path)
{
    append('+', server, path);
}

void PartJournal::gone(const QString &server, const QString &path)
{
    append('-', server, path);
}

// A journal whose parts are all gone is not needed by anyone.
PartJournal::~PartJournal()
{
    if (m_file.isOpen() && m_open.isEmpty())
        m_file.remove();
}

void PartJournal::append(char change, const QString &server, const QString &path)
{
    const std::lock_guard lock(m_mutex);
    if (change == '+')
        m_open.insert(server + u'\t' + path);
    else
        m_open.remove(server + u'\t' + path);
    if (!open())
        return;
    m_file.write(text(change, server, path));
    m_file.flush();
}

// Made at the first put: a program that never uploads leaves no journal.
bool PartJournal::open()
{
    if (m_file.isOpen() || m_failed)
        return m_file.isOpen();
    m_failed = true;
    if (!QDir().mkpath(m_folder))
        return false;
    m_name = u"%1-%2"_s.arg(QCoreApplication::applicationPid())
                 .arg(QRandomGenerator::system()->generate(), 8, 16, QChar(u'0'));
    m_lock = std::make_unique<QLockFile>(QDir(m_folder).filePath(m_name + u".lock"_s));
    if (!m_lock->tryLock(0))
        return false;
    m_file.setFileName(QDir(m_folder).filePath(m_name + Suffix));
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    m_failed = false;
    return true;
}

QStringList PartJournal::adoptOrphans(const QString &server)
{
    const std::lock_guard guard(m_mutex);
    QStringList adopted;
    const QDir folder(m_folder);
    const QStringList journals = folder.entryList({u"*"_s + Suffix}, QDir::Files);
    for (const QString &journal : journals) {
        const QString name = journal.chopped(Suffix.size());
        if (name == m_name)
            continue;
        // A lock is taken only from a program that is no longer running.
        QLockFile lock(folder.filePath(name + u".lock"_s));
        // Not by its age: a program may upload for hours.
        lock.setStaleLockTime(0);
        if (!lock.tryLock(0))
            continue;
        QFile file(folder.filePath(journal));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        // The parts still there, per server, in the order they were begun.
        QMap<QString, QStringList> left;
        for (const QByteArray &raw : file.readAll().split('\n')) {
            if (const std::optional<Line> line = parse(raw); line && line->change == '+')
                left[line->server].append(line->path);
            else if (line)
                left[line->server].removeAll(line->path);
        }
        file.close();
        const QStringList ours = left.take(server);
        if (!ours.isEmpty()) {
            if (!open())
                continue;
            for (const QString &path : ours) {
                m_file.write(text('+', server, path));
                m_open.insert(server + u'\t' + path);
            }
            m_file.flush();
            adopted += ours;
        }
        // What the orphan notes for other servers stays for uploads to them.
        QByteArray rest;
        for (auto it = left.cbegin(); it != left.cend(); ++it) {
            for (const QString &path : it.value())
                rest += text('+', it.key(), path);
        }
        if (rest.isEmpty()) {
            file.remove();
            continue;
        }
        QSaveFile kept(folder.filePath(journal));
        if (kept.open(QIODevice::WriteOnly)) {
            kept.write(rest);
            kept.commit();
        }
    }
    return adopted;
}
