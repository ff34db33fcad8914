#include "PngChunks.h"

#include <zlib.h>

namespace PngChunks {

QByteArray chunk(const QByteArray &type, const QByteArray &data)
{
    QByteArray out;
    const auto length = static_cast<quint32>(data.size());
    for (int shift = 24; shift >= 0; shift -= 8)
        out.append(char((length >> shift) & 0xFF));
    const QByteArray body = type + data;
    const auto crc = static_cast<quint32>(
        crc32(0, reinterpret_cast<const Bytef *>(body.constData()), static_cast<uInt>(body.size())));
    out.append(body);
    for (int shift = 24; shift >= 0; shift -= 8)
        out.append(char((crc >> shift) & 0xFF));
    return out;
}

QByteArray zlib(const QByteArray &data)
{
    // qCompress puts the length in front of zlib's stream.
    return qCompress(data).mid(4);
}

QByteArray rawProfile(const QByteArray &kind, const QByteArray &profile)
{
    QByteArray text = '\n' + kind + '\n' + QByteArray::number(profile.size()).rightJustified(8, ' ');
    const QByteArray hex = profile.toHex();
    // 72 digits a line, as ImageMagick writes them.
    for (qsizetype at = 0; at < hex.size(); at += 72)
        text += '\n' + hex.mid(at, 72);
    return chunk("zTXt", "Raw profile type " + kind + QByteArray(2, '\0') + zlib(text + '\n'));
}

QByteArray inserted(const QByteArray &png, const QByteArray &chunk)
{
    // The signature and the header chunk.
    constexpr qsizetype HeaderEnd = 8 + 25;
    return png.left(HeaderEnd) + chunk + png.mid(HeaderEnd);
}

} // namespace PngChunks
