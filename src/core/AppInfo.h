#pragma once

#include <QString>

// The program's name and version as windows, reports and web requests give them.
namespace AppInfo {
// The executable's name without extension, "PexaResizer".
QString executableName();
// The application title used for message boxes without a title of their own.
QString applicationTitle();
int major();
int minor();
int revision();
// "1.0.38": major, minor and revision joined by periods.
QString dottedVersion();
} // namespace AppInfo
