// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sync/Collection.h"

#include <functional>
#include <map>

// A calendar collection held in memory, with sync tokens as a server that
// offers sync-collection gives them, and failures on demand.
class MemoryCollection : public roradaza::sync::Collection
{
public:
    using Failure = roradaza::sync::Failure;
    struct Resource
    {
        QByteArray etag;
        QByteArray body;
    };

    std::map<QString, Resource> resources;
    bool tokens = true; // false: every listing is complete, as a server without sync-collection gives
    int requests = 0;
    // Requests still answered before every one fails: either not done at
    // all, or done with its answer lost on the way back. -1: none fails.
    int failAfter = -1;
    bool answerLost = false;
    bool escapes = false; // keeps a new resource at its path with '@' escaped, and lists it so

    // Another client's change, made just before a write reaches this href.
    std::map<QString, std::function<void()>> beforeWrite;

    // Changes by another client; they count as no request of ours.
    void put(const QString &href, const QByteArray &body)
    {
        resources[href] = {"\"e" + QByteArray::number(++m_etags) + '"', body};
        m_changedAt[href] = ++m_sequence;
    }
    void erase(const QString &href)
    {
        resources.erase(href);
        m_changedAt[href] = ++m_sequence;
    }

    roradaza::sync::Changes changesSince(const QByteArray &token) override
    {
        request();
        roradaza::sync::Changes changes;
        bool known = false;
        const quint64 since = token.startsWith("tok-") ? token.mid(4).toULongLong(&known) : 0;
        changes.complete = !tokens || !known || since > m_sequence;
        if (changes.complete) {
            for (const auto &[href, resource] : resources)
                changes.changed.push_back({href, resource.etag});
        } else {
            for (const auto &[href, at] : m_changedAt) {
                if (at <= since)
                    continue;
                if (const auto found = resources.find(href); found != resources.end())
                    changes.changed.push_back({href, found->second.etag});
                else
                    changes.removed.push_back(href);
            }
        }
        if (tokens)
            changes.token = "tok-" + QByteArray::number(m_sequence);
        return answered(std::move(changes));
    }

    std::vector<roradaza::sync::Item> fetch(const std::vector<QString> &hrefs) override
    {
        request();
        std::vector<roradaza::sync::Item> items;
        for (const QString &given : hrefs) {
            const QString href = escapes ? QString(given).replace(u'@', QStringLiteral("%40")) : given;
            if (const auto found = resources.find(href); found != resources.end())
                items.push_back({href, found->second.etag, found->second.body});
        }
        return answered(std::move(items));
    }

    QByteArray create(const QString &given, const QByteArray &body) override
    {
        const QString href = escapes ? QString(given).replace(u'@', QStringLiteral("%40")) : given;
        write(href);
        if (resources.count(href))
            throw Failure(Failure::Kind::PreconditionFailed, QStringLiteral("L'evento è cambiato sul server (412)"));
        put(href, body);
        return answered(resources[href].etag);
    }

    QByteArray update(const QString &href, const QByteArray &body, const QByteArray &etag) override
    {
        write(href);
        const auto found = resources.find(href);
        if (found == resources.end() || found->second.etag != etag)
            throw Failure(Failure::Kind::PreconditionFailed, QStringLiteral("L'evento è cambiato sul server (412)"));
        put(href, body);
        return answered(resources[href].etag);
    }

    void remove(const QString &href, const QByteArray &etag) override
    {
        write(href);
        const auto found = resources.find(href);
        if (found == resources.end()) {
            answered(0);
            return;
        }
        if (found->second.etag != etag)
            throw Failure(Failure::Kind::PreconditionFailed, QStringLiteral("L'evento è cambiato sul server (412)"));
        erase(href);
        answered(0);
    }

    QString hrefFor(const QByteArray &uid) const override
    {
        return QStringLiteral("/calendars/anna/compleanni/") + QString::fromLatin1(uid.toPercentEncoding("@")) +
               QStringLiteral(".ics");
    }

private:
    void request()
    {
        ++requests;
        if (failAfter == 0 && !answerLost)
            throw Failure(Failure::Kind::Unreachable, QStringLiteral("Il server non risponde (connessione rifiutata)"));
    }

    void write(const QString &href)
    {
        request();
        if (const auto change = beforeWrite.find(href); change != beforeWrite.end()) {
            const auto made = std::move(change->second);
            beforeWrite.erase(change);
            made();
        }
    }

    // The answer of a request done: lost when its turn to fail has come.
    template <typename T> T answered(T value)
    {
        if (failAfter == 0)
            throw Failure(Failure::Kind::TimedOut, QStringLiteral("Il server non ha risposto in tempo"));
        if (failAfter > 0)
            --failAfter;
        return value;
    }

    quint64 m_sequence = 0;
    quint64 m_etags = 0;
    std::map<QString, quint64> m_changedAt;
};
