#pragma once

#include <QString>
#include <QStringView>

// Names and captions as they may stand in an HTML page, and paths as links that lead to them.
class HtmlText
{
public:
    // Text for an element or a quoted attribute: the markup characters as references, and the
    // characters a page may not hold (controls, noncharacters, halves of a surrogate pair) as
    // U+FFFD, so that any file name or caption is shown as text and the page stays valid.
    static QString escaped(QStringView text);

    // A relative path of "/"-separated names as a link: every name percent-encoded as UTF-8,
    // all but letters, digits and "-._~", so that "#", "?", "%", ":" or "&" in a name are
    // part of the name and not of the address.
    static QString link(QStringView path);
};
