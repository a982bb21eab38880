// SPDX-License-Identifier: GPL-3.0-or-later
#include "sync/DavXml.h"

#include <QXmlStreamReader>

#include <cctype>

namespace roradaza::sync::dav {

namespace {

// Deeper than any WebDAV answer nests; deeper is an attack or garbage.
constexpr int maximumDepth = 64;
// Every response, property and name costs memory: a bound well above a
// listing of 65 535 events with a handful of properties each.
constexpr qsizetype maximumElements = 8 * 1024 * 1024;

bool is(const QXmlStreamReader &xml, const char *ns, QStringView name)
{
    return xml.name() == name && xml.namespaceUri() == QLatin1String(ns);
}

class Reader
{
public:
    explicit Reader(const QByteArray &body) : m_xml(body) {}

    std::optional<Multistatus> read()
    {
        Multistatus result;
        bool seenRoot = false;
        while (next()) {
            if (!m_xml.isStartElement())
                continue;
            if (!seenRoot) {
                if (!is(m_xml, davNamespace, u"multistatus"))
                    return std::nullopt;
                seenRoot = true;
                continue;
            }
            if (m_depth == 2 && is(m_xml, davNamespace, u"response")) {
                Response response;
                if (!readResponse(response))
                    return std::nullopt;
                result.responses.push_back(std::move(response));
            } else if (m_depth == 2 && is(m_xml, davNamespace, u"sync-token")) {
                QString token;
                if (!readText(token))
                    return std::nullopt;
                result.syncToken = token.trimmed().toUtf8();
            } else if (!skip()) {
                return std::nullopt;
            }
        }
        if (m_xml.hasError() || !seenRoot)
            return std::nullopt;
        return result;
    }

private:
    // The next token, with the depth kept and the limits checked.
    bool next()
    {
        if (m_xml.atEnd())
            return false;
        const QXmlStreamReader::TokenType token = m_xml.readNext();
        if (token == QXmlStreamReader::StartElement) {
            if (++m_depth > maximumDepth || ++m_elements > maximumElements) {
                m_xml.raiseError(QStringLiteral("too deep or too large"));
                return false;
            }
        } else if (token == QXmlStreamReader::EndElement) {
            --m_depth;
        } else if (token == QXmlStreamReader::DTD) {
            // No WebDAV answer declares entities; one that does wants something else.
            m_xml.raiseError(QStringLiteral("a DTD"));
            return false;
        } else if (token == QXmlStreamReader::Invalid) {
            return false;
        }
        return true;
    }

    // Leaves the element just started, whatever it holds.
    bool skip()
    {
        const int depth = m_depth;
        while (m_depth >= depth) {
            if (!next())
                return false;
        }
        return true;
    }

    // The text of the element just started, its children's text included.
    bool readText(QString &text)
    {
        const int depth = m_depth;
        while (next()) {
            if (m_depth < depth)
                return true;
            if (m_xml.isCharacters())
                text += m_xml.text();
        }
        return false;
    }

    bool readResponse(Response &response)
    {
        const int depth = m_depth;
        while (next()) {
            if (m_depth < depth)
                return true;
            if (!m_xml.isStartElement())
                continue;
            if (m_depth == depth + 1 && is(m_xml, davNamespace, u"href")) {
                QString href;
                if (!readText(href))
                    return false;
                // Some servers list one resource under several hrefs; the first names it.
                if (response.href.isEmpty())
                    response.href = href.trimmed();
            } else if (m_depth == depth + 1 && is(m_xml, davNamespace, u"status")) {
                QString line;
                if (!readText(line))
                    return false;
                response.status = statusOfLine(line);
            } else if (m_depth == depth + 1 && is(m_xml, davNamespace, u"propstat")) {
                if (!readPropstat(response))
                    return false;
            } else if (!skip()) {
                return false;
            }
        }
        return false;
    }

    bool readPropstat(Response &response)
    {
        const int depth = m_depth;
        std::vector<Property> properties;
        int status = 0;
        while (next()) {
            if (m_depth < depth)
                break;
            if (!m_xml.isStartElement())
                continue;
            if (m_depth == depth + 1 && is(m_xml, davNamespace, u"prop")) {
                if (!readProp(properties))
                    return false;
            } else if (m_depth == depth + 1 && is(m_xml, davNamespace, u"status")) {
                QString line;
                if (!readText(line))
                    return false;
                status = statusOfLine(line);
            } else if (!skip()) {
                return false;
            }
        }
        if (m_depth >= depth)
            return false;
        // The status may come after the properties it is about.
        for (Property &property : properties) {
            property.status = status;
            response.properties.push_back(std::move(property));
        }
        return true;
    }

    bool readProp(std::vector<Property> &properties)
    {
        const int depth = m_depth;
        while (next()) {
            if (m_depth < depth)
                return true;
            if (m_xml.isStartElement() && m_depth == depth + 1) {
                Property property;
                property.ns = m_xml.namespaceUri().toString();
                property.name = m_xml.name().toString();
                if (!readProperty(property))
                    return false;
                properties.push_back(std::move(property));
            }
        }
        return false;
    }

    bool readProperty(Property &property)
    {
        const int depth = m_depth;
        const bool keepWhole = property.name == u"calendar-data";
        while (next()) {
            if (m_depth < depth) {
                if (!keepWhole)
                    property.text = property.text.trimmed();
                return true;
            }
            if (m_xml.isCharacters()) {
                property.text += m_xml.text();
            } else if (m_xml.isStartElement()) {
                if (is(m_xml, davNamespace, u"href")) {
                    QString href;
                    if (!readText(href))
                        return false;
                    property.hrefs << href.trimmed();
                } else if (is(m_xml, calDavNamespace, u"comp")) {
                    property.components << m_xml.attributes().value(QLatin1String("name")).toString().toUpper();
                } else if (m_depth == depth + 1) {
                    property.kinds << m_xml.namespaceUri().toString() + u' ' + m_xml.name().toString();
                }
            }
        }
        return false;
    }

    QXmlStreamReader m_xml;
    int m_depth = 0;
    qsizetype m_elements = 0;
};

bool isUnreserved(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

} // namespace

const Property *Response::property(const QString &ns, const QString &name) const
{
    for (const Property &p : properties) {
        if (p.ns == ns && p.name == name)
            return &p;
    }
    return nullptr;
}

const Property *Response::found(const QString &ns, const QString &name) const
{
    for (const Property &p : properties) {
        if (p.ns == ns && p.name == name && p.status >= 200 && p.status < 300)
            return &p;
    }
    return nullptr;
}

std::optional<Multistatus> parseMultistatus(const QByteArray &body)
{
    return Reader(body).read();
}

int statusOfLine(QStringView line)
{
    // "HTTP/1.1 200 OK": the three digits after the first space.
    line = line.trimmed();
    const qsizetype space = line.indexOf(u' ');
    if (space < 0 || line.size() < space + 4)
        return 0;
    int status = 0;
    for (qsizetype i = space + 1; i < space + 4; ++i) {
        const QChar c = line[i];
        if (c < u'0' || c > u'9')
            return 0;
        status = status * 10 + (c.unicode() - u'0');
    }
    if (line.size() > space + 4 && line[space + 4] != u' ')
        return 0;
    return status;
}

QString canonicalPath(const QString &href, const QString &basePath)
{
    QString path = href.trimmed();
    // A full URL: keep what follows the host.
    const qsizetype scheme = path.indexOf(QLatin1String("://"));
    if (scheme > 0 && path.left(scheme).indexOf(u'/') < 0) {
        const qsizetype slash = path.indexOf(u'/', scheme + 3);
        path = slash < 0 ? QStringLiteral("/") : path.mid(slash);
    }
    const qsizetype end = path.indexOf(u'?');
    if (end >= 0)
        path.truncate(end);
    const qsizetype fragment = path.indexOf(u'#');
    if (fragment >= 0)
        path.truncate(fragment);
    if (!path.startsWith(u'/')) {
        QString base = basePath;
        if (!base.endsWith(u'/'))
            base.truncate(base.lastIndexOf(u'/') + 1);
        path = base + path;
    }

    QByteArray out;
    out.reserve(path.size() + 16);
    const QByteArray bytes = path.toUtf8();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        char c = bytes[i];
        if (c == '%' && i + 2 < bytes.size() && isxdigit(uchar(bytes[i + 1])) && isxdigit(uchar(bytes[i + 2]))) {
            c = char(QByteArray::fromHex(bytes.mid(i + 1, 2)).at(0));
            i += 2;
            if (c == '/') {
                out += "%2F";
                continue;
            }
        } else if (c == '/') {
            out += '/';
            continue;
        }
        if (isUnreserved(c) || QByteArrayView("!$&'()*+,;=:@").contains(c)) {
            out += c;
        } else {
            static const char hex[] = "0123456789ABCDEF";
            out += '%';
            out += hex[uchar(c) >> 4];
            out += hex[uchar(c) & 15];
        }
    }
    // "." and ".." segments are not resolved: a server that writes them is not one to guess for.
    return QString::fromLatin1(out);
}

QByteArray escaped(const QString &text)
{
    return text.toHtmlEscaped().toUtf8();
}

} // namespace roradaza::sync::dav
