#include "store/Text.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace roradaza::text {

QString fromCp1252(QByteArrayView bytes)
{
    QStringDecoder decoder("windows-1252");
    QString result = decoder.decode(bytes);
    return result;
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
    if (needle.isEmpty())
        return false;
    return lowerAscii(haystack).contains(lowerAscii(needle));
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
