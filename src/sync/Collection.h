// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <stdexcept>
#include <vector>

// The server's side of a sync: one CalDAV calendar collection, one event per
// resource. The sync's own logic sees only this interface, so that it runs
// against a real server and, in its tests, against one held in memory.
namespace roradaza::sync {

// Where the calendar is and who asks. The password lives in memory only.
struct Account
{
    QUrl address; // the collection, or a root the calendars are found under
    QString user;
    QString password;
    // SHA-256 of a certificate the system does not trust but the user
    // accepted, as hex pairs joined by ':' (empty: none accepted).
    QByteArray pinnedFingerprint;
};

// Why a request did not do what was asked. Thrown by a Collection and by
// discovery. A sync stops at the first one and tries again next time.
struct Failure : std::runtime_error
{
    enum class Kind {
        Unreachable,          // no connection (refused, no route, name not found)
        TimedOut,             // no answer in time
        Unauthorized,         // 401: user or password wrong
        Forbidden,            // 403
        NotFound,             // 404 on the collection itself
        InsufficientStorage,  // 507
        PreconditionFailed,   // 412: the resource changed on the server (a conflict, never an overwrite)
        UntrustedCertificate, // TLS: the certificate is not trusted; fingerprint says which
        Insecure,             // http to a host that is not loopback, or a redirect to http
        BadAnswer,            // an answer that cannot be read, or too large
        Other,                // any other status
    };
    Failure(Kind kind, const QString &words, QByteArray fingerprint = {})
        : std::runtime_error(words.toStdString()), kind(kind), words(words), fingerprint(std::move(fingerprint))
    {}
    Kind kind;
    QString words; // Italian, for the user, with the server's answer in it
    QByteArray fingerprint;
};

// A resource as a listing names it.
struct ItemTag
{
    QString href; // the path on the server, as the server wrote it
    QByteArray etag;
};

// A resource with its body (one VCALENDAR with one event).
struct Item
{
    QString href;
    QByteArray etag;
    QByteArray body;
};

// What changed on the server since a sync token.
struct Changes
{
    // True when changed lists every resource of the collection (no token
    // given, the server offers no sync-collection, or it refused the token):
    // a resource known before and not listed is then gone.
    bool complete = false;
    std::vector<ItemTag> changed;
    std::vector<QString> removed;
    QByteArray token; // to give next time; empty when the server has none
};

class Collection
{
public:
    virtual ~Collection() = default;

    // Changes since token (empty: everything).
    virtual Changes changesSince(const QByteArray &token) = 0;
    // The resources asked for, as far as they still exist.
    virtual std::vector<Item> fetch(const std::vector<QString> &hrefs) = 0;
    // A new resource (If-None-Match: *). Gives the new ETag, empty when
    // the server sent none.
    virtual QByteArray create(const QString &href, const QByteArray &body) = 0;
    // Changes a resource only if it is still at etag (If-Match). Gives the new ETag, or empty.
    virtual QByteArray update(const QString &href, const QByteArray &body, const QByteArray &etag) = 0;
    // Deletes a resource only if it is still at etag; one already gone counts as deleted.
    virtual void remove(const QString &href, const QByteArray &etag) = 0;
    // Where a new event with this UID goes: the collection's path and the
    // UID made safe for a path, ending in ".ics".
    virtual QString hrefFor(const QByteArray &uid) const = 0;
};

} // namespace roradaza::sync
