// SPDX-License-Identifier: GPL-3.0-or-later
#include "sync/DavClient.h"

#include "Version.h"

#include <QAuthenticator>
#include <QEventLoop>
#include <QHostAddress>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslCertificate>
#include <QSslError>
#include <QTimer>

#include <cctype>
#include <memory>

namespace roradaza::sync::dav {

namespace {

constexpr int maximumRedirects = 5;

QByteArray fingerprintOf(const QSslCertificate &certificate)
{
    return certificate.digest(QCryptographicHash::Sha256).toHex(':').toUpper();
}

// "ab:cd", "AB CD" and "abcd" name the same certificate.
QByteArray plainHex(const QByteArray &fingerprint)
{
    QByteArray hex;
    for (char c : fingerprint) {
        if (std::isxdigit(static_cast<unsigned char>(c)))
            hex += char(std::toupper(static_cast<unsigned char>(c)));
    }
    return hex;
}

QString networkWords(QNetworkReply::NetworkError error, const QUrl &url)
{
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
        return QStringLiteral("connessione rifiutata");
    case QNetworkReply::RemoteHostClosedError:
        return QStringLiteral("connessione chiusa dal server");
    case QNetworkReply::HostNotFoundError:
        return QStringLiteral("%1 non trovato").arg(url.host());
    case QNetworkReply::SslHandshakeFailedError:
        return QStringLiteral("connessione sicura non riuscita");
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
        return QStringLiteral("rete non disponibile");
    default:
        return QStringLiteral("errore di rete %1").arg(int(error));
    }
}

} // namespace

QByteArray Answer::header(const QByteArray &name) const
{
    for (const auto &[key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

bool isLoopback(const QUrl &url)
{
    const QString host = url.host();
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

void requireSafe(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() || (scheme != u"https" && scheme != u"http"))
        throw Failure(Failure::Kind::Insecure,
                      QStringLiteral("L'indirizzo del calendario non è valido: %1").arg(url.toDisplayString()));
    if (scheme == u"http" && !isLoopback(url))
        throw Failure(
            Failure::Kind::Insecure,
            QStringLiteral("L'indirizzo deve iniziare con https:// (http è ammesso solo per questo computer)"));
}

Failure failureForStatus(int status, const QByteArray &reason)
{
    using Kind = Failure::Kind;
    switch (status) {
    case 401:
        return Failure(Kind::Unauthorized, QStringLiteral("Nome utente o password rifiutati dal server (401)"));
    case 403:
        return Failure(Kind::Forbidden, QStringLiteral("Accesso negato dal server (403)"));
    case 404:
        return Failure(Kind::NotFound, QStringLiteral("Calendario non trovato sul server (404)"));
    case 412:
        return Failure(Kind::PreconditionFailed,
                       QStringLiteral("L'evento è stato cambiato sul server nel frattempo (412)"));
    case 507:
        return Failure(Kind::InsufficientStorage, QStringLiteral("Il server non ha più spazio (507)"));
    default:
        break;
    }
    // The reason phrase is the server's: keep it short and printable.
    QString words = QString::fromLatin1(reason.left(80)).simplified();
    words = words.isEmpty() ? QString::number(status) : QStringLiteral("%1 %2").arg(status).arg(words);
    if (status >= 500)
        return Failure(Kind::Other, QStringLiteral("Il server ha risposto con un errore (%1)").arg(words));
    return Failure(Kind::Other, QStringLiteral("Risposta inattesa dal server (%1)").arg(words));
}

Client::Client(Account account) : m_account(std::move(account))
{
    requireSafe(m_account.address);
    // No cookies kept and no cache: every answer comes from the server now.
    m_network.setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
}

Answer Client::send(const QByteArray &method, const QUrl &url, const QByteArray &body, const Headers &headers)
{
    QUrl at = url;
    for (int redirects = 0;; ++redirects) {
        Answer answer = sendOnce(method, at, body, headers);
        const int status = answer.status;
        if (status != 301 && status != 302 && status != 303 && status != 307 && status != 308)
            return answer;
        const QByteArray location = answer.header("Location");
        if (location.isEmpty() || redirects == maximumRedirects)
            return answer;
        const QUrl next = at.resolved(QUrl::fromEncoded(location));
        // Never from https down to http, whatever the host: that would send
        // the password in clear.
        if (at.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0 &&
            next.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) != 0)
            throw Failure(Failure::Kind::Insecure,
                          QStringLiteral("Il server rimanda a un indirizzo non protetto (%1): rifiutato")
                              .arg(next.toDisplayString(QUrl::RemoveUserInfo)));
        requireSafe(next);
        at = next;
    }
}

Answer Client::sendOnce(const QByteArray &method, const QUrl &url, const QByteArray &body, const Headers &headers)
{
    requireSafe(url);
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setHeader(QNetworkRequest::UserAgentHeader, QByteArray("Roradaza/" RORADAZA_VERSION));
    if (!m_account.user.isEmpty()) {
        // Sent with the first request, so that a sync with nothing to do is one request, not two.
        request.setRawHeader("Authorization",
                             "Basic " + (m_account.user + u':' + m_account.password).toUtf8().toBase64());
    }
    if (!body.isEmpty())
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("application/xml; charset=utf-8"));
    for (const auto &[name, value] : headers)
        request.setRawHeader(name, value);

    std::unique_ptr<QNetworkReply> reply(m_network.sendCustomRequest(request, method, body));
    QEventLoop loop;
    QTimer idle;
    idle.setSingleShot(true);
    idle.setInterval(std::max(1, m_account.timeoutSeconds) * 1000);
    bool timedOut = false;
    bool tooLarge = false;
    bool answeredChallenge = false;
    QByteArray untrusted;
    QByteArray data;

    const auto take = [&] {
        idle.start();
        if (data.size() + reply->bytesAvailable() > maximumAnswerBytes) {
            tooLarge = true;
            reply->abort();
            return;
        }
        data += reply->readAll();
    };
    QObject::connect(reply.get(), &QNetworkReply::readyRead, &loop, take);
    QObject::connect(reply.get(), &QNetworkReply::uploadProgress, &loop, [&] { idle.start(); });
    QObject::connect(reply.get(), &QNetworkReply::metaDataChanged, &loop, [&] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > maximumAnswerBytes) {
            tooLarge = true;
            reply->abort();
        }
    });
    QObject::connect(&idle, &QTimer::timeout, &loop, [&] {
        timedOut = true;
        reply->abort();
    });
    QObject::connect(reply.get(), &QNetworkReply::sslErrors, &loop, [&](const QList<QSslError> &errors) {
        QSslCertificate leaf = reply->sslConfiguration().peerCertificate();
        if (leaf.isNull() && !errors.isEmpty())
            leaf = errors.first().certificate();
        untrusted = fingerprintOf(leaf);
        if (leaf.isNull() || m_account.pinnedFingerprint.isEmpty() ||
            plainHex(untrusted) != plainHex(m_account.pinnedFingerprint))
            return;
        // The user accepted this certificate: its own faults are forgiven, no other's.
        for (const QSslError &error : errors) {
            if (!error.certificate().isNull() && error.certificate() != leaf)
                return;
        }
        untrusted.clear();
        reply->ignoreSslErrors(errors);
    });
    // Servers asking for Digest: answer once; a second question means the password is wrong.
    QObject::connect(&m_network, &QNetworkAccessManager::authenticationRequired, &loop,
                     [&](QNetworkReply *asking, QAuthenticator *authenticator) {
                         if (asking != reply.get() || answeredChallenge)
                             return;
                         answeredChallenge = true;
                         authenticator->setUser(m_account.user);
                         authenticator->setPassword(m_account.password);
                     });
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);

    idle.start();
    if (!reply->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    idle.stop();
    if (!tooLarge && !timedOut)
        take();

    if (tooLarge)
        throw Failure(Failure::Kind::BadAnswer, QStringLiteral("La risposta del server è troppo grande (oltre %1 MiB)")
                                                    .arg(maximumAnswerBytes / (1024 * 1024)));
    if (timedOut)
        throw Failure(Failure::Kind::TimedOut,
                      QStringLiteral("Il server non ha risposto in tempo (%1 secondi)").arg(m_account.timeoutSeconds));

    Answer answer;
    answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    // A status with the connection lost on the way is no answer: a cut listing must not pass for a short one.
    const bool lost = reply->error() > QNetworkReply::NoError && reply->error() < QNetworkReply::ContentAccessDenied;
    if (answer.status == 0 || lost) {
        if (!untrusted.isEmpty())
            throw Failure(Failure::Kind::UntrustedCertificate,
                          QStringLiteral("Il certificato del server non è riconosciuto: impronta SHA-256 %1")
                              .arg(QString::fromLatin1(untrusted)),
                          untrusted);
        if (reply->error() == QNetworkReply::TimeoutError)
            throw Failure(Failure::Kind::TimedOut, QStringLiteral("Il server non ha risposto in tempo"));
        throw Failure(Failure::Kind::Unreachable,
                      QStringLiteral("Il server non risponde (%1)").arg(networkWords(reply->error(), url)));
    }
    answer.reason = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toByteArray();
    answer.body = std::move(data);
    answer.headers = reply->rawHeaderPairs();
    answer.url = url;
    return answer;
}

} // namespace roradaza::sync::dav
