// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/Conversions.h"
#include "store/Failure.h"
#include "store/Text.h"

#include <QTest>

#include <climits>
#include <functional>
#include <tuple>

using namespace roradaza;

namespace {

QString failureOf(const std::function<void()> &step)
{
    try {
        step();
    } catch (const Failure &failure) {
        return failure.message();
    }
    return QStringLiteral("(no failure)");
}

} // namespace

class TestConversions : public QObject
{
    Q_OBJECT

private slots:
    void integer_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("value");
        // "$FFFFFFFF" uses all 32 bits, as masks are written.
        for (const auto &[text, value] : {std::pair{"0", 0},
                                          {"07", 7},
                                          {"   42", 42},
                                          {"-7", -7},
                                          {"+7", 7},
                                          {"  -12", -12},
                                          {"$1F", 31},
                                          {"x1f", 31},
                                          {"X1F", 31},
                                          {"0x1f", 31},
                                          {"0X1f", 31},
                                          {"-$10", -16},
                                          {"2147483647", 2147483647},
                                          {"-2147483648", INT_MIN},
                                          {"$FFFFFFFF", -1}})
            QTest::addRow("'%s'", text) << QByteArray(text) << value;
    }
    void integer()
    {
        QFETCH(QByteArray, text);
        QTEST(toInteger(text), "value");
    }

    void refused_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("kind");
        for (const char *text : {"abc", "", "   ", "-", "$", "0x", "12abc", "12 ", "1 2", "--1", "1.5", "1f", "\t1",
                                 "2147483648", "-2147483649", "$100000000", "99999999999999999999", "Luned\xEC;"})
            QTest::addRow("integer '%s'", text) << QByteArray(text) << QStringLiteral("integer");
        for (const char *text : {"True", "False", "", "4294967296"})
            QTest::addRow("boolean '%s'", text) << QByteArray(text) << QStringLiteral("boolean");
    }
    void refused()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, kind);
        QCOMPARE(failureOf([&] { kind == u"integer" ? toInteger(text) : int(toBoolean(text)); }),
                 QStringLiteral("'%1' is not a valid %2 value").arg(QString::fromLatin1(text), kind));
    }

    void boolean_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("value");
        for (const auto &[text, value] :
             {std::pair{"-1", true}, {"1", true}, {"2", true}, {"0", false}, {"$0", false}, {" 0", false}})
            QTest::addRow("'%s'", text) << QByteArray(text) << value;
    }
    void boolean()
    {
        QFETCH(QByteArray, text);
        QTEST(toBoolean(text), "value");
    }

    void containsIgnoringCase_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("search");
        QTest::addColumn<bool>("found");
        const std::tuple<const char *, const char *, const char *, bool> rows[] = {
            {"any case", "Compleanno di ROSSI", "rossi", true},
            {"at the start", "Anna", "aN", true},
            {"at the end", "Visita da anna", "ANNA", true},
            {"after a false start", "aaab", "aab", true},
            {"one letter short", "Ross", "rossi", false},
            {"empty search", "Anna", "", false},
            {"empty name", "", "a", false},
            // Only A to Z fold: accented letters must match exactly.
            {"accent kept", "Niccol\xF2", "NICCOL\xF2", true},
            {"accent not folded", "\xC0ndrea", "\xE0ndrea", false},
        };
        for (const auto &[row, text, search, found] : rows)
            QTest::newRow(row) << QByteArray(text) << QByteArray(search) << found;
    }
    void containsIgnoringCase()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, search);
        QTEST(text::containsIgnoringAsciiCase(text, search), "found");
    }

    void cp1252()
    {
        const QByteArray bytes("\x80 \xE0\xE8\xEC\xF2 \xC9 \x9A");
        const QString text = text::fromCp1252(bytes);
        QCOMPARE(text, QStringLiteral("\u20AC \u00E0\u00E8\u00EC\u00F2 \u00C9 \u0161"));
        QCOMPARE(text::toCp1252(text), std::optional<QByteArray>(bytes));
        QVERIFY(!text::toCp1252(QStringLiteral("Ma\u0142gorzata")).has_value());
        QVERIFY(!text::toCp1252(QStringLiteral("\u4E2D")).has_value());
        QCOMPARE(text::lowerAscii("LUNED\xCC \xC0Z"), QByteArray("luned\xCC \xC0z"));

        // Appending keeps what was there, also when a byte the code page
        // leaves undefined (0x81) sends the name to the converter.
        QString names = QStringLiteral("Anna");
        text::appendFromCp1252(bytes, names);
        text::appendFromCp1252("Zo\x81", names);
        QCOMPARE(names, QStringLiteral("Anna") + text + text::fromCp1252("Zo\x81"));
        QVERIFY(text::fromCp1252("Zo\x81").startsWith(u"Zo"));
    }
};

QTEST_APPLESS_MAIN(TestConversions)
#include "tst_conversions.moc"
