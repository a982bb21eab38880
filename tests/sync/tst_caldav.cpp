// SPDX-License-Identifier: GPL-3.0-or-later
// CalDAV against a real Radicale (started by tests/sync/radicale.py), with its
// proxy for the answers Radicale never gives, and recorded answers of other
// servers where only their spelling differs.

#include "sync/CalDav.h"
#include "sync/DavXml.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <algorithm>

using namespace roradaza::sync;
using Kind = Failure::Kind;

namespace {

// One fixture process: a Radicale with its proxy, driven a line at a time.
class Server
{
public:
    bool start(bool tls)
    {
        QStringList arguments{QStringLiteral(RORADAZA_RADICALE_FIXTURE),
                              QStringLiteral("--user"),
                              QStringLiteral("anna:segreta"),
                              QStringLiteral("--user"),
                              QStringLiteral("bruno:altra"),
                              QStringLiteral("--user"),
                              QStringLiteral("carla:terza")};
        if (tls)
            arguments << QStringLiteral("--tls");
        m_process.start(QStringLiteral(RORADAZA_PYTHON), arguments);
        const QJsonObject info = line();
        url = QUrl(info.value(u"url").toString());
        proxy = QUrl(info.value(u"proxy").toString());
        fingerprint = info.value(u"fingerprint").toString().toLatin1();
        return url.isValid() && !url.isEmpty();
    }

    ~Server()
    {
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(15000))
            m_process.kill();
    }

    QJsonObject command(const QString &text)
    {
        m_process.write(text.toUtf8() + '\n');
        const QJsonObject answer = line();
        if (!answer.value(u"ok").toBool())
            qWarning() << text << answer;
        return answer;
    }

    QUrl at(const QString &path, bool throughProxy = false) const
    {
        QUrl address = throughProxy ? proxy : url;
        address.setPath(path);
        return address;
    }

    QUrl url;
    QUrl proxy;
    QByteArray fingerprint;

private:
    QJsonObject line()
    {
        while (!m_process.canReadLine()) {
            if (!m_process.waitForReadyRead(120000))
                return {};
        }
        return QJsonDocument::fromJson(m_process.readLine()).object();
    }

    QProcess m_process;
};

QByteArray eventBody(const QByteArray &uid, const QByteArray &summary)
{
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Roradaza tests//IT\r\nBEGIN:VEVENT\r\nUID:" + uid +
           "\r\nDTSTAMP:20260101T000000Z\r\nDTSTART;VALUE=DATE:20260315\r\nRRULE:FREQ=YEARLY\r\nSUMMARY:" + summary +
           "\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
}

QString lastPart(const QString &href)
{
    return QUrl::fromPercentEncoding(href.mid(href.lastIndexOf(u'/') + 1).toUtf8());
}

QStringList sortedNames(const std::vector<ItemTag> &tags)
{
    QStringList names;
    for (const ItemTag &tag : tags)
        names << lastPart(tag.href);
    names.sort();
    return names;
}

QStringList sortedNames(const std::vector<QString> &hrefs)
{
    QStringList names;
    for (const QString &href : hrefs)
        names << lastPart(href);
    names.sort();
    return names;
}

} // namespace

class TestCalDav : public QObject
{
    Q_OBJECT

    Server m_plain;
    Server m_tls;

    Account account(const QUrl &address, const QByteArray &pinned = {}) const
    {
        Account a;
        a.address = address;
        a.user = QStringLiteral("anna");
        a.password = QStringLiteral("segreta");
        a.pinnedFingerprint = pinned;
        a.timeoutSeconds = 20;
        return a;
    }

    Server &server(const QString &name) { return name.startsWith(u"tls") ? m_tls : m_plain; }

private slots:
    void initTestCase()
    {
        QVERIFY(m_plain.start(false));
        QVERIFY(m_tls.start(true));
        for (Server *s : {&m_plain, &m_tls}) {
            s->command(QStringLiteral("calendar carla compleanni"));
            s->command(QStringLiteral("calendar carla lavoro VEVENT VTODO"));
            s->command(QStringLiteral("calendar carla compiti VTODO"));
            s->command(QStringLiteral("calendar bruno privato"));
            s->command(QStringLiteral("calendar anna compleanni"));
        }
    }

    void discovery_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QStringList>("expected");
        const QStringList both{u"compleanni /carla/compleanni/"_qs, u"lavoro /carla/lavoro/"_qs};
        const QStringList first{both.first()}, second{both.last()};
        const std::tuple<const char *, const char *, const char *, QStringList> rows[] = {
            {"the server's root", "plain", "/", both},
            {"the user's principal", "plain", "/carla/", both},
            {"a calendar", "plain", "/carla/compleanni/", first},
            {"a calendar without its slash", "plain", "/carla/lavoro", second},
            {"a calendar of tasks only", "plain", "/carla/compiti/", {}},
            {"the root over TLS, its certificate accepted", "tls", "/", both},
            // A root that is not the WebDAV one (Nextcloud's) leads on through /.well-known/caldav.
            {"a root that is only a web page", "plain, root refused", "/", both},
        };
        for (const auto &[tag, server, path, expected] : rows)
            QTest::newRow(tag) << QString(server) << QString(path) << expected;
    }

    void discovery()
    {
        QFETCH(QString, server);
        QFETCH(QString, path);
        QFETCH(QStringList, expected);
        Server &s = this->server(server);
        const bool refused = server.endsWith(u"root refused");
        if (refused)
            s.command(QStringLiteral("fail-once 404 PROPFIND"));
        Account carla = account(s.at(path, refused), s.fingerprint);
        carla.user = QStringLiteral("carla");
        carla.password = QStringLiteral("terza");
        QStringList found;
        for (const CalendarInfo &calendar : discover(carla)) {
            QCOMPARE(calendar.address.host(), s.url.host());
            found << calendar.name + u' ' + calendar.address.path();
        }
        found.sort();
        QCOMPARE(found, expected);
    }

    void failures_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("address"); // a path on the server, or a whole address
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("pinned"); // "right", "wrong" or none
        QTest::addColumn<QString>("proxy");  // a command for the proxy, the address then goes through it
        QTest::addColumn<QString>("operation");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("words");

        struct Row
        {
            const char *tag, *server, *address, *password, *pinned, *proxy, *operation;
            Kind kind;
            const char *words;
        };
        const Row rows[] = {
            {"wrong password", "plain", "/anna/", "sbagliata", "", "", "discover", Kind::Unauthorized,
             "Nome utente o password rifiutati dal server (401)"},
            {"no such calendar", "plain", "/anna/nessuno/", "segreta", "", "", "changes", Kind::NotFound,
             "Calendario non trovato sul server (404)"},
            {"another user's calendar", "plain", "/bruno/privato/", "segreta", "", "", "changes", Kind::Forbidden,
             "Accesso negato dal server (403)"},
            {"http to another machine", "plain", "http://192.0.2.7/anna/compleanni/", "segreta", "", "", "changes",
             Kind::Insecure, "https://"},
            {"not a web address", "plain", "ftp://127.0.0.1/anna/", "segreta", "", "", "discover", Kind::Insecure,
             "non è valido"},
            {"nobody listening", "plain", "http://127.0.0.1:1/anna/", "segreta", "", "", "discover", Kind::Unreachable,
             "Il server non risponde (connessione rifiutata)"},
            // http is fine on this computer: these get as far as asking.
            {"http to ::1", "plain", "http://[::1]:1/anna/", "segreta", "", "", "discover", Kind::Unreachable,
             "Il server non risponde ("},
            {"http to localhost", "plain", "http://localhost:1/anna/", "segreta", "", "", "discover", Kind::Unreachable,
             "Il server non risponde ("},
            {"certificate not trusted", "tls", "/anna/", "segreta", "", "", "discover", Kind::UntrustedCertificate,
             "impronta SHA-256"},
            {"another certificate accepted", "tls", "/anna/", "segreta", "wrong", "", "discover",
             Kind::UntrustedCertificate, "impronta SHA-256"},
            {"507 on a new event", "plain", "/anna/compleanni/", "segreta", "", "fail 507 PUT", "create",
             Kind::InsufficientStorage, "Il server non ha più spazio (507)"},
            {"507 over TLS", "tls", "/anna/compleanni/", "segreta", "right", "fail 507 PUT", "create",
             Kind::InsufficientStorage, "(507)"},
            {"the server stopped", "plain", "/anna/compleanni/", "segreta", "", "stop", "changes", Kind::Unreachable,
             "Il server non risponde (connessione chiusa"},
            {"a slow answer", "plain", "/anna/compleanni/", "segreta", "", "delay 4 REPORT", "changes", Kind::TimedOut,
             "Il server non ha risposto in tempo"},
            {"a redirect to http", "tls", "/anna/compleanni/", "segreta", "right", "redirect", "changes",
             Kind::Insecure, "non protetto (http:"},
            {"a server error", "plain", "/anna/compleanni/", "segreta", "", "fail 500 REPORT", "changes", Kind::Other,
             "(500 Internal Server Error)"},
            {"a listing cut short", "plain", "/anna/compleanni/", "segreta", "",
             "answer 207 " RORADAZA_TEST_DATA "/sync/cut.xml REPORT", "changes", Kind::BadAnswer, "illeggibile"},
            {"a changed event written over (412)", "plain", "/anna/compleanni/", "segreta", "", "", "stale update",
             Kind::PreconditionFailed, "(412)"},
            {"an existing event made anew (412)", "plain", "/anna/compleanni/", "segreta", "", "", "create twice",
             Kind::PreconditionFailed, "(412)"},
            {"a changed event deleted (412)", "tls", "/anna/compleanni/", "segreta", "right", "", "stale remove",
             Kind::PreconditionFailed, "(412)"},
        };
        for (const Row &r : rows) {
            QTest::newRow(r.tag) << r.server << r.address << r.password << r.pinned << r.proxy << r.operation
                                 << int(r.kind) << r.words;
        }
    }

    void failures()
    {
        QFETCH(QString, server);
        QFETCH(QString, address);
        QFETCH(QString, password);
        QFETCH(QString, pinned);
        QFETCH(QString, proxy);
        QFETCH(QString, operation);
        QFETCH(int, kind);
        QFETCH(QString, words);
        Server &s = this->server(server);
        if (!proxy.isEmpty()) {
            if (proxy == u"redirect")
                proxy += u' ' + m_plain.url.toString();
            s.command(proxy);
        }
        const QUrl url = address.startsWith(u'/') ? s.at(address, !proxy.isEmpty()) : QUrl(address);
        Account a = account(url, pinned == u"right" ? s.fingerprint : pinned == u"wrong" ? QByteArray(64, 'A') : "");
        a.password = password;
        a.timeoutSeconds = 1;
        const QByteArray uid = QTest::currentDataTag();

        try {
            if (operation == u"discover") {
                discover(a);
            } else {
                std::unique_ptr<Collection> collection = openCollection(a);
                const QString href = collection->hrefFor(uid);
                if (operation == u"changes") {
                    collection->changesSince({});
                } else if (operation == u"create") {
                    collection->create(href, eventBody(uid, "Nuovo"));
                } else if (operation == u"create twice") {
                    collection->create(href, eventBody(uid, "Primo"));
                    collection->create(href, eventBody(uid, "Secondo"));
                } else {
                    const QByteArray etag = collection->create(href, eventBody(uid, "Primo"));
                    QVERIFY(!etag.isEmpty());
                    collection->update(href, eventBody(uid, "Cambiato altrove"), etag);
                    if (operation == u"stale update")
                        collection->update(href, eventBody(uid, "Cambiato qui"), etag);
                    else
                        collection->remove(href, etag);
                }
            }
            s.command(proxy == u"stop" ? QStringLiteral("start") : QStringLiteral("clear"));
            QFAIL("no failure");
        } catch (const Failure &failure) {
            s.command(proxy == u"stop" ? QStringLiteral("start") : QStringLiteral("clear"));
            QCOMPARE(int(failure.kind), kind);
            QVERIFY2(failure.words.contains(words), qPrintable(failure.words));
            if (failure.kind == Kind::UntrustedCertificate) {
                QCOMPARE(failure.fingerprint, s.fingerprint);
                QVERIFY(failure.words.contains(QString::fromLatin1(s.fingerprint)));
            }
        }
    }

    // What a sync sees after one event changed, one went and one came, for
    // each way of asking.
    void changes_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("token"); // "last" (the one given before the changes), "refused" or none
        QTest::addColumn<QString>("proxy");
        QTest::addColumn<bool>("complete");
        QTest::addColumn<QStringList>("changed");
        QTest::addColumn<QStringList>("removed");
        const QStringList all{u"a b.ics"_qs, u"città.ics"_qs, u"nuovo.ics"_qs};
        const QStringList changed{u"a b.ics"_qs, u"nuovo.ics"_qs}, removed{u"tolto.ics"_qs};
        const std::tuple<const char *, const char *, const char *, const char *, bool, QStringList, QStringList>
            rows[] = {
                {"no token: every event", "plain", "", "", true, all, {}},
                {"the last token: exactly the changes", "plain", "last", "", false, changed, removed},
                {"the last token over TLS", "tls", "last", "", false, changed, removed},
                {"a token the server refuses: every event", "plain", "refused", "", true, all, {}},
                {"a server without sync-collection: every event",
                 "plain",
                 "",
                 "answer-once 403 " RORADAZA_TEST_DATA "/sync/no-sync-report.xml REPORT",
                 true,
                 all,
                 {}},
            };
        for (const auto &[tag, server, token, proxy, complete, changed, removed] : rows)
            QTest::newRow(tag) << QString(server) << QString(token) << QString(proxy) << complete << changed << removed;
    }

    void changes()
    {
        QFETCH(QString, server);
        QFETCH(QString, token);
        QFETCH(QString, proxy);
        QFETCH(bool, complete);
        QFETCH(QStringList, changed);
        QFETCH(QStringList, removed);
        Server &s = this->server(server);
        const QString name = QStringLiteral("cambi%1").arg(QTest::currentDataTag()).remove(u' ').remove(u':');
        const QUrl url(s.command(QStringLiteral("calendar anna ") + name).value(u"url").toString());
        std::unique_ptr<Collection> collection = openCollection(account(url, s.fingerprint));

        std::map<QByteArray, QByteArray> etags;
        for (const QByteArray uid : {"a b", "città", "tolto"})
            etags[uid] = collection->create(collection->hrefFor(uid), eventBody(uid, "Prima"));
        const Changes before = collection->changesSince({});
        QVERIFY(!before.token.isEmpty());
        QCOMPARE(before.changed.size(), 3u);
        collection->update(collection->hrefFor("a b"), eventBody("a b", "Dopo"), etags["a b"]);
        collection->remove(collection->hrefFor("tolto"), etags["tolto"]);
        collection->create(collection->hrefFor("nuovo"), eventBody("nuovo", "Nuovo"));

        if (!proxy.isEmpty()) {
            s.command(proxy);
            collection = openCollection(account(s.at(url.path(), true), s.fingerprint));
        }
        const QByteArray from = token == u"last"      ? before.token
                                : token == u"refused" ? QByteArray("http://radicale.org/ns/sync/sconosciuto")
                                                      : QByteArray();
        const Changes after = collection->changesSince(from);
        s.command(QStringLiteral("clear"));
        QCOMPARE(after.complete, complete);
        QCOMPARE(sortedNames(after.changed), changed);
        QCOMPARE(sortedNames(after.removed), removed);
        // Each listed ETag is the one the event has now.
        const std::vector<Item> items = collection->fetch({collection->hrefFor("a b")});
        QCOMPARE(items.size(), 1u);
        QVERIFY(items[0].body.contains("SUMMARY:Dopo"));
        const auto listed = std::find_if(after.changed.begin(), after.changed.end(),
                                         [&](const ItemTag &tag) { return tag.href == items[0].href; });
        QVERIFY(listed != after.changed.end());
        QCOMPARE(listed->etag, items[0].etag);
        // And the next token, with nothing changed since, lists nothing.
        if (!after.token.isEmpty() && proxy.isEmpty()) {
            const Changes none = collection->changesSince(after.token);
            QVERIFY(none.changed.empty() && none.removed.empty() && !none.complete);
        }
    }

    // Other servers' spellings of a sync-collection answer, page by page.
    void recorded_data()
    {
        QTest::addColumn<QStringList>("pages");
        QTest::addColumn<QStringList>("changed"); // href etag
        QTest::addColumn<QStringList>("removed");
        QTest::addColumn<QByteArray>("token");
        QTest::newRow("Nextcloud") << QStringList{QStringLiteral("nextcloud-sync.xml")}
                                   << QStringList{QStringLiteral("/anna/registrati/Compleanno%20di%20Niccol%C3%B2.ics "
                                                                 "\"5c1e0f4e2b8c1\""),
                                                  QStringLiteral("/anna/registrati/palestra.ics \"77b0d3a91\"")}
                                   << QStringList{QStringLiteral("/anna/registrati/vecchio.ics")}
                                   << QByteArray("http://sabre.io/ns/sync/118");
        QTest::newRow("iCloud") << QStringList{QStringLiteral("icloud-sync.xml")}
                                << QStringList{QStringLiteral(
                                       "/anna/registrati/9F3C2A41-77D0-4E25-A5B4-3C2A9E1D0B11.ics \"mk1dxa3u\"")}
                                << QStringList{QStringLiteral("/anna/registrati/~bozza.ics")}
                                << QByteArray("HwoQEgwAAB4Ga2DpAAAAAAAAAAEYAhgAIhUI5ZqW6pXp7N0BEPvw");
        QTest::newRow("Google, in two pages")
            << QStringList{QStringLiteral("google-page1.xml"), QStringLiteral("google-page2.xml")}
            << QStringList{QStringLiteral("/anna/registrati/uno@google.com.ics \"63800000000000\""),
                           QStringLiteral("/anna/registrati/tre@google.com.ics \"63800000000002\"")}
            << QStringList{QStringLiteral("/anna/registrati/due@google.com.ics")}
            << QByteArray("https://www.google.com/calendar/dav/anna/events/sync/fine");
    }

    void recorded()
    {
        QFETCH(QStringList, pages);
        QFETCH(QStringList, changed);
        QFETCH(QStringList, removed);
        QFETCH(QByteArray, token);
        for (const QString &page : pages)
            m_plain.command(QStringLiteral("answer-once 207 " RORADAZA_TEST_DATA "/sync/") + page +
                            QStringLiteral(" REPORT"));
        std::unique_ptr<Collection> collection = openCollection(account(m_plain.at(u"/anna/registrati/"_qs, true)));
        const Changes changes = collection->changesSince("dal-giro-prima");
        m_plain.command(QStringLiteral("clear"));
        QStringList got;
        for (const ItemTag &tag : changes.changed)
            got << tag.href + u' ' + QString::fromUtf8(tag.etag);
        QCOMPARE(got, changed);
        QCOMPARE(QStringList(changes.removed.begin(), changes.removed.end()), removed);
        QCOMPARE(changes.token, token);
        QVERIFY(!changes.complete);
    }

    // More events than one multiget asks for; hrefs and ETags agree with the listing.
    void fetchMany()
    {
        m_plain.command(QStringLiteral("fill anna molti 1100"));
        std::unique_ptr<Collection> collection = openCollection(account(m_plain.at(u"/anna/molti/"_qs)));
        const Changes listing = collection->changesSince({});
        QCOMPARE(listing.changed.size(), 1100u);
        std::vector<QString> hrefs;
        std::map<QString, QByteArray> etags;
        for (const ItemTag &tag : listing.changed) {
            hrefs.push_back(tag.href);
            etags[tag.href] = tag.etag;
        }
        hrefs.push_back(collection->hrefFor("mai-esistito"));
        const std::vector<Item> items = collection->fetch(hrefs);
        QCOMPARE(items.size(), 1100u);
        for (const Item &item : items) {
            QCOMPARE(item.etag, etags.at(item.href));
            QVERIFY(item.body.contains("UID:evento-"));
        }
    }

    void canonicalPath_data()
    {
        QTest::addColumn<QString>("href");
        QTest::addColumn<QString>("expected");
        const std::pair<const char *, const char *> rows[] = {
            {"/anna/c/uno.ics", "/anna/c/uno.ics"},                             // as it is
            {"https://dav.example.org:8443/anna/c/uno.ics", "/anna/c/uno.ics"}, // a full address
            {"uno.ics", "/anna/c/uno.ics"},                                     // relative to the collection
            {"/anna/c/%75no%7e.ics", "/anna/c/uno~.ics"},                       // encoded letters
            {"/anna/c/a%c3%a8.ics", "/anna/c/a%C3%A8.ics"},                     // lower-case hex
            {"/anna/c/a è.ics", "/anna/c/a%20%C3%A8.ics"},                      // raw UTF-8 and a space
            {"/anna/c/x%40y.ics", "/anna/c/x@y.ics"},                           // @ either way
            {"/anna/c/a%2fb.ics", "/anna/c/a%2Fb.ics"},                         // an encoded slash stays
            {"/anna/c/100%.ics", "/anna/c/100%25.ics"},                         // a lone percent
            {"/anna/c/uno.ics?x=1#y", "/anna/c/uno.ics"},                       // query and fragment dropped
        };
        for (const auto &[href, expected] : rows)
            QTest::newRow(href) << QString::fromUtf8(href) << QString(expected);
    }

    void canonicalPath()
    {
        QFETCH(QString, href);
        QFETCH(QString, expected);
        QCOMPARE(dav::canonicalPath(href, QStringLiteral("/anna/c/")), expected);
        QCOMPARE(dav::canonicalPath(expected, QStringLiteral("/anna/c/")), expected);
    }

    void parse_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("responses"); // -1: refused
        QTest::newRow("empty") << QByteArray() << -1;
        QTest::newRow("not XML") << QByteArray("<html><body>502 Bad Gateway") << -1;
        QTest::newRow("another root") << QByteArray("<D:error xmlns:D=\"DAV:\"/>") << -1;
        QTest::newRow("multistatus without the DAV namespace")
            << QByteArray("<multistatus><response/></multistatus>") << -1;
        QTest::newRow("an empty listing") << QByteArray("<multistatus xmlns=\"DAV:\"/>") << 0;
        QTest::newRow("unknown elements around")
            << QByteArray("<m:multistatus xmlns:m=\"DAV:\" xmlns:x=\"urn:x\"><x:a><m:response/></x:a>"
                          "<m:response><x:b><x:c/></x:b><m:href>/a</m:href></m:response></m:multistatus>")
            << 1;
        QTest::newRow("nested past any real answer")
            << "<multistatus xmlns=\"DAV:\"><response>" + QByteArray("<a>").repeated(100) +
                   QByteArray("</a>").repeated(100) + "</response></multistatus>"
            << -1;
        QTest::newRow("an entity expansion") << QByteArray("<!DOCTYPE m [<!ENTITY e \"xxxxxxxx\">]>"
                                                           "<multistatus xmlns=\"DAV:\"><response><href>&e;&e;</href>"
                                                           "</response></multistatus>")
                                             << -1;
    }

    void parse()
    {
        QFETCH(QByteArray, body);
        QFETCH(int, responses);
        const std::optional<dav::Multistatus> parsed = dav::parseMultistatus(body);
        QCOMPARE(parsed ? int(parsed->responses.size()) : -1, responses);
    }

    // Create, read back, change, delete: the ETags follow each step. Names
    // with spaces and accents go through as they are.
    void roundTrip_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<bool>("throughProxy");
        QTest::addColumn<QByteArray>("uid");
        QTest::newRow("http on this computer") << "plain" << false << QByteArray("compleanno-1");
        QTest::newRow("TLS, the certificate accepted") << "tls" << false << QByteArray("Compleanno di Niccolò");
        QTest::newRow("a UID with slashes") << "plain" << false << QByteArray("evento/2026/03");
        QTest::newRow("through a proxy") << "tls" << true
                                         << QByteArray("d2c1e7a0-0b7e-4b8e-9a57-1f1d1e0c0a01@roradaza");
    }

    void roundTrip()
    {
        QFETCH(QString, server);
        QFETCH(bool, throughProxy);
        QFETCH(QByteArray, uid);
        Server &s = this->server(server);
        std::unique_ptr<Collection> collection =
            openCollection(account(s.at(u"/anna/compleanni/"_qs, throughProxy), s.fingerprint));
        const QString href = collection->hrefFor(uid);
        QVERIFY(href.startsWith(u"/anna/compleanni/") && href.endsWith(u".ics"));

        const QByteArray first = collection->create(href, eventBody(uid, "Compleanno"));
        std::vector<Item> items = collection->fetch({href});
        QCOMPARE(items.size(), 1u);
        QCOMPARE(items[0].href, href);
        QCOMPARE(items[0].etag, first);
        QVERIFY(items[0].body.contains("UID:" + uid));

        const QByteArray second = collection->update(href, eventBody(uid, "Compleanno spostato"), first);
        QVERIFY(!second.isEmpty() && second != first);
        QVERIFY(collection->fetch({href}).at(0).body.contains("SUMMARY:Compleanno spostato"));

        collection->remove(href, second);
        QVERIFY(collection->fetch({href}).empty());
        collection->remove(href, second); // already gone: done
    }
};

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    if (QStandardPaths::findExecutable(QStringLiteral("radicale")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("openssl")).isEmpty()) {
        std::puts("radicale or openssl is missing: skipped");
        return 77;
    }
    TestCalDav test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_caldav.moc"
