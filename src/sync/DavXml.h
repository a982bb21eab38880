// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>
#include <vector>

// WebDAV answers read without trusting them: any bytes give either the
// responses they hold or a clear refusal, never a crash, and the work stays
// linear in the answer.
namespace roradaza::sync::dav {

inline constexpr auto davNamespace = "DAV:";
inline constexpr auto calDavNamespace = "urn:ietf:params:xml:ns:caldav";

// One property as a propstat gave it.
struct Property
{
    QString ns;
    QString name;
    int status = 0;         // of its propstat; 0 when the line could not be read
    QString text;           // the text inside, outer spaces trimmed (calendar-data is kept whole)
    QStringList hrefs;      // DAV:href elements inside (principals, homes)
    QStringList kinds;      // the names of the empty elements inside, as "ns name" (resourcetype)
    QStringList components; // the name attributes of CalDAV comp elements
};

struct Response
{
    QString href;
    int status = 0; // the response's own status (404: removed), 0 when it has propstats instead
    std::vector<Property> properties;

    const Property *property(const QString &ns, const QString &name) const;
    // The property when its propstat said 200.
    const Property *found(const QString &ns, const QString &name) const;
};

struct Multistatus
{
    std::vector<Response> responses;
    QByteArray syncToken;
};

// Reads a 207 Multi-Status body; nullopt when it is not a well-formed
// multistatus (a cut answer must never pass for a short listing).
std::optional<Multistatus> parseMultistatus(const QByteArray &body);

// "HTTP/1.1 404 Not Found" -> 404; 0 when unreadable.
int statusOfLine(QStringView line);

// An href as one comparable path: the path alone (a full URL loses its
// scheme and host), relative ones taken against base, each segment's
// percent-encoding made uniform ("%7e" and "~", " " and "%20" agree, while an
// encoded '/' stays inside its segment).
QString canonicalPath(const QString &href, const QString &basePath = QStringLiteral("/"));

// Text safe inside an XML element.
QByteArray escaped(const QString &text);

} // namespace roradaza::sync::dav
