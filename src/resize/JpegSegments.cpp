#include "JpegSegments.h"

#include "BigEndian.h"

#include <QIODevice>

namespace {

// Metadata segments come before the first scan, so these only bound what a hostile file can
// make the walk do.
constexpr int MaxMarkers = 4096;
constexpr int MaxFill = 16;

bool skip(QIODevice &file, qint64 bytes)
{
    return bytes <= file.size() - file.pos() && file.seek(file.pos() + bytes);
}

} // namespace

std::optional<JpegSegments::Segment> JpegSegments::next()
{
    if (m_unread) {
        const qint64 end = *m_unread;
        m_unread.reset();
        if (!skip(m_file, end - m_file.pos()))
            return std::nullopt;
    }
    while (m_markers++ < MaxMarkers) {
        char byte = 0;
        if (!m_file.getChar(&byte) || uint8_t(byte) != 0xFF)
            return std::nullopt;
        int fill = 0;
        do {
            if (!m_file.getChar(&byte) || ++fill > MaxFill)
                return std::nullopt;
        } while (uint8_t(byte) == 0xFF);
        const auto marker = uint8_t(byte);
        if (marker == 0xD9 || marker == 0xDA)
            return std::nullopt;
        if ((marker >= 0xD0 && marker <= 0xD7) || marker == 0x01)
            continue;
        const QByteArray size = m_file.read(2);
        if (size.size() < 2 || BigEndian::read(size, 0, 2) < 2)
            return std::nullopt;
        const Segment segment{marker, m_file.pos(), qint64(BigEndian::read(size, 0, 2)) - 2};
        m_unread = segment.at + segment.length;
        return segment;
    }
    return std::nullopt;
}

QByteArray JpegSegments::payload()
{
    if (!m_unread)
        return QByteArray();
    const qint64 end = *m_unread;
    m_unread.reset();
    return m_file.read(end - m_file.pos());
}
