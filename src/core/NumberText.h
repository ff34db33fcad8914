#pragma once

#include <QString>
#include <cstdint>
#include <optional>

// Every reading of a number typed or stored as text: the lenient and the strict readings the
// resize rules are written in, the port reading, the rounded reading of stored integers, and
// the decimal form numbers are shown and passed on in.
class NumberText
{
public:
    // The number at the start of a text such as "600W": blanks, tabs and line feeds are skipped
    // anywhere in it, "&H"/"&O" read a hexadecimal or octal integer, and reading stops at the
    // first character that cannot continue the number; no number reads as 0. A number too
    // large for a double raises error 6.
    static double leading(const QString &text);

    // The leading number of a port text; one too large for a double reads as infinity, which
    // lies outside every port range. "8080abc" gives 8080.
    static double leadingPort(const QString &text);

    // The whole text as a number, blanks around it allowed; anything else raises error 13.
    static double strict(const QString &text);

    // The whole text as a 32-bit integer, rounded half to even: blanks around it, a sign,
    // digits with one decimal point (the C one or the user's) and an exponent; none when the
    // text is not such a number or the result does not fit.
    static std::optional<int32_t> roundedInteger(const QString &text);

    // Rounds half to even; a result outside the type raises error 6.
    static int16_t toInt16(double value);
    static int32_t toInt32(double value);

    // At most 15 significant digits, no trailing zeros, no point for whole values.
    static QString general(double value);
};
