#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <optional>

// The Dublin Core fields of an XMP packet that a web copy keeps: title, creators, rights and
// description. Anything else in the packet (a camera's details, a position, the editing
// history) is only noted.
class XmpPacket
{
public:
    struct Fields
    {
        QString title;
        QStringList creators;
        QString rights;
        QString description;
        bool more = false;

        bool operator==(const Fields &) const = default;
    };

    // The kept fields, or nothing when the packet is not well-formed XML.
    static std::optional<Fields> read(QByteArrayView packet);
    // A packet holding just these fields (more is not looked at); empty when there are none.
    static QByteArray write(const Fields &fields);
};
