#include "KnownHosts.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageAuthenticationCode>
#include <QStringList>

using namespace Qt::Literals::StringLiterals;

namespace {

// OpenSSH's patterns: '*' any run of characters, '?' any one.
bool wildcardMatch(QStringView pattern, QStringView name)
{
    if (pattern.isEmpty())
        return name.isEmpty();
    if (pattern.front() == u'*') {
        for (qsizetype skip = 0; skip <= name.size(); ++skip) {
            if (wildcardMatch(pattern.mid(1), name.mid(skip)))
                return true;
        }
        return false;
    }
    if (name.isEmpty())
        return false;
    if (pattern.front() != u'?' && pattern.front().toLower() != name.front().toLower())
        return false;
    return wildcardMatch(pattern.mid(1), name.mid(1));
}

// A hashed entry is "|1|salt|hash", the hash an HMAC-SHA1 of the name keyed with the salt.
bool hashedMatch(const QString &entry, const QString &name)
{
    const QStringList parts = entry.split(u'|');
    if (parts.size() != 4 || parts.at(1) != u"1"_s)
        return false;
    const QByteArray salt = QByteArray::fromBase64(parts.at(2).toLatin1());
    const QByteArray hash = QByteArray::fromBase64(parts.at(3).toLatin1());
    return QMessageAuthenticationCode::hash(name.toUtf8(), salt, QCryptographicHash::Sha1) == hash;
}

// A comma-separated list names the host when a pattern matches and no negated one does.
bool namesHost(const QString &patterns, const QString &name)
{
    if (patterns.startsWith(u'|'))
        return hashedMatch(patterns, name);
    bool matched = false;
    for (const QString &pattern : patterns.split(u',')) {
        if (pattern.startsWith(u'!')) {
            if (wildcardMatch(QStringView(pattern).mid(1), name))
                return false;
        } else if (wildcardMatch(pattern, name)) {
            matched = true;
        }
    }
    return matched;
}

} // namespace

KnownHosts::KnownHosts(QString path) : m_path(std::move(path)) {}

QString KnownHosts::defaultPath()
{
    return QDir::homePath() + u"/.ssh/known_hosts"_s;
}

QString KnownHosts::hostName(const QString &host, uint16_t port)
{
    return port == 22 ? host : u"[%1]:%2"_s.arg(host).arg(port);
}

QString KnownHosts::fingerprint(const QByteArray &key)
{
    const QByteArray digest = QCryptographicHash::hash(key, QCryptographicHash::Sha256);
    return u"SHA256:"_s +
           QString::fromLatin1(digest.toBase64(QByteArray::Base64Encoding | QByteArray::OmitTrailingEquals));
}

QString KnownHosts::keyType(const QByteArray &key)
{
    if (key.size() < 4)
        return QString();
    const auto byte = [&](int i) { return static_cast<quint32>(static_cast<uchar>(key.at(i))); };
    const quint32 length = byte(0) << 24 | byte(1) << 16 | byte(2) << 8 | byte(3);
    if (length == 0 || length > static_cast<quint32>(key.size() - 4))
        return QString();
    return QString::fromLatin1(key.mid(4, length));
}

QList<KnownHosts::Entry> KnownHosts::entriesFor(const QString &host, uint16_t port) const
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QString name = hostName(host, port);
    QList<Entry> entries;
    while (!file.atEnd()) {
        QStringList fields = QString::fromUtf8(file.readLine()).simplified().split(u' ', Qt::SkipEmptyParts);
        if (fields.isEmpty() || fields.first().startsWith(u'#'))
            continue;
        QString marker;
        if (fields.first().startsWith(u'@'))
            marker = fields.takeFirst();
        if (fields.size() < 3 || marker == u"@cert-authority"_s || !namesHost(fields.at(0), name))
            continue;
        entries.append({marker, fields.at(1), QByteArray::fromBase64(fields.at(2).toLatin1())});
    }
    return entries;
}

KnownHosts::Lookup KnownHosts::check(const QString &host, uint16_t port, const QByteArray &key) const
{
    const QString type = keyType(key);
    Lookup lookup;
    bool known = false;
    for (const Entry &entry : entriesFor(host, port)) {
        if (entry.marker == u"@revoked"_s) {
            if (entry.key == key)
                return {Match::Revoked, QString()};
            continue;
        }
        if (entry.type != type)
            continue;
        if (entry.key == key)
            known = true;
        else if (lookup.knownFingerprint.isEmpty())
            lookup.knownFingerprint = fingerprint(entry.key);
    }
    if (known)
        lookup.match = Match::Known;
    else if (!lookup.knownFingerprint.isEmpty())
        lookup.match = Match::Changed;
    return lookup;
}

QStringList KnownHosts::knownTypes(const QString &host, uint16_t port) const
{
    QStringList types;
    for (const Entry &entry : entriesFor(host, port)) {
        if (entry.marker != u"@revoked"_s && !types.contains(entry.type))
            types.append(entry.type);
    }
    return types;
}

bool KnownHosts::add(const QString &host, uint16_t port, const QByteArray &key) const
{
    const QString type = keyType(key);
    const QFileInfo info(m_path);
    const bool folderExisted = QFileInfo::exists(info.absolutePath());
    if (type.isEmpty() || !QDir().mkpath(info.absolutePath()))
        return false;
    if (!folderExisted)
        QFile::setPermissions(info.absolutePath(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const bool existed = info.exists();
    QFile file(m_path);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Append))
        return false;
    if (!existed)
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    // A last line without its line break would run into the new one.
    QByteArray line;
    if (file.size() > 0 && file.seek(file.size() - 1) && file.read(1) != "\n")
        line = "\n";
    line += hostName(host, port).toUtf8() + ' ' + type.toLatin1() + ' ' + key.toBase64() + '\n';
    return file.write(line) == line.size() && file.flush();
}
