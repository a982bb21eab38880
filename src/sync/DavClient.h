// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sync/Collection.h"

#include <QByteArray>
#include <QList>
#include <QNetworkAccessManager>
#include <QPair>
#include <QUrl>

// HTTP for the sync: one request at a time, each waiting in a local event
// loop, made and answered in the thread that owns the client.
namespace roradaza::sync::dav {

// An answer is never trusted to be small: beyond this it is refused. A
// multiget of 65 535 events is some 40 MiB.
inline constexpr qint64 maximumAnswerBytes = qint64(256) * 1024 * 1024;

struct Answer
{
    int status = 0;
    QByteArray reason;
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;
    QUrl url; // where the answer came from, after redirects

    QByteArray header(const QByteArray &name) const;
};

using Headers = QList<QPair<QByteArray, QByteArray>>;

class Client
{
public:
    // Throws Failure(Insecure) for an address that would send the password
    // in clear over a network.
    explicit Client(Account account);

    // One request; follows redirects that stay as safe. Any HTTP status is
    // returned; no connection, no answer in time, an untrusted certificate,
    // a redirect to http or an answer too large throw Failure.
    Answer send(const QByteArray &method, const QUrl &url, const QByteArray &body = {}, const Headers &headers = {});

    const Account &account() const { return m_account; }

private:
    Answer sendOnce(const QByteArray &method, const QUrl &url, const QByteArray &body, const Headers &headers);

    Account m_account;
    QNetworkAccessManager m_network;
};

// Whether the address may be used without TLS: this computer only.
bool isLoopback(const QUrl &url);
// Refuses an address that is not https (or http to this computer). Throws Failure.
void requireSafe(const QUrl &url);

// The Failure for an HTTP status that ends the request, in the user's words.
Failure failureForStatus(int status, const QByteArray &reason);

} // namespace roradaza::sync::dav
