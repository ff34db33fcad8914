#include "KnownHosts.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

struct SshKey
{
    QByteArray blob;
    QString fingerprint;
};

// A fresh host key, with the fingerprint ssh-keygen itself prints for it.
SshKey makeKey(const QString &path)
{
    QProcess::execute(u"ssh-keygen"_s, {u"-q"_s, u"-t"_s, u"ed25519"_s, u"-N"_s, QString(), u"-f"_s, path});
    QFile pub(path + u".pub"_s);
    if (!pub.open(QIODevice::ReadOnly))
        return {};
    const QList<QByteArray> fields = pub.readAll().split(' ');
    QProcess list;
    list.start(u"ssh-keygen"_s, {u"-lf"_s, path + u".pub"_s});
    list.waitForFinished();
    return {QByteArray::fromBase64(fields.value(1)),
            QString::fromLatin1(list.readAllStandardOutput().split(' ').value(1))};
}

// Whether OpenSSH's own lookup finds the name in the file.
bool sshFinds(const QString &file, const QString &name)
{
    QProcess find;
    find.start(u"ssh-keygen"_s, {u"-F"_s, name, u"-f"_s, file});
    find.waitForFinished();
    return find.exitCode() == 0 && find.readAllStandardOutput().contains("found");
}

} // namespace

class tst_KnownHosts : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void addedKeysAreWhereOpenSshLooks();
    void lookupsFollowOpenSshPatterns();

private:
    QTemporaryDir m_dir;
    SshKey m_key;
    SshKey m_other;
};

void tst_KnownHosts::initTestCase()
{
    m_key = makeKey(m_dir.filePath(u"key"_s));
    m_other = makeKey(m_dir.filePath(u"other"_s));
    QVERIFY(!m_key.blob.isEmpty() && !m_other.blob.isEmpty());
}

void tst_KnownHosts::addedKeysAreWhereOpenSshLooks()
{
    const QString folder = m_dir.filePath(u"home/.ssh"_s);
    const KnownHosts hosts(folder + u"/known_hosts"_s);
    QCOMPARE(hosts.check(u"127.0.0.1"_s, 2222, m_key.blob).match, KnownHosts::Match::Missing);
    QVERIFY(hosts.add(u"127.0.0.1"_s, 2222, m_key.blob));
    QVERIFY(hosts.add(u"files.example"_s, 22, m_other.blob));

    QVERIFY(sshFinds(hosts.path(), u"[127.0.0.1]:2222"_s));
    QVERIFY(sshFinds(hosts.path(), u"files.example"_s));
    QVERIFY(!sshFinds(hosts.path(), u"127.0.0.1"_s));
    const QFileDevice::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                            QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
    QCOMPARE(QFile::permissions(hosts.path()) & others, QFileDevice::Permissions());
    QCOMPARE(QFile::permissions(folder) & others, QFileDevice::Permissions());
    QCOMPARE(hosts.check(u"127.0.0.1"_s, 2222, m_key.blob).match, KnownHosts::Match::Known);
    QCOMPARE(KnownHosts::fingerprint(m_key.blob), m_key.fingerprint);
    QCOMPARE(KnownHosts::keyType(m_key.blob), u"ssh-ed25519"_s);
    QCOMPARE(KnownHosts::keyType(QByteArray("\xff\xff\xff\xff", 4)), QString());
}

void tst_KnownHosts::lookupsFollowOpenSshPatterns()
{
    const QString path = m_dir.filePath(u"patterns"_s);
    const QByteArray key = "ssh-ed25519 " + m_key.blob.toBase64();
    const QByteArray other = "ssh-ed25519 " + m_other.blob.toBase64();
    const KnownHosts hosts(path);
    const auto match = [&](const QString &host, uint16_t port, const QByteArray &blob) {
        return hosts.check(host, port, blob).match;
    };

    // Hashed by OpenSSH itself, with a last line that has no line break.
    QVERIFY(writeFile(path, "# comment\n\n[127.0.0.1]:2222 " + key + "\nfiles.example " + other));
    QCOMPARE(QProcess::execute(u"ssh-keygen"_s, {u"-q"_s, u"-H"_s, u"-f"_s, path}), 0);
    QCOMPARE(match(u"127.0.0.1"_s, 2222, m_key.blob), KnownHosts::Match::Known);
    QCOMPARE(match(u"127.0.0.1"_s, 22, m_key.blob), KnownHosts::Match::Missing);
    const KnownHosts::Lookup changed = hosts.check(u"files.example"_s, 22, m_key.blob);
    QCOMPARE(changed.match, KnownHosts::Match::Changed);
    QCOMPARE(changed.knownFingerprint, m_other.fingerprint);

    QVERIFY(writeFile(path, "[127.0.0.*]:2222,![127.0.0.9]:2222 " + key + "\n@revoked * " + other +
                                "\n@cert-authority * " + key + "\n*.example ssh-rsa AAAA\n"));
    QCOMPARE(match(u"127.0.0.5"_s, 2222, m_key.blob), KnownHosts::Match::Known);
    QCOMPARE(match(u"127.0.0.9"_s, 2222, m_key.blob), KnownHosts::Match::Missing);
    QCOMPARE(match(u"127.0.0.5"_s, 2222, m_other.blob), KnownHosts::Match::Revoked);
    // A key of another type only is no reason to refuse this one.
    QCOMPARE(match(u"files.example"_s, 22, m_key.blob), KnownHosts::Match::Missing);
    QVERIFY(hosts.add(u"files.example"_s, 22, m_key.blob));
    QCOMPARE(match(u"files.example"_s, 22, m_key.blob), KnownHosts::Match::Known);
}

QTEST_GUILESS_MAIN(tst_KnownHosts)
#include "tst_knownhosts.moc"
