#include "FtpPassword.h"

#include "ScrambleText.h"

#include <QStringDecoder>

using namespace Qt::Literals::StringLiterals;

namespace FtpPassword {

namespace {

QByteArray scrambled(const QByteArray &bytes)
{
    return ScrambleText(bytes, QByteArray(ScrambleKey));
}

bool isUtf8(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    [[maybe_unused]] const QString text = decoder.decode(bytes);
    return !decoder.hasError();
}

bool isAscii(const QByteArray &bytes)
{
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) > 0x7F)
            return false;
    }
    return true;
}

bool enclosedInQuotes(const QString &text, QChar quote)
{
    return text.size() >= 2 && text.front() == quote && text.back() == quote;
}

// The settings file is UTF-8, and a line that is not is read byte for byte as Latin-1. So the
// raw bytes of an old value are its UTF-8 form when it holds characters beyond Latin-1 or
// when its Latin-1 bytes would have been read as UTF-8; otherwise either reading may have
// made it, and the one whose password is UTF-8 text wins, the Latin-1 one when both are.
QByteArray rawBytes(const QString &stored)
{
    const QByteArray utf8 = stored.toUtf8();
    for (const QChar c : stored) {
        if (c.unicode() > 0xFF)
            return utf8;
    }
    const QByteArray latin1 = stored.toLatin1();
    if (isAscii(latin1))
        return latin1;
    if (isUtf8(latin1))
        return utf8;
    if (!isUtf8(scrambled(latin1)) && isUtf8(scrambled(utf8)))
        return utf8;
    return latin1;
}

// Whether the file gives these bytes back intact when they are written as they are.
bool fileCarries(const QByteArray &bytes)
{
    if (bytes.contains('\0') || bytes.contains('\n') || bytes.contains('\r') || !isUtf8(bytes))
        return false;
    const QString text = QString::fromUtf8(bytes);
    if (text != text.trimmed() || enclosedInQuotes(text, u'"') || enclosedInQuotes(text, u'\''))
        return false;
    return rawBytes(text) == bytes;
}

} // namespace

QString storedForm(const QString &password)
{
    const QByteArray bytes = scrambled(password.toUtf8());
    if (fileCarries(bytes))
        return QString::fromUtf8(bytes);
    return u"\"\""_s + QString::fromLatin1(bytes.toBase64()) + u"\"\""_s;
}

QString fromStored(const QString &stored)
{
    if (enclosedInQuotes(stored, u'"')) {
        const QString inner = stored.mid(1, stored.size() - 2);
        const auto decoded =
            QByteArray::fromBase64Encoding(inner.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
        if (decoded && !inner.isEmpty() && QString::fromLatin1(inner.toLatin1()) == inner)
            return QString::fromUtf8(scrambled(*decoded));
    }
    return QString::fromUtf8(scrambled(rawBytes(stored)));
}

} // namespace FtpPassword
