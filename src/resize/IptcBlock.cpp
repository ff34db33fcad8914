#include "IptcBlock.h"

#include "BigEndian.h"

namespace {

bool kept(uint8_t record, uint8_t number)
{
    // 1:90 character set, 2:00 record version, 2:05 title, 2:80 creator, 2:116 copyright
    // notice, 2:120 caption.
    if (record == 1)
        return number == 90;
    return record == 2 && (number == 0 || number == 5 || number == 80 || number == 116 || number == 120);
}

// What tells a reader which text the kept datasets hold: alone they are not worth a block.
bool describesOthers(const IptcBlock::Dataset &dataset)
{
    return (dataset.record == 1 && dataset.number == 90) || (dataset.record == 2 && dataset.number == 0);
}

std::optional<IptcBlock::Fields> readDatasets(QByteArrayView bytes)
{
    IptcBlock::Fields fields;
    qsizetype at = 0;
    while (at < bytes.size()) {
        // Writers pad the data with zeros.
        if (bytes[at] == '\0') {
            ++at;
            continue;
        }
        if (uint8_t(bytes[at]) != 0x1C || bytes.size() - at < 5)
            return std::nullopt;
        const auto record = uint8_t(bytes[at + 1]);
        const auto number = uint8_t(bytes[at + 2]);
        const uint32_t length = BigEndian::read(bytes, at + 3, 2);
        // An extended length is for binary datasets, such as a preview.
        if (length & 0x8000)
            return std::nullopt;
        at += 5;
        if (length > bytes.size() - at)
            return std::nullopt;
        if (kept(record, number))
            fields.kept.append({record, number, bytes.sliced(at, length).toByteArray()});
        else
            fields.more = true;
        at += length;
    }
    return fields;
}

} // namespace

std::optional<IptcBlock::Fields> IptcBlock::read(QByteArrayView bytes)
{
    if (!bytes.startsWith("8BIM"))
        return readDatasets(bytes);

    // Photoshop resources: "8BIM", an id, a padded Pascal name, a length, the padded data.
    std::optional<Fields> fields = Fields{};
    qsizetype at = 0;
    while (at < bytes.size()) {
        if (bytes.size() - at < 7 || !bytes.sliced(at).startsWith("8BIM"))
            return std::nullopt;
        const uint32_t id = BigEndian::read(bytes, at + 4, 2);
        const qsizetype nameLength = uint8_t(bytes[at + 6]);
        qsizetype dataAt = at + 6 + ((nameLength + 2) & ~qsizetype(1));
        if (bytes.size() - dataAt < 4)
            return std::nullopt;
        const uint32_t length = BigEndian::read(bytes, dataAt, 4);
        dataAt += 4;
        if (length > bytes.size() - dataAt)
            return std::nullopt;
        if (id == 0x0404) {
            const std::optional<Fields> inner = readDatasets(bytes.sliced(dataAt, length));
            if (!inner)
                return std::nullopt;
            fields->kept += inner->kept;
            fields->more = fields->more || inner->more;
        } else if (id != 0x0425 && id != 0x03ED) {
            // Anything but the data, its digest and the resolution: a preview, paths, history.
            fields->more = true;
        }
        at = dataAt + length + (length & 1);
    }
    return fields;
}

QByteArray IptcBlock::write(const Fields &fields)
{
    bool worthKeeping = false;
    for (const Dataset &dataset : fields.kept)
        worthKeeping = worthKeeping || !describesOthers(dataset);
    if (!worthKeeping)
        return QByteArray();
    QByteArray out;
    for (const Dataset &dataset : fields.kept) {
        out.append(char(0x1C)).append(char(dataset.record)).append(char(dataset.number));
        out.append(char(dataset.value.size() >> 8)).append(char(dataset.value.size() & 0xFF));
        out.append(dataset.value);
    }
    return out;
}
