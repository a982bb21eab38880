// SPDX-License-Identifier: GPL-3.0-or-later
#include "sync/CalDav.h"

#include "sync/DavClient.h"
#include "sync/DavXml.h"

#include <QCryptographicHash>
#include <QHash>

namespace roradaza::sync {

using namespace dav;

namespace {

const QString davNs = QString::fromLatin1(davNamespace);
const QString calDav = QString::fromLatin1(calDavNamespace);

// A multiget of a few hundred events stays well under a server's body limits.
constexpr std::size_t hrefsPerMultiget = 500;
// Pages of a truncated sync-collection listing followed before giving up.
constexpr int maximumPages = 10000;

Failure badAnswer()
{
    return Failure(Failure::Kind::BadAnswer, QStringLiteral("Il server ha dato una risposta illeggibile"));
}

Multistatus multistatusOf(const Answer &answer)
{
    if (answer.status != 207)
        throw failureForStatus(answer.status, answer.reason);
    std::optional<Multistatus> parsed = parseMultistatus(answer.body);
    if (!parsed)
        throw badAnswer();
    return std::move(*parsed);
}

QString withSlash(QString path)
{
    if (!path.endsWith(u'/'))
        path += u'/';
    return path;
}

// The address an href names, taken against the address it was found at.
QUrl addressOf(const QString &href, const QUrl &at)
{
    const QString trimmed = href.trimmed();
    if (trimmed.startsWith(QLatin1String("https://"), Qt::CaseInsensitive) ||
        trimmed.startsWith(QLatin1String("http://"), Qt::CaseInsensitive)) {
        QUrl url(trimmed);
        url.setPath(canonicalPath(url.path(QUrl::FullyEncoded)), QUrl::TolerantMode);
        return url;
    }
    QUrl url = at;
    url.setQuery(QString());
    url.setFragment(QString());
    url.setPath(canonicalPath(trimmed, at.path(QUrl::FullyEncoded)), QUrl::TolerantMode);
    return url;
}

bool isCalendar(const Response &response)
{
    const Property *type = response.found(davNs, QStringLiteral("resourcetype"));
    return type && type->kinds.contains(calDav + QStringLiteral(" calendar"));
}

bool isCalendarForEvents(const Response &response)
{
    if (!isCalendar(response))
        return false;
    const Property *components = response.found(calDav, QStringLiteral("supported-calendar-component-set"));
    // Without the set a calendar takes every kind.
    return !components || components->components.isEmpty() || components->components.contains(u"VEVENT");
}

QString nameOf(const Response &response, const QUrl &address)
{
    if (const Property *name = response.found(davNs, QStringLiteral("displayname")); name && !name->text.isEmpty())
        return name->text;
    QString path = address.path(QUrl::FullyDecoded);
    while (path.endsWith(u'/'))
        path.chop(1);
    return path.mid(path.lastIndexOf(u'/') + 1);
}

const QByteArray discoveryBody = R"(<?xml version="1.0" encoding="utf-8"?>
<D:propfind xmlns:D="DAV:" xmlns:C="urn:ietf:params:xml:ns:caldav"><D:prop>
<D:resourcetype/><D:displayname/><D:current-user-principal/>
<C:calendar-home-set/><C:supported-calendar-component-set/>
</D:prop></D:propfind>)";

Multistatus propfind(Client &client, const QUrl &url, const char *depth)
{
    return multistatusOf(client.send("PROPFIND", url, discoveryBody, {{"Depth", depth}}));
}

// The response that speaks of the address itself (servers list it first, but not all do).
const Response *responseFor(const Multistatus &answer, const QUrl &url)
{
    const QString path = withSlash(canonicalPath(url.path(QUrl::FullyEncoded)));
    for (const Response &response : answer.responses) {
        if (withSlash(canonicalPath(response.href, path)) == path)
            return &response;
    }
    return answer.responses.size() == 1 ? &answer.responses.front() : nullptr;
}

class CalDavCollection final : public Collection
{
public:
    explicit CalDavCollection(const Account &account) : m_client(account), m_address(account.address)
    {
        m_address.setQuery(QString());
        m_address.setFragment(QString());
        m_path = withSlash(canonicalPath(m_address.path(QUrl::FullyEncoded)));
        m_address.setPath(m_path, QUrl::TolerantMode);
    }

    Changes changesSince(const QByteArray &token) override
    {
        if (m_offersSync) {
            if (std::optional<Changes> changes = syncCollection(token))
                return std::move(*changes);
            m_offersSync = false;
        }
        return completeListing();
    }

    std::vector<Item> fetch(const std::vector<QString> &hrefs) override
    {
        std::vector<Item> items;
        items.reserve(hrefs.size());
        for (std::size_t first = 0; first < hrefs.size(); first += hrefsPerMultiget) {
            QByteArray body = R"(<?xml version="1.0" encoding="utf-8"?>
<C:calendar-multiget xmlns:D="DAV:" xmlns:C="urn:ietf:params:xml:ns:caldav"><D:prop><D:getetag/><C:calendar-data/></D:prop>
)";
            const std::size_t last = std::min(hrefs.size(), first + hrefsPerMultiget);
            for (std::size_t i = first; i < last; ++i)
                body += "<D:href>" + escaped(canonicalPath(hrefs[i], m_path)) + "</D:href>\n";
            body += "</C:calendar-multiget>";
            const Multistatus answer = multistatusOf(m_client.send("REPORT", m_address, body, {{"Depth", "1"}}));
            for (const Response &response : answer.responses) {
                const Property *data = response.found(calDav, QStringLiteral("calendar-data"));
                if (!data || response.href.isEmpty())
                    continue;
                const Property *etag = response.found(davNs, QStringLiteral("getetag"));
                items.push_back(Item{canonicalPath(response.href, m_path), etag ? etag->text.toUtf8() : QByteArray(),
                                     data->text.toUtf8()});
            }
        }
        return items;
    }

    QByteArray create(const QString &href, const QByteArray &body) override
    {
        return put(href, body, {"If-None-Match", "*"});
    }

    QByteArray update(const QString &href, const QByteArray &body, const QByteArray &etag) override
    {
        return put(href, body, {"If-Match", etag.isEmpty() ? QByteArray("*") : etag});
    }

    void remove(const QString &href, const QByteArray &etag) override
    {
        Headers headers;
        if (!etag.isEmpty())
            headers.append({"If-Match", etag});
        const Answer answer = m_client.send("DELETE", urlOf(href), {}, headers);
        // Already gone is what was wanted.
        if ((answer.status >= 200 && answer.status < 300) || answer.status == 404 || answer.status == 410)
            return;
        throw failureForStatus(answer.status, answer.reason);
    }

    QString hrefFor(const QByteArray &uid) const override
    {
        // Servers take an encoded '/' or '\\' for a folder and refuse it, and a
        // leading '.' for a hidden file: such a UID names its resource by its hash.
        const bool unsafe = uid.isEmpty() || uid.startsWith('.') || uid.contains('/') || uid.contains('\\');
        const QByteArray name =
            unsafe ? QCryptographicHash::hash(uid, QCryptographicHash::Sha1).toHex() : uid.toPercentEncoding();
        return canonicalPath(m_path + QString::fromLatin1(name) + QStringLiteral(".ics"));
    }

private:
    QUrl urlOf(const QString &href) const
    {
        QUrl url = m_address;
        url.setPath(canonicalPath(href, m_path), QUrl::TolerantMode);
        return url;
    }

    QByteArray put(const QString &href, const QByteArray &body, const QPair<QByteArray, QByteArray> &condition)
    {
        const Answer answer =
            m_client.send("PUT", urlOf(href), body, {{"Content-Type", "text/calendar; charset=utf-8"}, condition});
        if (answer.status < 200 || answer.status >= 300)
            throw failureForStatus(answer.status, answer.reason);
        // A weak ETag says the server changed what we sent: it cannot guard
        // the next write, so the caller fetches the event instead.
        const QByteArray etag = answer.header("ETag").trimmed();
        return etag.startsWith("W/") ? QByteArray() : etag;
    }

    // A member of the collection (not the collection, nor one inside it).
    bool isMember(const QString &path) const
    {
        return path.startsWith(m_path) && path.size() > m_path.size() && !path.endsWith(u'/');
    }

    // Nothing when the server offers no sync-collection.
    std::optional<Changes> syncCollection(const QByteArray &token)
    {
        Changes changes;
        changes.complete = token.isEmpty();
        QHash<QString, std::size_t> changedAt;
        QHash<QString, std::size_t> removedAt;
        QByteArray from = token;
        for (int page = 0; page < maximumPages; ++page) {
            const QByteArray body =
                R"(<?xml version="1.0" encoding="utf-8"?>
<D:sync-collection xmlns:D="DAV:"><D:sync-token>)" +
                escaped(QString::fromUtf8(from)) +
                R"(</D:sync-token><D:sync-level>1</D:sync-level><D:prop><D:getetag/></D:prop></D:sync-collection>)";
            const Answer answer = m_client.send("REPORT", m_address, body, {{"Depth", "0"}});
            if (answer.status != 207) {
                if (!from.isEmpty() && page == 0 &&
                    (answer.status == 400 || answer.status == 403 || answer.status == 409 || answer.status == 412)) {
                    // The token is too old or from another collection: start over with a complete listing.
                    return syncCollection({});
                }
                if (from.isEmpty() && page == 0 &&
                    (answer.status == 400 || answer.status == 403 || answer.status == 405 || answer.status == 415 ||
                     answer.status == 501))
                    return std::nullopt;
                throw failureForStatus(answer.status, answer.reason);
            }
            const Multistatus listing = multistatusOf(answer);
            bool truncated = false;
            for (const Response &response : listing.responses) {
                const QString path = canonicalPath(response.href, m_path);
                if (!isMember(path)) {
                    // 507 on the collection itself: more follows from the new token.
                    truncated = truncated || (withSlash(path) == m_path && response.status == 507);
                    continue;
                }
                if (response.status == 404) {
                    // A complete listing has nothing to remove: what it does not name is gone.
                    if (changes.complete)
                        continue;
                    if (auto at = changedAt.find(path); at != changedAt.end())
                        changes.changed[*at].href.clear();
                    if (!removedAt.contains(path)) {
                        removedAt.insert(path, changes.removed.size());
                        changes.removed.push_back(path);
                    }
                    continue;
                }
                const Property *etag = response.found(davNs, QStringLiteral("getetag"));
                if (!etag)
                    continue;
                if (auto at = removedAt.find(path); at != removedAt.end()) {
                    changes.removed[*at].clear();
                    removedAt.erase(at);
                }
                if (auto at = changedAt.find(path); at != changedAt.end()) {
                    changes.changed[*at] = ItemTag{path, etag->text.toUtf8()};
                } else {
                    changedAt.insert(path, changes.changed.size());
                    changes.changed.push_back(ItemTag{path, etag->text.toUtf8()});
                }
            }
            const bool moved = !listing.syncToken.isEmpty() && listing.syncToken != from;
            changes.token = listing.syncToken;
            if (!truncated || !moved)
                break;
            from = listing.syncToken;
        }
        std::erase_if(changes.changed, [](const ItemTag &tag) { return tag.href.isEmpty(); });
        std::erase_if(changes.removed, [](const QString &href) { return href.isEmpty(); });
        return changes;
    }

    // Every event with its ETag, for servers without sync-collection.
    Changes completeListing()
    {
        static const QByteArray body = R"(<?xml version="1.0" encoding="utf-8"?>
<C:calendar-query xmlns:D="DAV:" xmlns:C="urn:ietf:params:xml:ns:caldav"><D:prop><D:getetag/></D:prop>
<C:filter><C:comp-filter name="VCALENDAR"><C:comp-filter name="VEVENT"/></C:comp-filter></C:filter></C:calendar-query>)";
        const Multistatus listing = multistatusOf(m_client.send("REPORT", m_address, body, {{"Depth", "1"}}));
        Changes changes;
        changes.complete = true;
        QHash<QString, bool> seen;
        for (const Response &response : listing.responses) {
            const QString path = canonicalPath(response.href, m_path);
            const Property *etag = response.found(davNs, QStringLiteral("getetag"));
            if (!isMember(path) || !etag || seen.contains(path))
                continue;
            seen.insert(path, true);
            changes.changed.push_back(ItemTag{path, etag->text.toUtf8()});
        }
        return changes;
    }

    Client m_client;
    QUrl m_address;
    QString m_path; // canonical, with its trailing slash
    bool m_offersSync = true;
};

} // namespace

std::vector<CalendarInfo> discover(const Account &account)
{
    Client client(account);
    QUrl address = account.address;
    Answer first = client.send("PROPFIND", address, discoveryBody, {{"Depth", "0"}});
    // A server's bare root often is not the WebDAV one: the well-known address leads there.
    if (first.status != 207 && first.status != 401 && address.path(QUrl::FullyDecoded).size() <= 1) {
        QUrl wellKnown = address;
        wellKnown.setPath(QStringLiteral("/.well-known/caldav"));
        Answer second = client.send("PROPFIND", wellKnown, discoveryBody, {{"Depth", "0"}});
        if (second.status == 207) {
            first = std::move(second);
            address = first.url;
        }
    }
    Multistatus answer = multistatusOf(first);
    const Response *self = responseFor(answer, address);
    if (self && isCalendar(*self)) {
        if (!isCalendarForEvents(*self))
            return {};
        QUrl url = address;
        url.setPath(withSlash(canonicalPath(url.path(QUrl::FullyEncoded))), QUrl::TolerantMode);
        return {CalendarInfo{url, nameOf(*self, url)}};
    }

    // Where the user's calendars live: said here, or by the user's principal.
    QUrl home = address;
    const Property *homeSet = self ? self->found(calDav, QStringLiteral("calendar-home-set")) : nullptr;
    const Property *principal = self ? self->found(davNs, QStringLiteral("current-user-principal")) : nullptr;
    if (homeSet && !homeSet->hrefs.isEmpty()) {
        home = addressOf(homeSet->hrefs.first(), address);
    } else if (principal && !principal->hrefs.isEmpty()) {
        const QUrl principalAddress = addressOf(principal->hrefs.first(), address);
        const Multistatus about = propfind(client, principalAddress, "0");
        const Response *user = responseFor(about, principalAddress);
        const Property *set = user ? user->found(calDav, QStringLiteral("calendar-home-set")) : nullptr;
        home = set && !set->hrefs.isEmpty() ? addressOf(set->hrefs.first(), principalAddress) : principalAddress;
    }

    const Multistatus listing = propfind(client, home, "1");
    const QString homePath = withSlash(canonicalPath(home.path(QUrl::FullyEncoded)));
    std::vector<CalendarInfo> calendars;
    for (const Response &response : listing.responses) {
        if (!isCalendarForEvents(response))
            continue;
        QUrl url = addressOf(response.href, home);
        url.setPath(withSlash(url.path(QUrl::FullyEncoded)), QUrl::TolerantMode);
        if (url.host() == home.host() && url.path(QUrl::FullyEncoded) == homePath && url.port() == home.port())
            continue;
        calendars.push_back(CalendarInfo{url, nameOf(response, url)});
    }
    return calendars;
}

std::unique_ptr<Collection> openCollection(const Account &account)
{
    return std::make_unique<CalDavCollection>(account);
}

} // namespace roradaza::sync
