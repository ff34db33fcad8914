// The FTP password goes through the scramble, the stored form and the settings file and must
// come back as it was typed; a stored text someone edited must still read without harm.
#include "FtpPassword.h"
#include "FuzzSupport.h"
#include "RunTimeError.h"
#include "ScrambleText.h"
#include "cInifile.h"

#include <QDir>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

QString utf16(const std::string &bytes)
{
    return QString(reinterpret_cast<const QChar *>(bytes.data()), static_cast<qsizetype>(bytes.size() / 2));
}

// Through the file as the settings do it: written under "password", read back.
QString throughFile(const QString &stored)
{
    static const QString path = QDir(fuzzFolder()).filePath(QStringLiteral("password.ini"));
    QFile::remove(path);
    cInifile ini;
    ini.setPath(path);
    ini.setSection(QStringLiteral("FTP"));
    ini.setKey(QStringLiteral("password"));
    ini.setValue(stored);
    FUZZ_CHECK_DETAIL(ini.Success(), codes(stored));
    return ini.Value();
}

// The stored form is made for the file, which drops one pair of enclosing quotes on reading,
// so the round trip goes through a real file.
void checkRoundTrip(const QString &password)
{
    const QString stored = FtpPassword::storedForm(password);
    FUZZ_CHECK_DETAIL(stored.isEmpty() == password.isEmpty(), codes(password));
    FUZZ_CHECK_DETAIL(FtpPassword::fromStored(throughFile(stored)) == password,
                      codes(password) + QStringLiteral("stored as ") + codes(stored));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const uint8_t mode = input.ConsumeIntegral<uint8_t>();
    const std::string key = input.ConsumeRandomLengthString(32);
    const std::string rest = input.ConsumeRemainingBytesAsString();
    const QByteArray bytes(rest.data(), static_cast<qsizetype>(rest.size()));

    // The scramble is its own inverse for any key; an empty key is refused with error 5.
    const QByteArray keyBytes(key.data(), static_cast<qsizetype>(key.size()));
    try {
        FUZZ_CHECK(ScrambleText(ScrambleText(bytes, keyBytes), keyBytes) == bytes);
        FUZZ_CHECK(!keyBytes.isEmpty());
    } catch (const RunTimeError &error) {
        FUZZ_CHECK(keyBytes.isEmpty() && error.number() == RunTimeError::InvalidArgument);
    }

    // A password is text the password box gave, so valid UTF-16: from UTF-8 bytes, or from
    // UTF-16 ones that happen to be valid.
    const QString password = (mode & 1) ? utf16(rest) : QString::fromUtf8(bytes);
    if (QString::fromUtf8(password.toUtf8()) == password)
        checkRoundTrip(password);

    // Any stored text reads as some password (decoded from UTF-8, so valid), and that one
    // round-trips in turn.
    const QString stored = (mode & 2) ? utf16(rest) : QString::fromUtf8(bytes);
    checkRoundTrip(FtpPassword::fromStored(stored));
    return 0;
}
