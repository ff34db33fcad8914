#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

class QIODevice;

// The metadata a JPEG or PNG file holds, found by walking its segments or chunks: the EXIF
// block (APP1, eXIf or a raw profile), the IPTC data (APP13 or a raw profile), the XMP packet
// (APP1, the XMP text chunk or a raw profile) and a PNG's other text chunks. ImageMagick reads
// neither eXIf nor iTXt, so web copies take these from here as gallery captions do. The bytes
// are anyone's: every length is checked against what is there and decompressed text is capped.
struct PhotoMetadata
{
    // A PNG text chunk: its keyword and its text (Latin-1 in tEXt and zTXt, UTF-8 in iTXt).
    struct Text
    {
        QByteArray keyword;
        QString text;

        bool operator==(const Text &) const = default;
    };

    // The first block of each kind, as readers take it; empty when there is none.
    QByteArray exif;
    QByteArray iptc;
    QByteArray xmp;
    // The text chunks that hold none of these, in the file's order. Past a megabyte of text,
    // only their keywords.
    QList<Text> texts;
    // A second block of a kind, which readers pass over.
    bool repeated = false;

    // From the start of an open, seekable device; nothing from a file that is neither format.
    static PhotoMetadata read(QIODevice &file);
    static PhotoMetadata read(const QByteArray &bytes);
};
