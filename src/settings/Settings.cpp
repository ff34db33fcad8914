#include "Settings.h"

#include "ErrorGuard.h"
#include "cInifile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString SettingsFileName = u"settings.ini"_s;

QString &folderOverride()
{
    static QString folder;
    return folder;
}

// The one instance every read and write goes through; its default is never set, so a
// missing key reads as empty text.
cInifile &sharedIni()
{
    static cInifile ini;
    return ini;
}

QString settingsPath(const QString &fileName)
{
    return SettingsLocation::folder() + u'/' + fileName;
}

void aimAt(cInifile &ini, const QString &fileName, const QString &section, const QString &key)
{
    ini.setPath(settingsPath(fileName));
    ini.setSection(section);
    ini.setKey(key);
}

// Takes the group's and others' access away before a secret goes in, as ssh and git do with
// their credential files; the rewrite keeps the file's permissions. A file this user may not
// change stays as it is, and the write goes on.
void keepToOwner(const QString &path)
{
    const QFile::Permissions ownerBits = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
    const QFile::Permissions permissions = QFile::permissions(path);
    const QFile::Permissions othersBits = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                          QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
    if (permissions & othersBits)
        QFile::setPermissions(path, permissions & ownerBits);
}

} // namespace

QString ReadIniValue(const QString &fileName, const QString &section, const QString &key)
{
    QString value;
    guarded(u"global"_s, u"ReadIniValue"_s, [&] {
        cInifile &ini = sharedIni();
        aimAt(ini, fileName, section, key);
        value = ini.Value();
    });
    return value;
}

void WriteIniValue(const QString &fileName, const QString &section, const QString &key, const QString &value)
{
    guarded(u"global"_s, u"WriteIniValue"_s, [&] {
        cInifile &ini = sharedIni();
        aimAt(ini, fileName, section, key);
        ini.setValue(value);
    });
}

QString ReadIniValue(const SettingKey &key)
{
    return ReadIniValue(SettingsFileName, key.section, key.name);
}

void WriteIniValue(const SettingKey &key, const QString &value)
{
    if (key.secret && !value.isEmpty())
        keepToOwner(settingsPath(SettingsFileName));
    WriteIniValue(SettingsFileName, key.section, key.name, value);
}

QString ReadIniValueOrDefault(const SettingKey &key)
{
    const QString value = ReadIniValue(key);
    return value.isEmpty() ? key.fallback : value;
}

namespace SettingsLocation {

QString folder()
{
    if (!folderOverride().isEmpty())
        return folderOverride();
    const QString applicationFolder = QCoreApplication::applicationDirPath();
    if (QFileInfo(applicationFolder).isWritable())
        return applicationFolder;
    const QString configFolder = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    // When it cannot be made, writes fail quietly and reads give the defaults.
    QDir().mkpath(configFolder);
    return configFolder;
}

void setFolderOverride(const QString &folder)
{
    folderOverride() = folder;
}

} // namespace SettingsLocation
