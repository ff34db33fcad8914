#pragma once

#include <QString>
#include <cstdint>

// The lenient and the strict number readings the resize rules are written in, and the decimal
// form numbers are shown and passed on in.
class LimitNumber
{
public:
    // The number at the start of a text such as "600W": blanks, tabs and line feeds are skipped
    // anywhere in it, "&H"/"&O" read a hexadecimal or octal integer, and reading stops at the
    // first character that cannot continue the number; no number reads as 0. A number too
    // large for a double raises error 6.
    static double leading(const QString &text);

    // The whole text as a number, blanks around it allowed; anything else raises error 13.
    static double strict(const QString &text);

    // Rounds half to even; a result outside the type raises error 6.
    static int16_t toInt16(double value);
    static int32_t toInt32(double value);

    // At most 15 significant digits, no trailing zeros, no point for whole values.
    static QString general(double value);
};
