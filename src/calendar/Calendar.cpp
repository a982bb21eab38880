// SPDX-License-Identifier: GPL-3.0-or-later
#include "calendar/Calendar.h"

#include "store/Conversions.h"
#include "store/Failure.h"

#include <array>

namespace roradaza {

QByteArray Calendar::todayText() const
{
    const QDate today = m_clock.today();
    QByteArray text = QByteArray::number(today.day()).rightJustified(2, '0');
    text += m_separator;
    text += QByteArray::number(today.month()).rightJustified(2, '0');
    text += m_separator;
    text += QByteArray::number(today.year()).rightJustified(4, '0');
    return text;
}

int Calendar::todayDay() const
{
    return quint16(toInteger(todayText().mid(0, 2)));
}

int Calendar::todayMonth() const
{
    return quint16(toInteger(todayText().mid(3, 2)));
}

int Calendar::todayYear() const
{
    return quint16(toInteger(todayText().mid(6, 4)));
}

int Calendar::currentYear() const
{
    return m_clock.today().year();
}

int Calendar::monthDays(int month, int year)
{
    if (month > 11)
        return 31;
    const QDate first(year, month, 1);
    if (!first.isValid())
        throw Failure(QStringLiteral("Invalid argument to date encode"));
    return first.daysInMonth();
}

QByteArray Calendar::whatDay(int day, int month, int year) const
{
    const int length = monthDays(month, currentYear());
    if (length < day) {
        day -= length;
        month += 1;
        if (month == 13) {
            month = 1;
            year += 1;
        }
    }
    const QDate date(year, month, day);
    if (!date.isValid()) {
        const QByteArray text =
            QByteArray::number(day) + m_separator + QByteArray::number(month) + m_separator + QByteArray::number(year);
        throw Failure(QStringLiteral("'%1' is not a valid date").arg(QString::fromLatin1(text)));
    }
    return weekdayName(date.dayOfWeek() % 7 + 1);
}

const QByteArray &Calendar::weekdayName(int index)
{
    static const std::array<QByteArray, 8> names = {
        QByteArray(), "Domenica", "Luned\xEC", "Marted\xEC", "Mercoled\xEC", "Gioved\xEC", "Venerd\xEC", "Sabato",
    };
    return names.at(std::size_t(index));
}

const QByteArray &Calendar::monthName(int month)
{
    static const QByteArray none;
    static const std::array<QByteArray, 13> names = {
        "ogni mese", "Gennaio", "Febbraio", "Marzo",    "Aprile",   "Maggio",   "Giugno",
        "Luglio",    "Agosto",  "Settembre", "Ottobre", "Novembre", "Decembre",
    };
    return month >= 0 && month <= 12 ? names[std::size_t(month)] : none;
}

} // namespace roradaza
