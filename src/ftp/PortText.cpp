#include "PortText.h"

#include "LimitNumber.h"
#include "RunTimeError.h"

#include <cmath>

namespace PortText {

double leadingNumber(const QString &text)
{
    // The same lenient reading as every number typed into the program; a number too large for
    // a double simply lies outside every port range.
    try {
        return LimitNumber::leading(text);
    } catch (const RunTimeError &) {
        return HUGE_VAL;
    }
}

bool acceptedWhileTyping(const QString &text)
{
    const double value = leadingNumber(text);
    return value > 0 && value < 65535;
}

bool acceptedOnClose(const QString &text)
{
    const double value = leadingNumber(text);
    return value >= 1 && value <= 65535;
}

std::optional<uint16_t> connectPort(const QString &text)
{
    // nearbyint rounds halves to even in the default rounding mode.
    const double value = std::nearbyint(leadingNumber(text));
    if (!(value >= 0 && value <= 65535))
        return std::nullopt;
    return value == 0 ? uint16_t(21) : static_cast<uint16_t>(value);
}

} // namespace PortText
