#include "XmpPacket.h"

#include <QXmlStreamReader>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString RdfNs = u"http://www.w3.org/1999/02/22-rdf-syntax-ns#"_s;
const QString DcNs = u"http://purl.org/dc/elements/1.1/"_s;
const QString MetaNs = u"adobe:ns:meta/"_s;
const QString XmlNs = u"http://www.w3.org/XML/1998/namespace"_s;

// A carriage return would come back as a line feed if written as it is.
QString escaped(const QString &text)
{
    return text.toHtmlEscaped().replace(u'\r', u"&#13;"_s);
}

QString languageAlternative(const QString &name, const QString &text)
{
    return u"<dc:%1><rdf:Alt><rdf:li xml:lang=\"x-default\">%2</rdf:li></rdf:Alt></dc:%1>"_s.arg(
        name, escaped(text));
}

} // namespace

std::optional<XmpPacket::Fields> XmpPacket::read(QByteArrayView packet)
{
    Fields fields;
    QXmlStreamReader xml(packet.toByteArray());
    // The Dublin Core property being read, the text of its value so far and that value's
    // language.
    QString property;
    QString text;
    QString language;
    bool defaultLanguageSeen = false;
    int depth = 0;
    int propertyDepth = 0;
    auto take = [&] {
        if (text.trimmed().isEmpty())
            return;
        if (property == u"creator"_s) {
            fields.creators.append(text);
        } else {
            QString &field = property == u"title"_s    ? fields.title
                             : property == u"rights"_s ? fields.rights
                                                       : fields.description;
            // Of several languages, the default one, else the first.
            if (language == u"x-default"_s && !defaultLanguageSeen) {
                field = text;
                defaultLanguageSeen = true;
            } else if (field.isEmpty()) {
                field = text;
            }
        }
        text.clear();
    };
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::StartElement: {
            ++depth;
            if (!property.isEmpty()) {
                text.clear();
                language = xml.attributes().value(XmlNs, u"lang"_s).toString();
                break;
            }
            const QStringView ns = xml.namespaceUri();
            const QStringView name = xml.name();
            if (ns == DcNs && (name == u"title"_s || name == u"creator"_s || name == u"rights"_s ||
                               name == u"description"_s)) {
                property = name.toString();
                propertyDepth = depth;
                defaultLanguageSeen = false;
                text.clear();
                language.clear();
            } else if (ns != RdfNs && ns != MetaNs) {
                fields.more = true;
            }
            // Properties may also be written as attributes of a description.
            for (const QXmlStreamAttribute &attribute : xml.attributes()) {
                const QStringView attributeNs = attribute.namespaceUri();
                if (!attributeNs.isEmpty() && attributeNs != RdfNs && attributeNs != MetaNs &&
                    attributeNs != XmlNs)
                    fields.more = true;
            }
            break;
        }
        case QXmlStreamReader::Characters:
            if (!property.isEmpty())
                text += xml.text();
            break;
        case QXmlStreamReader::EndElement:
            if (!property.isEmpty())
                take();
            if (depth == propertyDepth)
                property.clear();
            --depth;
            break;
        default:
            break;
        }
    }
    if (xml.hasError())
        return std::nullopt;
    return fields;
}

QByteArray XmpPacket::write(const Fields &fields)
{
    QString body;
    if (!fields.title.isEmpty())
        body += languageAlternative(u"title"_s, fields.title);
    if (!fields.creators.isEmpty()) {
        body += u"<dc:creator><rdf:Seq>"_s;
        for (const QString &creator : fields.creators)
            body += u"<rdf:li>"_s + escaped(creator) + u"</rdf:li>"_s;
        body += u"</rdf:Seq></dc:creator>"_s;
    }
    if (!fields.rights.isEmpty())
        body += languageAlternative(u"rights"_s, fields.rights);
    if (!fields.description.isEmpty())
        body += languageAlternative(u"description"_s, fields.description);
    if (body.isEmpty())
        return QByteArray();
    const QString packet = u"<?xpacket begin=\"\uFEFF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>"
                           u"<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF xmlns:rdf=\"%1\">"
                           u"<rdf:Description rdf:about=\"\" xmlns:dc=\"%2\">%3</rdf:Description>"
                           u"</rdf:RDF></x:xmpmeta><?xpacket end=\"r\"?>"_s.arg(RdfNs, DcNs, body);
    return packet.toUtf8();
}
