#pragma once

#include <QStringView>

// Names in the order a person expects: "img2" before "img10". Runs of digits compare as numbers,
// the rest without case; names equal so far compare exactly, so the order is total.
class NaturalOrder
{
public:
    // Less than, equal to or greater than 0 as a comes before, with or after b.
    static int compare(QStringView a, QStringView b);
    static bool lessThan(QStringView a, QStringView b) { return compare(a, b) < 0; }
};
