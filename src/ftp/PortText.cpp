#include "PortText.h"

#include <cmath>

namespace PortText {

namespace {

bool isDigit(const QString &text, qsizetype i)
{
    return i < text.size() && text.at(i) >= u'0' && text.at(i) <= u'9';
}

} // namespace

double leadingNumber(const QString &text)
{
    qsizetype i = 0;
    while (i < text.size() && (text.at(i) == u' ' || text.at(i) == u'\t'))
        ++i;
    const qsizetype start = i;
    if (i < text.size() && (text.at(i) == u'+' || text.at(i) == u'-'))
        ++i;
    bool digits = false;
    while (isDigit(text, i)) {
        ++i;
        digits = true;
    }
    if (i < text.size() && text.at(i) == u'.') {
        ++i;
        while (isDigit(text, i)) {
            ++i;
            digits = true;
        }
    }
    if (!digits)
        return 0;
    qsizetype end = i;
    if (i < text.size() && (text.at(i) == u'e' || text.at(i) == u'E')) {
        qsizetype e = i + 1;
        if (e < text.size() && (text.at(e) == u'+' || text.at(e) == u'-'))
            ++e;
        if (isDigit(text, e)) {
            while (isDigit(text, e))
                ++e;
            end = e;
        }
    }
    return text.mid(start, end - start).toDouble();
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
