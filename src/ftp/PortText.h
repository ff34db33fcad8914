#pragma once

#include <QString>
#include <cstdint>
#include <optional>

// The port as the settings dialog and the upload read its text: by its leading number.
namespace PortText {

// Whether the dialog keeps a port text as typed: its number lies above 0 and below 65535.
bool acceptedWhileTyping(const QString &text);

// Whether the dialog stores a port text as typed when it closes: its number lies in 1 to 65535.
bool acceptedOnClose(const QString &text);

// The port the upload connects to: the number rounded half to even, 0 meaning the protocol's
// own; none when it does not fit an unsigned 16-bit port.
std::optional<uint16_t> connectPort(const QString &text, uint16_t protocolPort = 21);

} // namespace PortText
