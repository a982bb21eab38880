// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/Text.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <array>

namespace roradaza::text {
namespace {

QString decodeThroughIcu(QByteArrayView bytes)
{
    QStringDecoder decoder("windows-1252");
    return decoder.decode(bytes);
}

// Opening the ICU converter costs more than decoding a name, and sorting
// decodes every name: the code page is one byte to one character, so each
// byte's character is taken from the converter once. A byte that does not
// give exactly one character leaves the whole text to the converter.
struct ByteTable
{
    std::array<char16_t, 256> character{};
    std::array<bool, 256> single{};

    ByteTable()
    {
        for (int byte = 0; byte < 256; ++byte) {
            const char c = char(byte);
            const QString decoded = decodeThroughIcu(QByteArrayView(&c, 1));
            single[std::size_t(byte)] = decoded.size() == 1;
            if (decoded.size() == 1)
                character[std::size_t(byte)] = decoded[0].unicode();
        }
    }
};

} // namespace

QString fromCp1252(QByteArrayView bytes)
{
    QString result;
    appendFromCp1252(bytes, result);
    return result;
}

void appendFromCp1252(QByteArrayView bytes, QString &text)
{
    static const ByteTable table;
    const qsizetype start = text.size();
    text.resize(start + bytes.size());
    char16_t *out = reinterpret_cast<char16_t *>(text.data()) + start;
    for (const char c : bytes) {
        const auto byte = std::size_t(static_cast<unsigned char>(c));
        if (!table.single[byte]) {
            text.truncate(start);
            text += decodeThroughIcu(bytes);
            return;
        }
        *out++ = table.character[byte];
    }
}

std::optional<QByteArray> toCp1252(QStringView text)
{
    QStringEncoder encoder("windows-1252", QStringConverter::Flag::Stateless);
    QByteArray result = encoder.encode(text);
    if (encoder.hasError())
        return std::nullopt;
    return result;
}

QByteArray lowerAscii(QByteArrayView bytes)
{
    QByteArray result(bytes.data(), bytes.size());
    for (char &c : result) {
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    }
    return result;
}

bool containsIgnoringAsciiCase(QByteArrayView haystack, QByteArrayView needle)
{
    if (needle.isEmpty() || needle.size() > haystack.size())
        return false;
    // Compared in place, and only where the first letter matches: every
    // keystroke in the search box asks this of every record.
    static constexpr auto lowerTable = [] {
        std::array<char, 256> table{};
        for (int c = 0; c < 256; ++c)
            table[std::size_t(c)] = char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        return table;
    }();
    const auto lower = [](char c) { return lowerTable[static_cast<unsigned char>(c)]; };
    const char *const text = haystack.data();
    const char first = lower(needle[0]);
    const qsizetype last = haystack.size() - needle.size();
    for (qsizetype at = 0; at <= last; ++at) {
        if (lower(text[at]) != first)
            continue;
        qsizetype matched = 1;
        while (matched < needle.size() && lower(text[at + matched]) == lower(needle[matched]))
            ++matched;
        if (matched == needle.size())
            return true;
    }
    return false;
}

QByteArray without(QByteArrayView bytes, char removed)
{
    QByteArray result;
    result.reserve(bytes.size());
    for (char c : bytes) {
        if (c != removed)
            result.append(c);
    }
    return result;
}

} // namespace roradaza::text
