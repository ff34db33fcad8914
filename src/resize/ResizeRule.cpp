#include "ResizeRule.h"

#include "NumberText.h"
#include "RunTimeError.h"

using namespace Qt::Literals::StringLiterals;

namespace {
const QString OptionPrefix = u"-resize="_s;
}

ResizeRule::LimitTest ResizeRule::test(const QString &limitText, int width, int height)
{
    const QString upper = limitText.toUpper();
    const double limit = NumberText::leading(limitText);
    const bool hasW = upper.contains(u'W');
    const bool hasH = upper.contains(u'H');
    const bool widthAbove = hasW && limit < width;
    const bool heightAbove = hasH && limit < height;

    LimitTest result;
    result.exceeds = widthAbove || heightAbove;
    if (heightAbove)
        result.scaleBy = Dimension::Height;
    else if (widthAbove || (hasW && !hasH))
        result.scaleBy = Dimension::Width;
    return result;
}

bool ResizeRule::resizesAll(const QString &mode)
{
    return mode.contains(u"All to"_s);
}

std::optional<QString> ResizeRule::option(const QString &mode, const QString &percentText,
                                          const QString &limitText, int width, int height, Dimension scaleBy)
{
    if (mode == u"All to Pct"_s || mode == u"Exceed Limit to Pct"_s)
        return OptionPrefix + percentText + u"%x"_s + percentText + u'%';
    if (mode == u"All to Limit"_s || mode == u"Exceed Limit to Limit"_s) {
        const int32_t limit = NumberText::toInt32(NumberText::leading(limitText));
        const int divisor = scaleBy == Dimension::Width ? width : height;
        if (divisor == 0)
            throw RunTimeError(RunTimeError::DivisionByZero);
        const double factor = static_cast<double>(limit) / divisor;
        return OptionPrefix + NumberText::general(width * factor) + u'x' +
               NumberText::general(height * factor);
    }
    return std::nullopt;
}

QString ResizeRule::thumbnailOption(const QString &sizeText)
{
    return OptionPrefix + sizeText;
}
