#include "HtmlText.h"

#include <QStringList>
#include <QUrl>

using namespace Qt::Literals::StringLiterals;

namespace {

bool allowedInPage(char32_t c)
{
    if (c == u'\t' || c == u'\n' || c == u'\f' || c == u'\r')
        return true;
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F))
        return false;
    if ((c >= 0xFDD0 && c <= 0xFDEF) || (c & 0xFFFE) == 0xFFFE)
        return false;
    return true;
}

} // namespace

QString HtmlText::escaped(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            const char32_t point = QChar::surrogateToUcs4(c, text[i + 1]);
            if (allowedInPage(point))
                out.append(c).append(text[i + 1]);
            else
                out.append(QChar::ReplacementCharacter);
            ++i;
            continue;
        }
        switch (c.unicode()) {
        case u'&':
            out += u"&amp;"_s;
            break;
        case u'<':
            out += u"&lt;"_s;
            break;
        case u'>':
            out += u"&gt;"_s;
            break;
        case u'"':
            out += u"&quot;"_s;
            break;
        case u'\'':
            out += u"&#39;"_s;
            break;
        default:
            out += c.isSurrogate() || !allowedInPage(c.unicode()) ? QChar(QChar::ReplacementCharacter) : c;
        }
    }
    return out;
}

QString HtmlText::link(QStringView path)
{
    QStringList names;
    for (const QStringView name : path.split(u'/'))
        names.append(QString::fromLatin1(QUrl::toPercentEncoding(name.toString())));
    return names.join(u'/');
}
