#pragma once

#include <QByteArrayView>

#include <cstdint>

// The byte order of JPEG lengths, PNG chunk headers and IPTC records.
namespace BigEndian {

// The unsigned number in size bytes (1 to 4) from at, most significant first; the caller has
// checked that they are there.
inline uint32_t read(QByteArrayView bytes, qsizetype at, int size)
{
    uint32_t value = 0;
    for (int i = 0; i < size; ++i)
        value = value << 8 | uint8_t(bytes[at + i]);
    return value;
}

} // namespace BigEndian
