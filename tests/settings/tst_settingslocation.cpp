#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

class tst_SettingsLocation : public QObject
{
    Q_OBJECT

private slots:
    void readOnlyExecutableFolderUsesConfigFolder();
};

// Installed in /usr/bin, the program cannot write beside itself. A copy of the helper runs from
// a folder without write permission; root ignores permissions, so as root it runs as nobody.
void tst_SettingsLocation::readOnlyExecutableFolderUsesConfigFolder()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString bin = dir.filePath(u"bin"_s);
    const QString config = dir.filePath(u"config"_s);
    const QString helper = bin + u"/settingslocation_helper"_s;
    QVERIFY(QDir().mkpath(bin));
    QVERIFY(QDir().mkpath(config));
    QVERIFY(QFile::copy(QStringLiteral(PEXA_SETTINGS_HELPER), helper));

    const auto readAndExecute = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup |
                                QFile::ReadOther | QFile::ExeOther;
    const auto everything = readAndExecute | QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
    // QTemporaryDir makes its folder for its owner alone; nobody must reach the helper.
    QVERIFY(QFile::setPermissions(dir.path(), readAndExecute | QFile::WriteOwner));
    QVERIFY(QFile::setPermissions(bin, readAndExecute));
    QVERIFY(QFile::setPermissions(config, everything));
    const auto restore = qScopeGuard([&] { QFile::setPermissions(bin, everything); });

    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"XDG_CONFIG_HOME"_s, config);
    process.setProcessEnvironment(environment);
    if (geteuid() == 0)
        process.start(u"setpriv"_s, {u"--reuid=nobody"_s, u"--regid=nogroup"_s, u"--clear-groups"_s, helper});
    else
        process.start(helper, QStringList());
    QVERIFY(process.waitForFinished());
    QVERIFY2(process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0,
             process.readAllStandardError().constData());

    const QString expected = config + u"/PexaResizer/PexaResizer"_s;
    QCOMPARE(QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed(), expected);
    QFile settings(expected + u"/settings.ini"_s);
    QVERIFY(settings.open(QIODevice::ReadOnly));
    QCOMPARE(settings.readAll(), "[main]\nresize_pct=25\n");
    QVERIFY(!QFile::exists(bin + u"/settings.ini"_s));
}

QTEST_GUILESS_MAIN(tst_SettingsLocation)
#include "tst_settingslocation.moc"
