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
    settings.security = TransferSecurityText::fromStored(ReadIniValue(SettingKeys::FtpSecurity));
    settings.tlsPin = ReadIniValue(SettingKeys::FtpTlsPin);
    return settings;
}

void FtpSettings::storeTlsPin(const QString &pin)
{
    WriteIniValue(SettingKeys::FtpTlsPin, pin);
}

bool FtpSettings::complete() const
{
    return !address.isEmpty() && !username.isEmpty() && !password.isEmpty() && !port.isEmpty() &&
           !root.isEmpty();
}
