#include "ui/Screens.h"

#include <QCursor>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QWidget>

namespace roradaza {

QFont uiFont(const QString &family, int pixelHeight)
{
    QFont font(family);
    if (family == QLatin1String("Times New Roman"))
        font.setFamilies({family, QStringLiteral("Liberation Serif"), QStringLiteral("Nimbus Roman"),
                          QStringLiteral("DejaVu Serif")});
    else if (family == QLatin1String("Courier"))
        font.setFamilies({family, QStringLiteral("Courier New"), QStringLiteral("Liberation Mono"),
                          QStringLiteral("Nimbus Mono PS"), QStringLiteral("DejaVu Sans Mono")});
    else
        font.setFamilies({family, QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                          QStringLiteral("Nimbus Sans"), QStringLiteral("DejaVu Sans")});
    font.setStyleHint(family == QLatin1String("Courier")           ? QFont::TypeWriter
                      : family == QLatin1String("Times New Roman") ? QFont::Serif
                                                                   : QFont::SansSerif);
    font.setPixelSize(pixelHeight);
    return font;
}

void fitToWidth(QLabel *label, int width)
{
    QFont font = label->font();
    while (font.pixelSize() > 8 && QFontMetrics(font).horizontalAdvance(label->text()) > width)
        font.setPixelSize(font.pixelSize() - 1);
    label->setFont(font);
    label->adjustSize();
}

void centreOnPointerScreen(QWidget *window)
{
    QScreen *screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    QRect frame = window->frameGeometry();
    frame.moveCenter(area.center());
    window->move(frame.topLeft());
}

} // namespace roradaza
