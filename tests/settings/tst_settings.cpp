#include "ErrorRecorder.h"
#include "Settings.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace Qt::Literals::StringLiterals;

class tst_Settings : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void missingFileReadsEmpty();
    void writeThenRead();
    void emptyValueReadsLikeMissing();
    void handWrittenNamesInOtherCase();
    void valueRules();
    void eachCallAimsAfresh();
    void folderDefaultsToWritableExecutableFolder();
    void writingAPasswordMakesTheFileOwnerOnly();

private:
    QByteArray settingsContent() const;

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ErrorRecorder> m_errors;
};

void tst_Settings::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    SettingsLocation::setFolderOverride(m_dir->path());
    m_errors = std::make_unique<ErrorRecorder>();
}

void tst_Settings::cleanup()
{
    QCOMPARE(m_errors->summary(), QStringList());
    m_errors.reset();
    SettingsLocation::setFolderOverride(QString());
}

QByteArray tst_Settings::settingsContent() const
{
    QFile file(m_dir->filePath(u"settings.ini"_s));
    if (!file.open(QIODevice::ReadOnly))
        return "<missing>";
    return file.readAll();
}

void tst_Settings::missingFileReadsEmpty()
{
    QCOMPARE(SettingsLocation::folder(), m_dir->path());
    QCOMPARE(ReadIniValue(u"settings.ini"_s, u"main"_s, u"resize_mode"_s), QString());
    QCOMPARE(settingsContent(), "<missing>");
}

void tst_Settings::writeThenRead()
{
    WriteIniValue(u"settings.ini"_s, u"main"_s, u"resize_mode"_s, u"All to Limit"_s);
    WriteIniValue(u"settings.ini"_s, u"ftp"_s, u"ul_size_limit"_s, u"500"_s);
    WriteIniValue(u"settings.ini"_s, u"main"_s, u"resize_pct"_s, u"25"_s);
    WriteIniValue(u"settings.ini"_s, u"main"_s, u"resize_mode"_s, u"All to Pct"_s);
    QCOMPARE(settingsContent(), "[main]\nresize_mode=All to Pct\nresize_pct=25\n[ftp]\nul_size_limit=500\n");
    QCOMPARE(ReadIniValue(u"settings.ini"_s, u"main"_s, u"resize_mode"_s), u"All to Pct"_s);
    QCOMPARE(ReadIniValue(u"settings.ini"_s, u"ftp"_s, u"ul_size_limit"_s), u"500"_s);
}

void tst_Settings::emptyValueReadsLikeMissing()
{
    WriteIniValue(u"settings.ini"_s, u"main"_s, u"resize_pct"_s, QString());
    QCOMPARE(settingsContent(), "[main]\nresize_pct=\n");
    QCOMPARE(ReadIniValue(u"settings.ini"_s, u"main"_s, u"resize_pct"_s),
             ReadIniValue(u"settings.ini"_s, u"main"_s, u"missing"_s));
    QCOMPARE(ReadIniValue(u"settings.ini"_s, u"main"_s, u"resize_pct"_s), QString());
}

void tst_Settings::handWrittenNamesInOtherCase()
{
    QFile file(m_dir->filePath(u"settings.ini"_s));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[MAIN]\r\nResize_Mode = Exceed Limit to Limit\r\n");
    file.close();

    QCOMPARE(ReadIniValue(u"settings.ini"_s, u"main"_s, u"resize_mode"_s), u"Exceed Limit to Limit"_s);
    WriteIniValue(u"settings.ini"_s, u"main"_s, u"resize_mode"_s, u"All to Pct"_s);
    QCOMPARE(settingsContent(), "[MAIN]\r\nResize_Mode=All to Pct\r\n");
}

void tst_Settings::valueRules()
{
    const QString longPath = u"/srv/photos/"_s + QString(290, u'd');
    WriteIniValue(u"settings.ini"_s, u"main"_s, u"dest_path"_s, longPath);
    QCOMPARE(ReadIniValue(u"settings.ini"_s, u"main"_s, u"dest_path"_s), longPath);

    WriteIniValue(u"settings.ini"_s, u"ftp"_s, u"root"_s, u"/pub"_s + QChar(0) + u"/x"_s);
    QCOMPARE(ReadIniValue(u"settings.ini"_s, u"ftp"_s, u"root"_s), u"/pub/x"_s);

    WriteIniValue(u"settings.ini"_s, u"ftp"_s, u"username"_s, u"  'guest'  "_s);
    QCOMPARE(ReadIniValue(u"settings.ini"_s, u"ftp"_s, u"username"_s), u"guest"_s);
}

void tst_Settings::eachCallAimsAfresh()
{
    WriteIniValue(u"settings.ini"_s, u"main"_s, u"tn_prefix"_s, u"tn_"_s);
    QCOMPARE(ReadIniValue(u"other.ini"_s, u"main"_s, u"tn_prefix"_s), QString());
    QCOMPARE(ReadIniValue(u"settings.ini"_s, u"ftp"_s, u"tn_prefix"_s), QString());
    QCOMPARE(ReadIniValue(u"settings.ini"_s, u"main"_s, u"tn_size"_s), QString());
    QCOMPARE(ReadIniValue(u"settings.ini"_s, u"main"_s, u"tn_prefix"_s), u"tn_"_s);

    // A failing write stores nothing and reports nothing.
    SettingsLocation::setFolderOverride(m_dir->filePath(u"absent"_s));
    WriteIniValue(u"settings.ini"_s, u"main"_s, u"tn_prefix"_s, u"lost"_s);
    QCOMPARE(ReadIniValue(u"settings.ini"_s, u"main"_s, u"tn_prefix"_s), QString());
    SettingsLocation::setFolderOverride(m_dir->path());
    QCOMPARE(ReadIniValue(u"settings.ini"_s, u"main"_s, u"tn_prefix"_s), u"tn_"_s);
}

void tst_Settings::folderDefaultsToWritableExecutableFolder()
{
    SettingsLocation::setFolderOverride(QString());
    // The test runs from its build folder, which is writable.
    QCOMPARE(SettingsLocation::folder(), QCoreApplication::applicationDirPath());
}

void tst_Settings::writingAPasswordMakesTheFileOwnerOnly()
{
    const QString path = m_dir->filePath(u"settings.ini"_s);
    const QFile::Permissions ownBits = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
    const QFile::Permissions modeBits = ownBits | QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                        QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
    WriteIniValue(SettingKeys::FtpAddress, u"ftp.example.org"_s);
    const QFile::Permissions shared =
        QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther;
    QVERIFY(QFile::setPermissions(path, shared));

    // Other keys, and an empty password, leave the file as its owner set it.
    WriteIniValue(SettingKeys::FtpUsername, u"anna"_s);
    WriteIniValue(SettingKeys::FtpPassword, QString());
    QCOMPARE(QFile::permissions(path) & modeBits, shared);

    WriteIniValue(SettingKeys::FtpPassword, u"scrambled"_s);
    QCOMPARE(QFile::permissions(path) & modeBits, QFile::ReadOwner | QFile::WriteOwner);
    QCOMPARE(ReadIniValue(SettingKeys::FtpPassword), u"scrambled"_s);

    // Only the others lose their access: bits the owner set stay.
    QVERIFY(QFile::setPermissions(path, ownBits | QFile::WriteGroup | QFile::ExeOther));
    WriteIniValue(SettingKeys::FtpPassword, u"changed"_s);
    QCOMPARE(QFile::permissions(path) & modeBits, ownBits);
}

QTEST_GUILESS_MAIN(tst_Settings)
#include "tst_settings.moc"
