#include "FtpSettings.h"

#include "FtpPassword.h"
#include "Settings.h"

using namespace Qt::Literals::StringLiterals;

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
    settings.connections = connectionsFromStored(ReadIniValue(SettingKeys::FtpConnections));
    settings.onlyChanged = choiceFromStored(ReadIniValue(SettingKeys::FtpOnlyChanged));
    settings.removeMissing = choiceFromStored(ReadIniValue(SettingKeys::FtpRemoveMissing));
    return settings;
}

int FtpSettings::connectionsFromStored(const QString &text)
{
    bool isNumber = false;
    const int count = text.toInt(&isNumber);
    return isNumber && count >= 1 && count <= MaxConnections ? count : 1;
}

bool FtpSettings::choiceFromStored(const QString &text)
{
    return text == u'1';
}

QString FtpSettings::storedChoice(bool chosen)
{
    return chosen ? u"1"_s : u"0"_s;
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
