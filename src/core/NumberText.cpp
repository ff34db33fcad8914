#include "NumberText.h"

#include "RunTimeError.h"

#include <QLocale>

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

int digitAt(const QString &digits, qint64 index)
{
    return index < digits.size() ? digits.at(index).unicode() - u'0' : 0;
}

// Exact decimal rounding, halves to even: the number is the digits with the decimal point
// after the first pointPosition of them (a position that may lie outside the digits).
std::optional<int32_t> roundedDecimal(bool negative, const QString &digits, qint64 pointPosition)
{
    qint64 first = 0;
    while (first < digits.size() && digits.at(first) == u'0')
        ++first;
    if (first == digits.size())
        return 0;
    // Eleven or more integer digits are out of range whatever they are.
    if (pointPosition - first > 10)
        return std::nullopt;
    qint64 magnitude = 0;
    for (qint64 i = first; i < pointPosition; ++i)
        magnitude = magnitude * 10 + digitAt(digits, i);
    if (pointPosition >= 0 && pointPosition < digits.size()) {
        const int dropped = digitAt(digits, pointPosition);
        bool restNonZero = false;
        for (qint64 i = pointPosition + 1; i < digits.size(); ++i)
            restNonZero = restNonZero || digits.at(i) != u'0';
        if (dropped > 5 || (dropped == 5 && (restNonZero || magnitude % 2 == 1)))
            ++magnitude;
    }
    const qint64 value = negative ? -magnitude : magnitude;
    if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
        return std::nullopt;
    return static_cast<int32_t>(value);
}

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

} // namespace

double NumberText::leading(const QString &text)
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

double NumberText::leadingPort(const QString &text)
{
    try {
        return leading(text);
    } catch (const RunTimeError &) {
        return HUGE_VAL;
    }
}

double NumberText::strict(const QString &text)
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

int16_t NumberText::toInt16(double value)
{
    return static_cast<int16_t>(
        roundedInRange(value, std::numeric_limits<int16_t>::min(), std::numeric_limits<int16_t>::max()));
}

int32_t NumberText::toInt32(double value)
{
    return static_cast<int32_t>(
        roundedInRange(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

QString NumberText::general(double value)
{
    if (value == 0)
        return u"0"_s;
    return QString::number(value, 'g', 15).toUpper();
}

// Blanks, a sign, digits with one decimal point (the C one or the user's), an exponent.
std::optional<int32_t> NumberText::roundedInteger(const QString &text)
{
    const QString s = text.trimmed();
    const QString localePoint = QLocale().decimalPoint();
    qsizetype i = 0;
    bool negative = false;
    if (i < s.size() && (s.at(i) == u'+' || s.at(i) == u'-')) {
        negative = s.at(i) == u'-';
        ++i;
    }
    QString digits;
    std::optional<qint64> integerDigits;
    for (; i < s.size(); ++i) {
        const QChar c = s.at(i);
        if (isAsciiDigit(c))
            digits += c;
        else if (!integerDigits && (c == u'.' || (localePoint.size() == 1 && c == localePoint.front())))
            integerDigits = digits.size();
        else
            break;
    }
    if (digits.isEmpty())
        return std::nullopt;
    qint64 exponent = 0;
    if (i < s.size() && (s.at(i) == u'e' || s.at(i) == u'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < s.size() && (s.at(i) == u'+' || s.at(i) == u'-')) {
            negativeExponent = s.at(i) == u'-';
            ++i;
        }
        const qsizetype exponentStart = i;
        // Capped: beyond a million the answer is out of range or zero anyway.
        for (; i < s.size() && isAsciiDigit(s.at(i)); ++i)
            exponent = std::min<qint64>(exponent * 10 + (s.at(i).unicode() - u'0'), 1'000'000);
        if (i == exponentStart)
            return std::nullopt;
        if (negativeExponent)
            exponent = -exponent;
    }
    if (i != s.size())
        return std::nullopt;
    return roundedDecimal(negative, digits, integerDigits.value_or(digits.size()) + exponent);
}
