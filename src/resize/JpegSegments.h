#pragma once

#include <QByteArray>

#include <cstdint>
#include <optional>

class QIODevice;

// The marker segments of a JPEG file before its first scan, where its metadata lives. Fill
// bytes before a marker and the markers that carry no length (RSTn, TEM) are passed over; the
// walk ends at the scan, at the end of the image, at anything that is not a marker and at a
// segment the file does not hold whole. The bytes are anyone's, so the walk is bounded.
class JpegSegments
{
public:
    struct Segment
    {
        uint8_t marker = 0;
        // Where the payload (the bytes after the length) starts in the file, and its length.
        qint64 at = 0;
        qint64 length = 0;
    };

    // Walks from the file's position, which is just past the start-of-image marker; the file
    // must be seekable.
    explicit JpegSegments(QIODevice &file) : m_file(file) {}

    // The next segment, its payload left unread until payload() asks; nothing once the walk
    // has ended.
    std::optional<Segment> next();
    // Reads the payload of the segment next() gave last, once; shorter than its length when the
    // file ends first.
    QByteArray payload();

private:
    QIODevice &m_file;
    int m_markers = 0;
    // Where the payload of the last segment ends, when it was not read.
    std::optional<qint64> m_unread;
};
