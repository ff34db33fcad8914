#include "NaturalOrder.h"

namespace {

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// The run of digits at from, without its leading zeros; from is moved past the run.
QStringView number(QStringView text, qsizetype &from)
{
    while (from < text.size() && text[from] == u'0' && from + 1 < text.size() && isDigit(text[from + 1]))
        ++from;
    const qsizetype start = from;
    while (from < text.size() && isDigit(text[from]))
        ++from;
    return text.sliced(start, from - start);
}

} // namespace

int NaturalOrder::compare(QStringView a, QStringView b)
{
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            const QStringView x = number(a, i), y = number(b, j);
            // Without leading zeros, the longer run is the larger number: no run can overflow.
            if (x.size() != y.size())
                return x.size() < y.size() ? -1 : 1;
            if (const int digits = x.compare(y); digits != 0)
                return digits;
            continue;
        }
        const char32_t x = a[i].toCaseFolded().unicode(), y = b[j].toCaseFolded().unicode();
        if (x != y)
            return x < y ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size() || j < b.size())
        return i < a.size() ? 1 : -1;
    return a.compare(b);
}
