#pragma once

#include <QString>

// The program's settings file, "settings.ini": read and write one key at a time through one
// shared INI instance.
QString ReadIniValue(const QString &fileName, const QString &section, const QString &key);
void WriteIniValue(const QString &fileName, const QString &section, const QString &key, const QString &value);

namespace SettingsLocation {
// The folder holding the settings file: the executable's folder when it is writable, else the
// user's configuration folder for the application.
QString folder();
// Points the settings at another folder (tests); an empty text restores the default.
void setFolderOverride(const QString &folder);
} // namespace SettingsLocation
