// A server's listings, sizes and times are bytes anyone who runs a server can choose. What comes
// out of them is used as names in commands and compared with local files, so beyond not crashing
// it must name nothing but a plain entry of the folder listed, and keep sizes and times exact.
#include "FtpListing.h"
#include "FuzzSupport.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

namespace {

QByteArray bytesOf(const std::string &text)
{
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

bool usable(const QString &name)
{
    return !name.isEmpty() && name != QStringLiteral(".") && name != QStringLiteral("..") &&
           !name.contains(u'/') && !name.contains(QChar(0)) && !name.contains(u'\r') && !name.contains(u'\n');
}

void checkTime(const QDateTime &time, const QString &where)
{
    if (!time.isValid())
        return;
    FUZZ_CHECK_DETAIL(time.timeSpec() == Qt::UTC, where);
    const QByteArray text = FtpListing::timeText(time);
    FUZZ_CHECK_DETAIL(text.size() == 14, where + QStringLiteral(": ") + QString::fromLatin1(text));
    FUZZ_CHECK_DETAIL(FtpListing::parseTime(text) == time,
                      where + QStringLiteral(": ") + QString::fromLatin1(text));
}

void checkEntries(const QList<RemoteEntry> &entries, qsizetype lines)
{
    FUZZ_CHECK(entries.size() <= lines);
    for (const RemoteEntry &entry : entries) {
        FUZZ_CHECK_DETAIL(usable(entry.name), codes(entry.name));
        FUZZ_CHECK_DETAIL(entry.size >= -1, codes(entry.name));
        checkTime(entry.modified, codes(entry.name));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const QByteArray name = bytesOf(input.ConsumeRandomLengthString(64));
    const QByteArray sizeText = bytesOf(input.ConsumeRandomLengthString(32));
    const QByteArray timeText = bytesOf(input.ConsumeRandomLengthString(32));
    const QByteArray listing = bytesOf(input.ConsumeRemainingBytesAsString());

    // A size is decimal digits alone, kept exactly.
    if (const std::optional<qint64> parsed = FtpListing::parseSize(sizeText)) {
        FUZZ_CHECK(*parsed >= 0);
        FUZZ_CHECK(FtpListing::parseSize(QByteArray::number(*parsed)) == parsed);
        FUZZ_CHECK(QByteArray::number(*parsed).size() <= sizeText.size());
    }
    // A time is read as the 14 digits before any fraction, and formats back to them.
    if (const std::optional<QDateTime> parsed = FtpListing::parseTime(timeText)) {
        FUZZ_CHECK(parsed->isValid());
        checkTime(*parsed, QString::fromLatin1(timeText.toHex()));
        FUZZ_CHECK(FtpListing::timeText(*parsed) == timeText.left(14));
    }

    const qsizetype lines = listing.count('\n') + 1;
    checkEntries(FtpListing::parseMlsd(listing), lines);
    const QList<QString> names = FtpListing::parseNames(listing);
    FUZZ_CHECK(names.size() <= lines);
    for (const QString &each : names)
        FUZZ_CHECK_DETAIL(usable(each), codes(each));

    // One line made of these facts and this name gives exactly that entry, or none when the
    // name is no usable name.
    const auto isFactSyntax = [](char c) { return c == ';' || c == ' ' || c == '\n' || c == '\r'; };
    if (std::none_of(sizeText.begin(), sizeText.end(), isFactSyntax) &&
        std::none_of(timeText.begin(), timeText.end(), isFactSyntax) && !name.contains('\n') &&
        !name.contains('\r')) {
        const QByteArray line = "type=file;size=" + sizeText + ";modify=" + timeText + "; " + name + "\r\n";
        const QList<RemoteEntry> entries =
            FtpListing::parseMlsd(listing + '\n' + line).mid(FtpListing::parseMlsd(listing + '\n').size());
        const QString expected = QString::fromUtf8(name);
        FUZZ_CHECK_DETAIL(entries.size() == (usable(expected) ? 1 : 0), codes(expected));
        if (!entries.isEmpty()) {
            FUZZ_CHECK_DETAIL(entries[0].name == expected && !entries[0].folder, codes(expected));
            FUZZ_CHECK(entries[0].size == FtpListing::parseSize(sizeText).value_or(-1));
            FUZZ_CHECK(entries[0].modified == FtpListing::parseTime(timeText).value_or(QDateTime()));
        }
    }
    return 0;
}
