#include "calendar/Clock.h"

#include <QLocale>

namespace roradaza {

char regionalDateSeparator()
{
    return QLocale::system().dateFormat(QLocale::ShortFormat).contains(QLatin1Char('.')) ? '.' : '/';
}

} // namespace roradaza
