// SPDX-License-Identifier: GPL-3.0-or-later
// A small vCard reader (2.1, 3.0 and 4.0): content lines, folding, escapes,
// and the quoted-printable text and character sets of 2.1. Only what gives
// an event is looked at: the name, the birthday, the anniversaries and the
// other dated entries that Apple, Google, Outlook, Android, Evolution and KDE
// write. The text is read once, line by line, and only those lines are kept:
// work and memory grow with the file, never faster.

#include "exchange/Exchange.h"

#include "store/Conversions.h"
#include "store/Failure.h"

#include <QDate>
#include <QHash>
#include <QRegularExpression>
#include <QStringDecoder>

#include <array>

namespace roradaza::exchange {
namespace {

// The lines as they stand in the file. CR LF, LF, CR and the CR CR LF of
// some phones each end one line, so that a message names the line an editor
// shows.
class PhysicalLines
{
public:
    explicit PhysicalLines(QByteArrayView text) : m_text(text) {}

    bool atEnd() const { return m_at >= m_text.size(); }
    // The next line begins with a blank or a tab: it goes on the one before.
    bool continues() const { return !atEnd() && (m_text[m_at] == ' ' || m_text[m_at] == '\t'); }
    int number() const { return m_number; }

    QByteArrayView take()
    {
        const qsizetype start = m_at;
        const qsizetype size = m_text.size();
        qsizetype end = start;
        while (end < size && m_text[end] != '\r' && m_text[end] != '\n')
            ++end;
        m_at = end;
        if (m_at < size && m_text[m_at] == '\r') {
            ++m_at;
            if (m_at + 1 < size && m_text[m_at] == '\r' && m_text[m_at + 1] == '\n')
                m_at += 2;
            else if (m_at < size && m_text[m_at] == '\n')
                ++m_at;
        } else if (m_at < size) {
            ++m_at;
        }
        ++m_number;
        return m_text.sliced(start, end - start);
    }

private:
    QByteArrayView m_text;
    qsizetype m_at = 0;
    int m_number = 0;
};

bool equalsUpper(QByteArrayView text, QByteArrayView upper)
{
    return text.size() == upper.size() && qstrnicmp(text.data(), text.size(), upper.data(), upper.size()) == 0;
}

// One content line, "group.NAME;PARAM=x;BARE:value", as far as this reader
// needs it: of the parameters only the character set and quoted-printable.
struct ContentLine
{
    QByteArray group; // upper case
    QByteArray name;  // upper case
    QByteArray charset;
    bool quotedPrintable = false;
    QByteArray value; // raw, still escaped and encoded
    int lineNumber = 0;
};

void takeParameter(QByteArrayView parameter, ContentLine &line)
{
    const qsizetype equals = parameter.indexOf('=');
    const QByteArrayView key = equals < 0 ? QByteArrayView() : parameter.first(equals).trimmed();
    QByteArray value = (equals < 0 ? parameter : parameter.sliced(equals + 1)).trimmed().toByteArray();
    value.replace('"', "");
    if (equalsUpper(key, "CHARSET"))
        line.charset = value;
    else if ((key.isEmpty() || equalsUpper(key, "ENCODING") || equalsUpper(key, "TYPE")) &&
             equalsUpper(value, "QUOTED-PRINTABLE"))
        line.quotedPrintable = true;
}

// Splits the head of a line (everything before its value) in one pass,
// minding quoted parameter values. Gives the length of the head, or -1 when
// the line has no ":".
qsizetype parseHead(QByteArrayView line, ContentLine &result)
{
    bool quoted = false;
    qsizetype colon = -1;
    qsizetype partStart = 0;
    bool first = true;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '"') {
            quoted = !quoted;
            continue;
        }
        if (quoted || (c != ';' && c != ':'))
            continue;
        const QByteArrayView part = line.sliced(partStart, i - partStart);
        if (first)
            result.name = part.trimmed().toByteArray().toUpper();
        else
            takeParameter(part, result);
        first = false;
        partStart = i + 1;
        if (c == ':') {
            colon = i;
            break;
        }
    }
    if (colon <= 0)
        return -1;
    if (const qsizetype dot = result.name.lastIndexOf('.'); dot >= 0) {
        result.group = result.name.left(dot);
        result.name.remove(0, dot + 1);
    }
    return colon;
}

bool validName(QByteArrayView name)
{
    if (name.isEmpty())
        return false;
    for (const char c : name) {
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-'))
            return false;
    }
    return true;
}

QByteArray decodeQuotedPrintable(const QByteArray &value)
{
    const auto hex = hexDigit;
    QByteArray bytes;
    bytes.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == '=' && i + 2 < value.size() && hex(value[i + 1]) >= 0 && hex(value[i + 2]) >= 0) {
            bytes += char(hex(value[i + 1]) * 16 + hex(value[i + 2]));
            i += 2;
            continue;
        }
        bytes += value[i];
    }
    return bytes;
}

// The value as text: quoted-printable undone, then its character set (UTF-8
// unless one is named). Empty with why set when the bytes are not that text.
std::optional<QString> textOf(const ContentLine &line, QString &why)
{
    const QByteArray bytes = line.quotedPrintable ? decodeQuotedPrintable(line.value) : line.value;
    const QByteArray charset = line.charset.isEmpty() ? QByteArray("UTF-8") : line.charset;
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

// What a dated entry is called in its record's name: "<what> di <contact>".
const QString birthday = QStringLiteral("Compleanno");
const QString anniversary = QStringLiteral("Anniversario");
const QString otherDate = QStringLiteral("Ricorrenza");

// Apple's own labels ("_$!<Anniversary>!$_"), in words; any other label is
// the user's own and stands as written.
QString occasionOfLabel(const QString &label)
{
    const QString trimmed = label.trimmed();
    if (trimmed.isEmpty())
        return otherDate;
    if (!trimmed.startsWith(QLatin1String("_$!<")) || !trimmed.endsWith(QLatin1String(">!$_")))
        return trimmed;
    const QString inner = trimmed.mid(4, trimmed.size() - 8);
    if (inner.compare(QLatin1String("Anniversary"), Qt::CaseInsensitive) == 0)
        return anniversary;
    if (inner.compare(QLatin1String("Birthday"), Qt::CaseInsensitive) == 0)
        return birthday;
    if (inner.compare(QLatin1String("Other"), Qt::CaseInsensitive) == 0 || inner.trimmed().isEmpty())
        return otherDate;
    return inner;
}

// A dated entry of a contact, converted as soon as it is read; what it is
// called may wait for a label further down the contact.
struct Dated
{
    QString occasion; // empty: from the label of the group
    QByteArray group; // of an Apple or Google date
    QDate date;       // invalid when the entry does not convert
    QString why;      // why it does not
    int times = 1;    // the same entry again in the same contact
};

struct Card
{
    int firstLine = 0;
    QString formattedName;  // FN: the first one that gives a name
    QString structuredName; // N, the same
    QString nameWhy;
    std::vector<Dated> dated;
    QHash<QString, std::size_t> datedAt; // where each entry that converts is, by what it is and its day
    QHash<QByteArray, QString> labels;   // by group
};

void takeName(const ContentLine &line, Card &card)
{
    const bool formatted = line.name == "FN";
    QString &name = formatted ? card.formattedName : card.structuredName;
    if (!name.isEmpty())
        return;
    const std::optional<QString> text = textOf(line, card.nameWhy);
    if (!text)
        return;
    QStringList parts = components(*text);
    if (!formatted) {
        // Family; given; additional; prefixes; suffixes.
        parts.resize(5);
        parts = QStringList{parts[3], parts[1], parts[2], parts[0], parts[4]};
    }
    parts.removeAll(QString());
    name = parts.join(u' ').simplified();
}

void takeDate(const ContentLine &line, const QString &occasion, const QString &value, Card &card)
{
    const std::optional<QDate> date = dateOf(value);
    if (!date) {
        card.dated.push_back({occasion,
                              line.group,
                              {},
                              QStringLiteral("la data \"%1\" non è riconosciuta").arg(value.trimmed().left(40))});
        return;
    }
    // One entry repeated in a contact is one event: counted, not kept again.
    const QString key =
        occasion + u'\n' + QString::fromLatin1(line.group) + u'\n' + QString::number(date->month() * 100 + date->day());
    if (const auto at = card.datedAt.constFind(key); at != card.datedAt.cend()) {
        ++card.dated[*at].times;
        return;
    }
    card.datedAt.insert(key, card.dated.size());
    card.dated.push_back({occasion, line.group, *date, {}});
}

// Android keeps its events as "vnd.android.cursor.item/contact_event;date;type;label":
// type 3 a birthday, 1 an anniversary, 2 another date, 0 one with its own label.
void takeAndroidEvent(const ContentLine &line, const QString &value, Card &card)
{
    const QStringList parts = components(value);
    if (parts.front().trimmed() != QLatin1String("vnd.android.cursor.item/contact_event"))
        return;
    const QString type = parts.value(2).trimmed();
    const QString occasion = type == u'3'   ? birthday
                             : type == u'1' ? anniversary
                             : type == u'0' ? occasionOfLabel(parts.value(3))
                                            : otherDate;
    takeDate(line, occasion, parts.value(1), card);
}

void takeLine(const ContentLine &line, Card &card)
{
    const QByteArray &name = line.name;
    if (name == "FN" || name == "N") {
        takeName(line, card);
        return;
    }
    QString occasion;
    if (name == "BDAY")
        occasion = birthday;
    else if (name == "ANNIVERSARY" || name == "X-ANNIVERSARY" || name == "X-EVOLUTION-ANNIVERSARY" ||
             name == "X-MS-ANNIVERSARY" || name == "X-KADDRESSBOOK-X-ANNIVERSARY")
        occasion = anniversary;
    else if (name != "X-ABDATE" && name != "X-ABLABEL" && name != "X-ANDROID-CUSTOM")
        return;

    QString why;
    const std::optional<QString> value = textOf(line, why);
    if (name == "X-ABLABEL") {
        if (value && !line.group.isEmpty())
            card.labels.insert(line.group, *value);
        return;
    }
    if (!value) {
        if (name == "X-ANDROID-CUSTOM" && !line.value.contains("contact_event"))
            return;
        card.dated.push_back({occasion, line.group, {}, why});
        return;
    }
    if (name == "X-ANDROID-CUSTOM")
        takeAndroidEvent(line, *value, card);
    else
        takeDate(line, occasion, *value, card); // X-ABDATE: named by its group's label
}

// Each field a record takes, made once and shared by every record.
const QByteArray &twoDigits(int number)
{
    static const std::array<QByteArray, 32> fields = [] {
        std::array<QByteArray, 32> made;
        for (int n = 0; n < 32; ++n)
            made[std::size_t(n)] = QByteArray::number(n).rightJustified(2, '0');
        return made;
    }();
    return fields[std::size_t(number)];
}

void convertCard(const Card &card, Conversion &conversion)
{
    if (card.dated.empty())
        return;
    const QString contact = !card.formattedName.isEmpty() ? card.formattedName : card.structuredName;

    // A contact's entries of one kind share one name, made once.
    struct Named
    {
        QString title;
        std::optional<QByteArray> name;
        QString why;
    };
    QHash<QString, Named> named;
    // One event written in two forms (Apple's and Evolution's, say) is one record.
    QHash<QString, std::size_t> recorded;
    std::vector<std::pair<QString, int>> times;
    for (const Dated &dated : card.dated) {
        if (contact.isEmpty()) {
            conversion.refused.push_back({QStringLiteral("contatto alla riga %1").arg(card.firstLine),
                                          card.nameWhy.isEmpty() ? QStringLiteral("non ha un nome") : card.nameWhy});
            continue;
        }
        const QString occasion =
            !dated.occasion.isEmpty() ? dated.occasion : occasionOfLabel(card.labels.value(dated.group));
        auto found = named.find(occasion);
        if (found == named.end()) {
            Named made;
            made.title = occasion + QStringLiteral(" di ") + contact;
            made.name = recordName(made.title, made.why);
            if (!made.name)
                made.title = shownName(made.title);
            found = named.insert(occasion, std::move(made));
        }
        if (!dated.date.isValid()) {
            conversion.refused.push_back({found->title, dated.why});
            continue;
        }
        if (!found->name) {
            conversion.refused.push_back({found->title, found->why});
            continue;
        }
        const QString key = occasion + u'\n' + QString::number(dated.date.month() * 100 + dated.date.day());
        if (const auto at = recorded.constFind(key); at != recorded.cend()) {
            times[*at].second += dated.times;
            continue;
        }
        recorded.insert(key, times.size());
        times.emplace_back(found->title, dated.times);
        conversion.records.push_back({*found->name, twoDigits(dated.date.month()), twoDigits(dated.date.day()),
                                      QByteArrayLiteral("07"), QByteArrayLiteral("0000")});
    }
    for (const auto &[title, count] : times) {
        if (count > 1)
            conversion.duplicates.push_back(
                {title, QStringLiteral("compare %1 volte nello stesso contatto").arg(count)});
    }
}

} // namespace

Conversion readContacts(const QByteArray &bytes)
{
    PhysicalLines lines(plainText(bytes));
    Conversion conversion;
    // A damaged line costs that line, a contact cut short what it lacks:
    // the rest of the address book still comes in.
    const auto leaveOut = [&conversion](int lineNumber, const QString &why) {
        conversion.refused.push_back(
            {QStringLiteral("riga %1").arg(lineNumber), why + QStringLiteral(", lasciata da parte")});
    };
    std::optional<Card> card;
    const auto endCut = [&](const QString &where) {
        conversion.refused.push_back({QStringLiteral("contatto della riga %1").arg(card->firstLine),
                                      QStringLiteral("non ha END:VCARD (%1); letto fin lì").arg(where)});
        convertCard(*card, conversion);
        card.reset();
    };
    bool anyCard = false;
    QByteArray logical;
    while (!lines.atEnd()) {
        const QByteArrayView physical = lines.take();
        const int lineNumber = lines.number();
        if (physical.trimmed().isEmpty())
            continue;
        if (!anyCard && !physical.trimmed().toByteArray().toUpper().startsWith("BEGIN:VCARD"))
            throw Failure(QStringLiteral("non è una rubrica vCard (non comincia con BEGIN:VCARD)"));
        if (physical.front() == ' ' || physical.front() == '\t') {
            leaveOut(lineNumber, QStringLiteral("una riga di continuazione senza la riga che continua"));
            continue;
        }
        logical.resize(0); // keeps its capacity
        logical.append(physical);
        while (lines.continues())
            logical.append(lines.take().sliced(1));

        ContentLine line;
        line.lineNumber = lineNumber;
        const qsizetype colon = parseHead(logical, line);
        if (colon < 0) {
            leaveOut(lineNumber, QStringLiteral("una riga senza \":\" (una riga spezzata?)"));
            continue;
        }
        if (!validName(line.name)) {
            leaveOut(lineNumber, QStringLiteral("il nome di proprietà \"%1\" non è valido")
                                     .arg(QString::fromLatin1(line.name.left(40))));
            continue;
        }
        line.value = logical.sliced(colon + 1);
        // Quoted-printable text of 2.1 goes on the next line after a final "=".
        while (line.quotedPrintable && line.value.endsWith('=')) {
            line.value.chop(1);
            if (lines.atEnd()) {
                leaveOut(lineNumber, QStringLiteral("il file finisce a metà di una riga spezzata"));
                line.name.clear();
                break;
            }
            line.value.append(lines.take().trimmed());
        }

        const bool cardMark = equalsUpper(QByteArrayView(line.value).trimmed(), "VCARD");
        if (line.name == "BEGIN" && cardMark) {
            if (card)
                endCut(QStringLiteral("un altro comincia alla riga %1").arg(lineNumber));
            card = Card{};
            card->firstLine = lineNumber;
            anyCard = true;
        } else if (line.name == "END" && cardMark && card) {
            convertCard(*card, conversion);
            card.reset();
        } else if (!card) {
            leaveOut(lineNumber, QStringLiteral("una riga fuori da BEGIN:VCARD ... END:VCARD"));
        } else {
            takeLine(line, *card);
        }
    }
    if (card)
        endCut(QStringLiteral("il file finisce alla riga %1").arg(lines.number()));
    if (!anyCard)
        throw Failure(QStringLiteral("non è una rubrica vCard (nessun BEGIN:VCARD)"));
    return conversion;
}

} // namespace roradaza::exchange
