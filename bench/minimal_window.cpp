// SPDX-License-Identifier: GPL-3.0-or-later
// The floor of bench/startup.sh: the least a Qt Widgets program does to show a
// window with a line of text, titled like the notification window so that the
// script finds both the same way, and closed after the same countdown of five
// 500 ms ticks.
#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Eventi Imminenti"));
    window.resize(515, 401);
    QLabel line(QStringLiteral("Calendario:  Secondo, Eustasio, Bertoldo"), &window);
    line.move(16, 32);
    window.show();

    int ticks = 0;
    QTimer countdown;
    countdown.setInterval(500);
    QObject::connect(&countdown, &QTimer::timeout, &app, [&] {
        if (++ticks == 5)
            QApplication::quit();
    });
    countdown.start();
    return QApplication::exec();
}
