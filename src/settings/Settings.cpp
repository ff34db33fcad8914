#include "Settings.h"

#include "ErrorGuard.h"
#include "cInifile.h"

#include <QCoreApplication>
#include <QDir>
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

void aimAt(cInifile &ini, const QString &fileName, const QString &section, const QString &key)
{
    ini.setPath(SettingsLocation::folder() + u'/' + fileName);
    ini.setSection(section);
    ini.setKey(key);
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
