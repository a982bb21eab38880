// SPDX-License-Identifier: GPL-3.0-or-later
// The sync's state file: one line per fact, a word and its values, so that
// a person can read it. Values are percent-encoded wherever a byte is not
// plain printable ASCII, so the records' Windows-1252 bytes come back exact.

#include "sync/Engine.h"

#include "store/Conversions.h"
#include "store/Failure.h"
#include "store/FileErrors.h"
#include "store/WholeFile.h"

#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <algorithm>

namespace roradaza::sync {
namespace {

constexpr char header[] = "Roradaza-sync 1";
// Two copies of every record's fields, each at most three times the list's
// own bytes, with room for the rest: the largest list's state fits.
constexpr qint64 stateFileLimit = 256 * 1024 * 1024;

// "-" stands for an empty value, so that no two spaces ever follow each other.
QByteArray encode(const QByteArray &value)
{
    if (value.isEmpty())
        return "-";
    if (value == "-")
        return "%2D";
    QByteArray out;
    out.reserve(value.size());
    static const char hex[] = "0123456789ABCDEF";
    for (const char c : value) {
        const auto byte = uchar(c);
        if (byte <= 0x20 || byte >= 0x7F || byte == '%') {
            out += '%';
            out += hex[byte >> 4];
            out += hex[byte & 15];
        } else {
            out += c;
        }
    }
    return out;
}

QByteArray encode(const QString &value)
{
    return encode(value.toUtf8());
}

std::optional<QByteArray> decode(QByteArrayView value)
{
    if (value == "-")
        return QByteArray();
    QByteArray out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] != '%') {
            out += value[i];
            continue;
        }
        const int high = i + 2 < value.size() ? hexDigit(value[i + 1]) : -1;
        const int low = high >= 0 ? hexDigit(value[i + 2]) : -1;
        if (low < 0)
            return std::nullopt;
        out += char(high * 16 + low);
        i += 2;
    }
    return out;
}

void appendRecord(QByteArray &line, const EventRecord &record)
{
    for (const QByteArray *field : {&record.name, &record.month, &record.day, &record.advance, &record.year})
        line += ' ' + encode(*field);
}

class Reader
{
public:
    explicit Reader(const QString &path) : m_path(path) {}

    [[noreturn]] void damaged(int number, const QString &why) const
    {
        throw roradaza::Failure(
            QStringLiteral("Lo stato della sincronizzazione %1 è danneggiato alla riga %2 (%3): "
                           "la sincronizzazione resta ferma finché il file non viene corretto o tolto")
                .arg(QFileInfo(m_path).absoluteFilePath())
                .arg(number)
                .arg(why));
    }

    // The values of a line, decoded, exactly count of them.
    std::vector<QByteArray> values(const QList<QByteArrayView> &parts, int number, qsizetype count) const
    {
        if (parts.size() - 1 != count)
            damaged(number, QStringLiteral("%1 valori invece di %2").arg(parts.size() - 1).arg(count));
        std::vector<QByteArray> decoded;
        decoded.reserve(std::size_t(count));
        for (qsizetype i = 1; i < parts.size(); ++i) {
            auto value = decode(parts[i]);
            if (!value)
                damaged(number,
                        QStringLiteral("il valore %1 ha un % che non è seguito da due cifre esadecimali").arg(i));
            decoded.push_back(std::move(*value));
        }
        return decoded;
    }

private:
    QString m_path;
};

EventRecord recordAt(const std::vector<QByteArray> &values, std::size_t at)
{
    return {values[at], values[at + 1], values[at + 2], values[at + 3], values[at + 4]};
}

QList<QByteArrayView> splitSpaces(QByteArrayView line)
{
    QList<QByteArrayView> parts;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= line.size(); ++i) {
        if (i == line.size() || line[i] == ' ') {
            parts.push_back(line.sliced(start, i - start));
            start = i + 1;
        }
    }
    return parts;
}

} // namespace

SyncState readSyncState(const QString &path)
{
    SyncState state;
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return state;
    const QByteArray bytes = readWholeFile(path, stateFileLimit);
    const Reader reader(path);
    QSet<QByteArray> uids;
    QSet<QString> hrefs;
    QSet<QByteArray> conflicts;

    int number = 0;
    qsizetype at = 0;
    while (at < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', at);
        if (end < 0)
            end = bytes.size();
        QByteArrayView line = QByteArrayView(bytes).sliced(at, end - at);
        at = end + 1;
        ++number;
        if (line.endsWith('\r'))
            line.chop(1);
        if (number == 1) {
            if (line != header)
                reader.damaged(number, QStringLiteral("non comincia con \"%1\"").arg(QLatin1String(header)));
            continue;
        }
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const QList<QByteArrayView> parts = splitSpaces(line);
        const QByteArrayView word = parts.front();
        if (word.isEmpty() || !std::all_of(word.begin(), word.end(), [](char c) { return c >= 'a' && c <= 'z'; }))
            reader.damaged(number, QStringLiteral("la riga non comincia con una parola"));
        if (word == "address") {
            state.address = QUrl(QString::fromUtf8(reader.values(parts, number, 1)[0]), QUrl::StrictMode);
        } else if (word == "user") {
            state.user = QString::fromUtf8(reader.values(parts, number, 1)[0]);
        } else if (word == "enabled") {
            const QByteArray value = reader.values(parts, number, 1)[0];
            if (value != "0" && value != "1")
                reader.damaged(number, QStringLiteral("enabled vale 0 o 1"));
            state.enabled = value == "1";
        } else if (word == "fingerprint") {
            state.pinnedFingerprint = reader.values(parts, number, 1)[0];
        } else if (word == "token") {
            state.token = reader.values(parts, number, 1)[0];
        } else if (word == "item") {
            const auto values = reader.values(parts, number, 13);
            SyncedItem item{values[0], QString::fromUtf8(values[1]), values[2], recordAt(values, 3),
                            recordAt(values, 8)};
            if (item.uid.isEmpty() || item.href.isEmpty())
                reader.damaged(number, QStringLiteral("un evento senza UID o senza indirizzo"));
            if (uids.contains(item.uid) || hrefs.contains(item.href))
                reader.damaged(number, QStringLiteral("un evento che compare due volte"));
            uids.insert(item.uid);
            hrefs.insert(item.href);
            state.items.push_back(std::move(item));
        } else if (word == "conflict") {
            const auto values = reader.values(parts, number, 7);
            Conflict conflict{values[0], recordAt(values, 2), values[1]};
            if (conflict.uid.isEmpty() || conflicts.contains(conflict.uid))
                reader.damaged(number, QStringLiteral("un conflitto senza UID o che compare due volte"));
            conflicts.insert(conflict.uid);
            state.conflicts.push_back(std::move(conflict));
        } else if (word == "server") {
            const auto values = reader.values(parts, number, 4);
            ServerOnly left{QString::fromUtf8(values[0]), values[1], QString::fromUtf8(values[2]),
                            QString::fromUtf8(values[3])};
            if (left.href.isEmpty() || hrefs.contains(left.href))
                reader.damaged(number, QStringLiteral("un evento del server senza indirizzo o che compare due volte"));
            hrefs.insert(left.href);
            state.leftOnServer.push_back(std::move(left));
        } else {
            // A word a later version wrote: what it says is not needed here.
            continue;
        }
    }
    if (number == 0)
        reader.damaged(1, QStringLiteral("il file è vuoto"));
    // A conflict of an event no longer known has nothing to keep apart.
    std::erase_if(state.conflicts, [&](const Conflict &conflict) { return !uids.contains(conflict.uid); });
    return state;
}

void writeSyncState(const QString &path, const SyncState &state)
{
    QByteArray text;
    text.reserve(qsizetype(state.items.size()) * 160 + 1024);
    text += header;
    text += '\n';
    text += "address " + encode(state.address.toString(QUrl::FullyEncoded)) + '\n';
    text += "user " + encode(state.user) + '\n';
    text += state.enabled ? "enabled 1\n" : "enabled 0\n";
    text += "fingerprint " + encode(state.pinnedFingerprint) + '\n';
    text += "token " + encode(state.token) + '\n';
    for (const SyncedItem &item : state.items) {
        text += "item " + encode(item.uid) + ' ' + encode(item.href) + ' ' + encode(item.etag);
        appendRecord(text, item.synced);
        appendRecord(text, item.saved);
        text += '\n';
    }
    for (const Conflict &conflict : state.conflicts) {
        text += "conflict " + encode(conflict.uid) + ' ' + encode(conflict.etag);
        appendRecord(text, conflict.server);
        text += '\n';
    }
    for (const ServerOnly &left : state.leftOnServer) {
        text += "server " + encode(left.href) + ' ' + encode(left.etag) + ' ' + encode(left.what) + ' ' +
                encode(left.why) + '\n';
    }
    writeWholeFile(path, text);
}

} // namespace roradaza::sync
