#pragma once

#include "SettingKey.h"

#include <QString>

// Reads and writes one key of an INI file in the settings folder at a time, through one shared
// INI instance.
QString ReadIniValue(const QString &fileName, const QString &section, const QString &key);
void WriteIniValue(const QString &fileName, const QString &section, const QString &key, const QString &value);

// The same on the program's settings file.
QString ReadIniValue(const SettingKey &key);
void WriteIniValue(const SettingKey &key, const QString &value);
// The stored text, or the key's fallback when the read is empty.
QString ReadIniValueOrDefault(const SettingKey &key);

namespace SettingsLocation {
// The folder holding the settings file: the executable's folder when it is writable, else the
// user's configuration folder for the application.
QString folder();
// Points the settings at another folder (tests); an empty text restores the default.
void setFolderOverride(const QString &folder);
} // namespace SettingsLocation
