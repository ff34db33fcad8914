#pragma once

#include <QByteArray>

// The key that scrambles the stored FTP password. Changing it makes every stored password
// unreadable.
inline constexpr char ScrambleKey[] = "QMRZWKDNVSYUTA52";

// XORs every byte of text with a running key table: the first round uses the key's bytes, and
// each use adds 17 (modulo 256) to the entry used. Its own inverse. An empty key raises
// run-time error 5.
QByteArray ScrambleText(const QByteArray &text, const QByteArray &key);
