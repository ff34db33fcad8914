#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <cstdint>
#include <optional>

// The IPTC datasets a web copy keeps (title, creator, copyright notice, caption, and the record
// version and character set that say how to read them), from raw IPTC data or from a Photoshop
// resource block that holds it. Every length is checked against the bytes there are.
class IptcBlock
{
public:
    struct Dataset
    {
        uint8_t record = 0;
        uint8_t number = 0;
        QByteArray value;

        bool operator==(const Dataset &) const = default;
    };

    struct Fields
    {
        QList<Dataset> kept;
        // The bytes hold more than the kept datasets: a location, keywords, a preview...
        bool more = false;

        bool operator==(const Fields &) const = default;
    };

    // The kept datasets, or nothing when the bytes are not well formed.
    static std::optional<Fields> read(QByteArrayView bytes);
    // Raw IPTC data holding the kept datasets; empty when there are none worth keeping.
    static QByteArray write(const Fields &fields);
};
