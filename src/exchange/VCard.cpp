// SPDX-License-Identifier: GPL-3.0-or-later
// A small vCard reader (2.1, 3.0 and 4.0): content lines, folding, escapes,
// and the quoted-printable text and character sets of 2.1. Only what gives
// an event is looked at: the name, the birthday and the anniversaries.

#include "exchange/Exchange.h"

#include "store/Failure.h"

#include <QDate>
#include <QList>
#include <QRegularExpression>
#include <QStringDecoder>

namespace roradaza::exchange {
namespace {

struct ContentLine
{
    QByteArray name;                                     // upper case, group removed
    QList<std::pair<QByteArray, QByteArray>> parameters; // names upper case; a bare 2.1 value has an empty name
    QByteArray value;                                    // raw, still escaped and encoded
    int lineNumber = 0;

    QByteArray parameter(QByteArrayView wanted) const
    {
        for (const auto &[key, value] : parameters) {
            if (key == wanted)
                return value;
        }
        return {};
    }
    bool hasBare(QByteArrayView wanted) const
    {
        for (const auto &[key, value] : parameters) {
            if ((key.isEmpty() || key == "TYPE") && value.toUpper() == wanted)
                return true;
        }
        return false;
    }
    bool quotedPrintable() const
    {
        return parameter("ENCODING").toUpper() == "QUOTED-PRINTABLE" || hasBare("QUOTED-PRINTABLE");
    }
};

Failure brokenAt(int lineNumber, const QString &why)
{
    return Failure(QStringLiteral("la rubrica è danneggiata alla riga %1: %2").arg(lineNumber).arg(why));
}

// Splits "group.NAME;PARAM=x;BARE:value", minding quoted parameter values.
ContentLine parseLine(const QByteArray &line, int lineNumber)
{
    ContentLine result;
    result.lineNumber = lineNumber;
    bool quoted = false;
    qsizetype colon = -1;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] == '"')
            quoted = !quoted;
        else if (line[i] == ':' && !quoted) {
            colon = i;
            break;
        }
    }
    if (colon <= 0)
        throw brokenAt(lineNumber, QStringLiteral("una riga senza \":\" (una riga spezzata?)"));
    result.value = line.mid(colon + 1);
    QByteArrayList head;
    QByteArray part;
    quoted = false;
    for (const char c : line.left(colon)) {
        if (c == '"')
            quoted = !quoted;
        if (c == ';' && !quoted) {
            head << part;
            part.clear();
        } else {
            part += c;
        }
    }
    head << part;
    QByteArray name = head.takeFirst().trimmed().toUpper();
    if (const qsizetype dot = name.lastIndexOf('.'); dot >= 0)
        name = name.mid(dot + 1);
    static const QRegularExpression valid(QStringLiteral("^[A-Z0-9-]+$"));
    if (!valid.match(QString::fromLatin1(name)).hasMatch())
        throw brokenAt(lineNumber,
                       QStringLiteral("il nome di proprietà \"%1\" non è valido").arg(QString::fromLatin1(name)));
    result.name = name;
    for (const QByteArray &parameter : head) {
        const qsizetype equals = parameter.indexOf('=');
        if (equals < 0)
            result.parameters.append({QByteArray(), parameter.trimmed()});
        else
            result.parameters.append(
                {parameter.left(equals).trimmed().toUpper(), QByteArray(parameter.mid(equals + 1)).replace('"', "")});
    }
    return result;
}

QByteArray decodeQuotedPrintable(const QByteArray &value)
{
    QByteArray bytes;
    bytes.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == '=' && i + 2 < value.size()) {
            bool ok = false;
            const int byte = value.mid(i + 1, 2).toInt(&ok, 16);
            if (ok) {
                bytes += char(byte);
                i += 2;
                continue;
            }
        }
        bytes += value[i];
    }
    return bytes;
}

// The value as text: quoted-printable undone, then its character set (UTF-8
// unless one is named). Empty with why set when the bytes are not that text.
std::optional<QString> textOf(const ContentLine &line, QString &why)
{
    const QByteArray bytes = line.quotedPrintable() ? decodeQuotedPrintable(line.value) : line.value;
    QByteArray charset = line.parameter("CHARSET");
    if (charset.isEmpty())
        charset = "UTF-8";
    QStringDecoder decoder(charset.constData(), QStringConverter::Flag::Stateless);
    if (!decoder.isValid()) {
        why = QStringLiteral("il set di caratteri \"%1\" è sconosciuto").arg(QString::fromLatin1(charset));
        return std::nullopt;
    }
    QString text = decoder.decode(bytes);
    if (decoder.hasError()) {
        why = QStringLiteral("il testo non è %1").arg(QString::fromLatin1(charset));
        return std::nullopt;
    }
    return text;
}

// The components of a structured value ("a;b;c"), escapes undone.
QStringList components(const QString &value)
{
    QStringList parts(QString{});
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c == u'\\' && i + 1 < value.size()) {
            const QChar next = value[++i];
            parts.last() += next == u'n' || next == u'N' ? QChar(u'\n') : next;
        } else if (c == u';') {
            parts << QString();
        } else {
            parts.last() += c;
        }
    }
    return parts;
}

// 19930102, 1993-01-02, --0102, --01-02, any time after a "T" left aside.
std::optional<QDate> dateOf(const QString &value)
{
    static const QRegularExpression pattern(QStringLiteral("^(?:(\\d{4})-?|--)(\\d\\d)-?(\\d\\d)(?:T[0-9:.,+Z-]*)?$"));
    const auto match = pattern.match(value.trimmed());
    if (!match.hasMatch())
        return std::nullopt;
    const QString yearText = match.captured(1);
    // Without a year, a leap year, so that 29 February stands.
    const QDate date(yearText.isEmpty() ? 2000 : yearText.toInt(), match.captured(2).toInt(),
                     match.captured(3).toInt());
    if (!date.isValid())
        return std::nullopt;
    return date;
}

struct Card
{
    int firstLine = 0;
    QList<ContentLine> lines;
};

void convertCard(const Card &card, Conversion &conversion)
{
    QString name;
    QString nameWhy;
    for (const char *wanted : {"FN", "N"}) {
        for (const ContentLine &line : card.lines) {
            if (!name.isEmpty() || line.name != wanted)
                continue;
            const std::optional<QString> text = textOf(line, nameWhy);
            if (!text)
                continue;
            QStringList parts = components(*text);
            if (qstrcmp(wanted, "N") == 0) {
                // Family; given; additional; prefixes; suffixes.
                parts.resize(5);
                parts = QStringList{parts[3], parts[1], parts[2], parts[0], parts[4]};
            }
            parts.removeAll(QString());
            name = parts.join(u' ').simplified();
        }
    }

    struct Occasion
    {
        const char *property;
        const char *prefix;
    };
    static const Occasion occasions[] = {{"BDAY", "Compleanno di "},
                                         {"ANNIVERSARY", "Anniversario di "},
                                         {"X-ANNIVERSARY", "Anniversario di "},
                                         {"X-EVOLUTION-ANNIVERSARY", "Anniversario di "}};
    for (const Occasion &occasion : occasions) {
        for (const ContentLine &line : card.lines) {
            if (line.name != occasion.property)
                continue;
            const QString title = QLatin1String(occasion.prefix) + name;
            QString why;
            if (name.isEmpty()) {
                conversion.refused.push_back({QStringLiteral("contatto alla riga %1").arg(card.firstLine),
                                              nameWhy.isEmpty() ? QStringLiteral("non ha un nome") : nameWhy});
                continue;
            }
            const std::optional<QString> value = textOf(line, why);
            const std::optional<QDate> date = value ? dateOf(*value) : std::nullopt;
            if (!date) {
                conversion.refused.push_back(
                    {title,
                     why.isEmpty() ? QStringLiteral("la data \"%1\" non è riconosciuta").arg(value->trimmed()) : why});
                continue;
            }
            const std::optional<QByteArray> recordName = exchange::recordName(title, why);
            if (!recordName) {
                conversion.refused.push_back({title, why});
                continue;
            }
            conversion.records.push_back({*recordName, QByteArray::number(date->month()).rightJustified(2, '0'),
                                          QByteArray::number(date->day()).rightJustified(2, '0'), "07",
                                          markers::everyYear});
        }
    }
}

} // namespace

Conversion readContacts(const QByteArray &bytes)
{
    const QByteArrayView text = plainText(bytes);

    // Physical lines; CR LF, LF and CR all end one.
    QList<QByteArrayView> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            lines << text.sliced(start, i - start);
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            start = i + 1;
        }
    }
    if (start < text.size())
        lines << text.sliced(start);

    Conversion conversion;
    std::optional<Card> card;
    bool anyCard = false;
    for (qsizetype at = 0; at < lines.size();) {
        const int lineNumber = int(at + 1);
        QByteArray logical = lines[at++].toByteArray();
        if (logical.trimmed().isEmpty())
            continue;
        if (!anyCard && !logical.trimmed().toUpper().startsWith("BEGIN:VCARD"))
            throw Failure(QStringLiteral("non è una rubrica vCard (non comincia con BEGIN:VCARD)"));
        if (logical.front() == ' ' || logical.front() == '\t')
            throw brokenAt(lineNumber, QStringLiteral("una riga di continuazione senza la riga che continua"));
        // Folding: a line that begins with a blank or a tab goes on the one before.
        while (at < lines.size() && !lines[at].isEmpty() && (lines[at].front() == ' ' || lines[at].front() == '\t'))
            logical += lines[at++].sliced(1);
        ContentLine line = parseLine(logical, lineNumber);
        // Quoted-printable text of 2.1 goes on the next line after a final "=".
        while (line.quotedPrintable() && line.value.endsWith('=')) {
            if (at >= lines.size())
                throw brokenAt(lineNumber, QStringLiteral("il file finisce a metà di una riga spezzata"));
            line.value.chop(1);
            line.value += lines[at++].trimmed();
        }

        const QByteArray value = line.value.trimmed().toUpper();
        if (line.name == "BEGIN" && value == "VCARD") {
            if (card)
                throw brokenAt(lineNumber, QStringLiteral("BEGIN:VCARD prima di END:VCARD"));
            card = Card{lineNumber, {}};
            anyCard = true;
        } else if (line.name == "END" && value == "VCARD") {
            if (!card)
                throw brokenAt(lineNumber, QStringLiteral("END:VCARD senza BEGIN:VCARD"));
            convertCard(*card, conversion);
            card.reset();
        } else if (!card) {
            throw brokenAt(lineNumber, QStringLiteral("una riga fuori da BEGIN:VCARD ... END:VCARD"));
        } else {
            card->lines << std::move(line);
        }
    }
    if (card)
        throw Failure(
            QStringLiteral("la rubrica è incompleta: il contatto della riga %1 non ha END:VCARD").arg(card->firstLine));
    if (!anyCard)
        throw Failure(QStringLiteral("non è una rubrica vCard (nessun BEGIN:VCARD)"));
    return conversion;
}

} // namespace roradaza::exchange
