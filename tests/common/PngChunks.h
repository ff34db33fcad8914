#pragma once

#include <QByteArray>

// PNG chunks put together byte by byte, for files that no tool writes the way a test needs.
namespace PngChunks {

// A chunk with its length and checksum.
QByteArray chunk(const QByteArray &type, const QByteArray &data);
// A zlib stream, as zTXt and compressed iTXt chunks hold text.
QByteArray zlib(const QByteArray &data);
// A zTXt chunk holding a profile as ImageMagick before 6.9.10, GIMP 2 and digiKam store it:
// "Raw profile type KIND", then the kind, the length and the bytes in hexadecimal.
QByteArray rawProfile(const QByteArray &kind, const QByteArray &profile);
// The file with the chunk put right after its header chunk.
QByteArray inserted(const QByteArray &png, const QByteArray &chunk);

} // namespace PngChunks
