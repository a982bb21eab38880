// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDate>

namespace roradaza {

// Where "today" comes from: the system clock in the program, a set day in
// tests and in the terminal check.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual QDate today() const = 0;
};

class SystemClock final : public Clock
{
public:
    QDate today() const override { return QDate::currentDate(); }
};

class FixedClock final : public Clock
{
public:
    explicit FixedClock(QDate date) : m_date(date) {}
    QDate today() const override { return m_date; }
    void setDate(QDate date) { m_date = date; }

private:
    QDate m_date;
};

// "." when the user's short date format separates with dots, else "/".
char regionalDateSeparator();

} // namespace roradaza
