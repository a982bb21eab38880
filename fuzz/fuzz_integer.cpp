// SPDX-License-Identifier: GPL-3.0-or-later
// Any bytes through the integer and boolean conversions: a value or the
// conversion's own message, never anything else; plain decimal text checked
// against a simple reference.

#include "FuzzSupport.h"

#include "store/Conversions.h"
#include "store/Failure.h"

#include <algorithm>
#include <limits>
#include <optional>

using namespace roradaza;

namespace {

// Blanks, an optional sign and decimal digits; nothing for any other text.
// The magnitude saturates well beyond 32 bits.
std::optional<qint64> plainDecimal(QByteArrayView text)
{
    qsizetype at = 0;
    while (at < text.size() && text[at] == ' ')
        ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-'))
        negative = text[at++] == '-';
    if (at == text.size())
        return std::nullopt;
    qint64 value = 0;
    for (; at < text.size(); ++at) {
        if (text[at] < '0' || text[at] > '9')
            return std::nullopt;
        value = std::min<qint64>(value * 10 + (text[at] - '0'), qint64(1) << 40);
    }
    return negative ? -value : value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArrayView text(reinterpret_cast<const char *>(data), qsizetype(size));

    std::optional<int> integer;
    try {
        integer = toInteger(text);
    } catch (const Failure &failure) {
        fuzz::require(failure.message().endsWith(QLatin1String(" is not a valid integer value")),
                      "the integer conversion's message");
    }
    std::optional<bool> boolean;
    try {
        boolean = toBoolean(text);
    } catch (const Failure &failure) {
        fuzz::require(failure.message().endsWith(QLatin1String(" is not a valid boolean value")),
                      "the boolean conversion's message");
    }
    fuzz::require(integer.has_value() == boolean.has_value(), "a boolean is any integer");
    if (integer)
        fuzz::require(*boolean == (*integer != 0), "non-zero is true");

    if (const auto expected = plainDecimal(text)) {
        const bool fits = *expected >= std::numeric_limits<int>::min() && *expected <= std::numeric_limits<int>::max();
        fuzz::require(integer.has_value() == fits, "decimal text converts exactly when it fits");
        if (integer)
            fuzz::require(*integer == *expected, "decimal text converts to its value");
    }
    return 0;
}
