#include "ScrambleText.h"

#include "RunTimeError.h"

#include <QList>
#include <cstdint>

QByteArray ScrambleText(const QByteArray &text, const QByteArray &key)
{
    if (key.isEmpty())
        throw RunTimeError(RunTimeError::InvalidArgument);
    QList<uint16_t> table;
    table.reserve(key.size());
    for (const char c : key)
        table.append(static_cast<uint8_t>(c));
    QByteArray result = text;
    qsizetype j = 0;
    for (char &c : result) {
        const uint16_t k = table.at(j);
        c = static_cast<char>((static_cast<uint8_t>(c) ^ k) & 0xFF);
        table[j] = (k + 17) & 0xFF;
        j = (j + 1) % table.size();
    }
    return result;
}
