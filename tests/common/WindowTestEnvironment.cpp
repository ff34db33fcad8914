#include "WindowTestEnvironment.h"

#include "Settings.h"

WindowTestEnvironment::WindowTestEnvironment()
{
    SettingsLocation::setFolderOverride(settings.path());
}

WindowTestEnvironment::~WindowTestEnvironment()
{
    SettingsLocation::setFolderOverride(QString());
}
