#include "PortText.h"

#include "NumberText.h"

#include <cmath>

namespace PortText {

bool acceptedWhileTyping(const QString &text)
{
    const double value = NumberText::leadingPort(text);
    return value > 0 && value < 65535;
}

bool acceptedOnClose(const QString &text)
{
    const double value = NumberText::leadingPort(text);
    return value >= 1 && value <= 65535;
}

std::optional<uint16_t> connectPort(const QString &text, uint16_t protocolPort)
{
    // nearbyint rounds halves to even in the default rounding mode.
    const double value = std::nearbyint(NumberText::leadingPort(text));
    if (!(value >= 0 && value <= 65535))
        return std::nullopt;
    return value == 0 ? protocolPort : static_cast<uint16_t>(value);
}

} // namespace PortText
