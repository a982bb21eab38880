// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/Conversions.h"

#include "store/Failure.h"
#include "store/Text.h"

#include <optional>

namespace roradaza {
namespace {

std::optional<int> parseInteger(QByteArrayView text)
{
    qsizetype at = 0;
    const qsizetype size = text.size();
    while (at < size && text[at] == ' ')
        ++at;
    bool negative = false;
    if (at < size && (text[at] == '-' || text[at] == '+')) {
        negative = text[at] == '-';
        ++at;
    }

    int base = 10;
    if (at < size && text[at] == '$') {
        base = 16;
        ++at;
    } else if (at < size && (text[at] == 'x' || text[at] == 'X')) {
        base = 16;
        ++at;
    } else if (at + 1 < size && text[at] == '0' && (text[at + 1] == 'x' || text[at + 1] == 'X')) {
        base = 16;
        at += 2;
    }

    if (at == size)
        return std::nullopt;

    // Decimal stays within the signed range; hexadecimal may use all 32 bits,
    // "$FFFFFFFF" being -1, as programmers write masks that way.
    const quint64 limit = base == 16 ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
    quint64 value = 0;
    for (; at < size; ++at) {
        const int digit = base == 16 ? hexDigit(text[at]) : (text[at] >= '0' && text[at] <= '9' ? text[at] - '0' : -1);
        if (digit < 0)
            return std::nullopt;
        value = value * quint64(base) + quint64(digit);
        if (value > limit)
            return std::nullopt;
    }
    const auto bits = quint32(value);
    return negative ? int(0u - bits) : int(bits);
}

QString quoted(QByteArrayView text)
{
    // A damaged file may hold a line of megabytes: the message shows its start.
    constexpr qsizetype shown = 60;
    if (text.size() > shown)
        return QLatin1Char('\'') + text::fromCp1252(text.first(shown)) + QStringLiteral("...'");
    return QLatin1Char('\'') + text::fromCp1252(text) + QLatin1Char('\'');
}

} // namespace

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

int toInteger(QByteArrayView text)
{
    // Every stored number is a few plain digits: those take the short way.
    if (text.size() > 0 && text.size() <= 9) {
        int value = 0;
        qsizetype digits = 0;
        while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9')
            value = value * 10 + (text[digits++] - '0');
        if (digits == text.size())
            return value;
    }
    if (const auto value = parseInteger(text))
        return *value;
    throw Failure(quoted(text) + QStringLiteral(" is not a valid integer value"));
}

bool toBoolean(QByteArrayView text)
{
    if (const auto value = parseInteger(text))
        return *value != 0;
    throw Failure(quoted(text) + QStringLiteral(" is not a valid boolean value"));
}

QByteArray booleanText(bool value)
{
    return value ? QByteArrayLiteral("-1") : QByteArrayLiteral("0");
}

} // namespace roradaza
