// SPDX-License-Identifier: GPL-3.0-or-later
#include "calendar/Clock.h"

#include <QLocale>

namespace roradaza {

char regionalDateSeparator()
{
    return QLocale::system().dateFormat(QLocale::ShortFormat).contains(QLatin1Char('.')) ? '.' : '/';
}

} // namespace roradaza
