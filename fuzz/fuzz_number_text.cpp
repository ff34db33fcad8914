// Numbers arrive as text from the rule boxes, the port box and the settings file. A reading may
// refuse a text with its RunTimeError; anything else that goes wrong is a fault.
#include "FuzzSupport.h"
#include "NumberText.h"
#include "RunTimeError.h"

#include <QLocale>

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <string>

namespace {

struct Outcome
{
    std::optional<double> value;
    int error = 0;
};

template <typename Reading> Outcome outcomeOf(Reading reading)
{
    Outcome outcome;
    try {
        outcome.value = reading();
    } catch (const RunTimeError &error) {
        outcome.error = error.number();
    }
    return outcome;
}

// Only the characters both readings share: strtod's plain syntax and the blanks leading skips.
bool plainText(const QString &text)
{
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (!((u >= u'0' && u <= u'9') || u == u'.' || u == u'+' || u == u'-' || u == u'e' || u == u'E' ||
              u == u' ' || u == u'\t' || u == u'\n'))
            return false;
    }
    return true;
}

// One unit in the last place of v, so that a rounded decimal may sit that far from the double.
double slack(double v)
{
    return std::fabs(v) * std::numeric_limits<double>::epsilon() * 2;
}

template <typename Int> void checkRounding(double x, Int (*convert)(double))
{
    const Outcome outcome = outcomeOf([&] { return static_cast<double>(convert(x)); });
    const double low = static_cast<double>(std::numeric_limits<Int>::min());
    const double high = static_cast<double>(std::numeric_limits<Int>::max());
    const QString detail = QString::number(x, 'g', 17);
    if (outcome.value) {
        const double r = *outcome.value;
        FUZZ_CHECK_DETAIL(std::fabs(r - x) <= 0.5, detail);
        if (std::fabs(r - x) == 0.5)
            FUZZ_CHECK_DETAIL(std::fmod(r, 2) == 0, detail);
    } else {
        FUZZ_CHECK_DETAIL(outcome.error == RunTimeError::Overflow, detail);
        // Only what rounds outside the type overflows; the halves at the ends round to even.
        FUZZ_CHECK_DETAIL(!(x > low - 0.5 && x < high + 0.5), detail);
    }
}

void checkGeneral(double d)
{
    const QString shown = NumberText::general(d);
    if (!std::isfinite(d))
        return;
    FUZZ_CHECK_DETAIL((shown == QStringLiteral("0")) == (d == 0), shown);
    const qsizetype exponentAt = shown.indexOf(u'E');
    const QString mantissa = exponentAt < 0 ? shown : shown.left(exponentAt);
    if (mantissa.contains(u'.'))
        FUZZ_CHECK_DETAIL(!mantissa.endsWith(u'0') && !mantissa.endsWith(u'.'), shown);
    qsizetype significant = 0;
    bool started = false;
    for (const QChar c : mantissa) {
        started = started || (c >= u'1' && c <= u'9');
        significant += started && c.isDigit();
    }
    FUZZ_CHECK_DETAIL(significant <= 15, shown);
    if (std::fabs(d) < 1e15 && d == std::trunc(d))
        FUZZ_CHECK_DETAIL(!shown.contains(u'.') && exponentAt < 0, shown);

    // What is shown reads back, as closely as 15 digits allow, through both readings. Rounded to
    // 15 digits, the largest doubles show as more than the largest double, which overflows.
    const Outcome read = outcomeOf([&] { return NumberText::strict(shown); });
    if (!read.value) {
        FUZZ_CHECK_DETAIL(read.error == RunTimeError::Overflow && std::fabs(d) >= 1.797693134862315e308,
                          shown);
        return;
    }
    const double back = *read.value;
    FUZZ_CHECK_DETAIL(std::fabs(back - d) <= std::fabs(d) * 1e-14,
                      shown + QStringLiteral(" from ") + QString::number(d, 'g', 17));
    FUZZ_CHECK_DETAIL(NumberText::leading(shown) == back, shown);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const uint8_t mode = input.ConsumeIntegral<uint8_t>();
    double raw = 0;
    const std::string rawBytes = input.ConsumeBytesAsString(sizeof raw);
    std::memcpy(&raw, rawBytes.data(), rawBytes.size());
    const std::string rest = input.ConsumeRemainingBytesAsString();
    // Typed text is valid UTF-16; text from a file or a paste may not be, so both are tried.
    const QString text = (mode & 1) ? QString(reinterpret_cast<const QChar *>(rest.data()),
                                              static_cast<qsizetype>(rest.size() / sizeof(QChar)))
                                    : QString::fromUtf8(rest.data(), static_cast<qsizetype>(rest.size()));
    // The point of the user's locale is accepted by roundedInteger besides the C one.
    const bool cLocale = (mode & 2) == 0;
    QLocale::setDefault(cLocale ? QLocale::c() : QLocale(QLocale::German, QLocale::Germany));

    const Outcome leading = outcomeOf([&] { return NumberText::leading(text); });
    if (leading.value)
        FUZZ_CHECK_DETAIL(std::isfinite(*leading.value), codes(text));
    else
        FUZZ_CHECK_DETAIL(leading.error == RunTimeError::Overflow, codes(text));

    // leadingPort never raises: an overflow reads as infinity.
    const double port = NumberText::leadingPort(text);
    FUZZ_CHECK_DETAIL(port == (leading.value ? *leading.value : HUGE_VAL), codes(text));

    const Outcome strict = outcomeOf([&] { return NumberText::strict(text); });
    if (strict.value)
        FUZZ_CHECK_DETAIL(std::isfinite(*strict.value), codes(text));
    else
        FUZZ_CHECK_DETAIL(strict.error == RunTimeError::TypeMismatch ||
                              strict.error == RunTimeError::Overflow,
                          codes(text));
    if (plainText(text)) {
        if (strict.value)
            FUZZ_CHECK_DETAIL(leading.value == strict.value, codes(text));
        if (strict.error == RunTimeError::Overflow)
            FUZZ_CHECK_DETAIL(leading.error == RunTimeError::Overflow, codes(text));
    }

    const std::optional<int32_t> rounded = NumberText::roundedInteger(text);
    if (cLocale) {
        // Its syntax is strict's, so the two agree on what is a number; the exact decimal
        // rounding may differ from the double by the double's own error.
        if (rounded) {
            FUZZ_CHECK_DETAIL(strict.value.has_value(), codes(text));
            FUZZ_CHECK_DETAIL(std::fabs(*rounded - *strict.value) <= 0.5 + slack(*strict.value), codes(text));
        } else if (strict.value) {
            FUZZ_CHECK_DETAIL(std::fabs(*strict.value) > 2147483646.0, codes(text));
        }
    }

    checkRounding<int16_t>(raw, &NumberText::toInt16);
    checkRounding<int32_t>(raw, &NumberText::toInt32);
    if (leading.value) {
        checkRounding<int16_t>(*leading.value, &NumberText::toInt16);
        checkRounding<int32_t>(*leading.value, &NumberText::toInt32);
    }
    checkGeneral(raw);
    if (strict.value)
        checkGeneral(*strict.value);
    return 0;
}
