#include "FtpSettings.h"

#include "FtpPassword.h"
#include "Settings.h"

FtpSettings FtpSettings::read()
{
    FtpSettings settings;
    settings.address = ReadIniValue(SettingKeys::FtpAddress);
    settings.username = ReadIniValue(SettingKeys::FtpUsername);
    const QString password = ReadIniValue(SettingKeys::FtpPassword);
    if (!password.isEmpty())
        settings.password = FtpPassword::fromStored(password);
    settings.port = ReadIniValue(SettingKeys::FtpPort);
    settings.root = ReadIniValue(SettingKeys::FtpRoot);
    return settings;
}

bool FtpSettings::complete() const
{
    return !address.isEmpty() && !username.isEmpty() && !password.isEmpty() && !port.isEmpty() &&
           !root.isEmpty();
}
