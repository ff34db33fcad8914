#include "TestFiles.h"
#include "cInifile.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

// The settings file on a disk that fills up while it is written. The test needs a file system of
// its own, mounted in the private mount namespace the test command runs it in.
class tst_SettingsFaults : public QObject
{
    Q_OBJECT

private slots:
    void aFullDiskLeavesTheOldFileWhole();
};

void tst_SettingsFaults::aFullDiskLeavesTheOldFileWhole()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString disk = dir.filePath(u"disk"_s);
    QVERIFY(QDir().mkpath(disk));
    if (QProcess::execute(u"mount"_s, {u"-t"_s, u"tmpfs"_s, u"-o"_s, u"size=16k"_s, u"tmpfs"_s, disk}) != 0)
        QSKIP("needs root in a private mount namespace (the test command runs it in one)");
    const auto unmount = qScopeGuard([&] { QProcess::execute(u"umount"_s, {disk}); });

    const QString path = disk + u"/settings.ini"_s;
    cInifile ini;
    ini.setPath(path);
    ini.setSection(u"main"_s);
    ini.setKey(u"k"_s);
    ini.setValue(u"old"_s);
    QVERIFY(ini.Success());
    const QByteArray before = readFile(path);
    // Whatever room is left goes to another file.
    QFile filler(disk + u"/filler"_s);
    QVERIFY(filler.open(QIODevice::WriteOnly));
    while (filler.write(QByteArray(512, 'x')) == 512 && filler.flush()) {
    }
    filler.close();

    ini.setKey(u"long"_s);
    ini.setValue(QString(6000, u'v'));
    QVERIFY(!ini.Success());
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), before);
    ini.setKey(u"k"_s);
    QCOMPARE(ini.Value(), u"old"_s);
}

QTEST_GUILESS_MAIN(tst_SettingsFaults)
#include "tst_settingsfaults.moc"
