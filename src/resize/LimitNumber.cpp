#include "LimitNumber.h"

#include "RunTimeError.h"

#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <locale.h>
#include <string>

using namespace Qt::Literals::StringLiterals;

namespace {

// The program's locale may use a decimal comma; the rules always use a period.
double parseC(const std::string &digits, char **end)
{
    static const locale_t c = newlocale(LC_ALL_MASK, "C", nullptr);
    errno = 0;
    const double value = strtod_l(digits.c_str(), end, c);
    if (errno == ERANGE && std::isinf(value))
        throw RunTimeError(RunTimeError::Overflow);
    return value;
}

bool isSkipped(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n';
}

double readRadix(const QString &text, qsizetype from, int radix)
{
    double value = 0;
    for (qsizetype i = from; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (isSkipped(c))
            continue;
        const int digit = c.isDigit()                                    ? c.digitValue()
                          : (c.toUpper() >= u'A' && c.toUpper() <= u'F') ? c.toUpper().unicode() - u'A' + 10
                                                                         : radix;
        if (digit >= radix)
            break;
        value = value * radix + digit;
    }
    if (std::isinf(value))
        throw RunTimeError(RunTimeError::Overflow);
    return value;
}

int64_t roundedInRange(double value, double low, double high)
{
    const double rounded = std::nearbyint(value);
    if (!(rounded >= low && rounded <= high))
        throw RunTimeError(RunTimeError::Overflow);
    return static_cast<int64_t>(rounded);
}

} // namespace

double LimitNumber::leading(const QString &text)
{
    qsizetype i = 0;
    while (i < text.size() && isSkipped(text.at(i)))
        ++i;
    if (i + 1 < text.size() && text.at(i) == u'&') {
        const QChar kind = text.at(i + 1).toUpper();
        if (kind == u'H')
            return readRadix(text, i + 2, 16);
        if (kind == u'O')
            return readRadix(text, i + 2, 8);
    }

    // Gather the characters that form the number, without the skipped ones, then read them.
    std::string number;
    enum class Stage
    {
        Sign,
        Mantissa,
        ExponentSign,
        Exponent
    } stage = Stage::Sign;
    bool seenPoint = false;
    for (; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (isSkipped(c))
            continue;
        const char16_t u = c.unicode();
        if (stage == Stage::Sign && (u == u'+' || u == u'-')) {
            number += static_cast<char>(u);
            stage = Stage::Mantissa;
        } else if ((stage == Stage::Sign || stage == Stage::Mantissa) && u >= u'0' && u <= u'9') {
            number += static_cast<char>(u);
            stage = Stage::Mantissa;
        } else if ((stage == Stage::Sign || stage == Stage::Mantissa) && u == u'.' && !seenPoint) {
            number += '.';
            seenPoint = true;
            stage = Stage::Mantissa;
        } else if (stage == Stage::Mantissa && (u == u'E' || u == u'e' || u == u'D' || u == u'd')) {
            number += 'e';
            stage = Stage::ExponentSign;
        } else if (stage == Stage::ExponentSign && (u == u'+' || u == u'-')) {
            number += static_cast<char>(u);
            stage = Stage::Exponent;
        } else if ((stage == Stage::ExponentSign || stage == Stage::Exponent) && u >= u'0' && u <= u'9') {
            number += static_cast<char>(u);
            stage = Stage::Exponent;
        } else {
            break;
        }
    }
    // strtod takes the longest valid prefix, so a dangling "e" or sign is left out.
    char *end = nullptr;
    const double value = parseC(number, &end);
    return end == number.c_str() ? 0.0 : value;
}

double LimitNumber::strict(const QString &text)
{
    const QString trimmed = text.trimmed();
    const std::string number = trimmed.toStdString();
    bool plain = !number.empty();
    for (const char c : number)
        plain = plain && (std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '+' || c == '-' ||
                          c == 'e' || c == 'E');
    char *end = nullptr;
    const double value = plain ? parseC(number, &end) : 0.0;
    if (!plain || end != number.c_str() + number.size())
        throw RunTimeError(RunTimeError::TypeMismatch, u"Type mismatch: "_s + text);
    return value;
}

int16_t LimitNumber::toInt16(double value)
{
    return static_cast<int16_t>(
        roundedInRange(value, std::numeric_limits<int16_t>::min(), std::numeric_limits<int16_t>::max()));
}

int32_t LimitNumber::toInt32(double value)
{
    return static_cast<int32_t>(
        roundedInRange(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

QString LimitNumber::general(double value)
{
    if (value == 0)
        return u"0"_s;
    return QString::number(value, 'g', 15).toUpper();
}
