// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>
#include <QIcon>
#include <QLabel>
#include <QProxyStyle>
#include <QString>

#include <functional>

class QScreen;
class QWidget;

namespace roradaza {

// A font of the layouts, by character height in pixels; the family falls back
// to a look-alike where it is missing (MS Sans Serif, Times New Roman, Courier).
QFont uiFont(const QString &family, int pixelHeight);

// One of the program's pictures ("roradaza", "tray", "exit"), from its
// rendered sizes; "exit" also has its greyed image for the disabled state.
QIcon programIcon(const QString &name);

// Qt's own Italian, whatever the system's language: the file dialog, the
// text boxes' menus and the other parts Qt draws speak as the program does.
// False when the translations are not installed.
bool installQtItalian();

// The platform's style, with the icon of a menu bar's overflow button read
// only when that button is drawn. A menu bar asks for the icon when it is
// made, and reading Qt's own pictures loads every image plugin installed,
// which costs start-up more than the program's whole first window; the
// program's menu bar never overflows.
class ProgramStyle : public QProxyStyle
{
public:
    QIcon standardIcon(StandardPixmap which, const QStyleOption *option = nullptr,
                       const QWidget *widget = nullptr) const override;
};

// A picture that fills its label and looks the same while its window is
// disabled: a plain label would draw it greyed, and work out the greyed
// copy pixel by pixel at every paint.
class PictureLabel : public QLabel
{
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent *event) override;
};

// The designed light background and dark text, whatever the desktop's
// palette: the reminders' colours and the lists must stay readable on a dark one.
void keepLightColours(QWidget *widget);

// Where a pop-up menu of this size opens from the pointer: its corner next to
// the pointer, to the right and below where it fits in the area, otherwise to
// the left or above, and never under the pointer.
QPoint popupPlace(const QPoint &pointer, const QSize &size, const QRect &area);

// Centres a window on the screen that holds the mouse pointer, within its
// available area; a window larger than the area keeps its top left corner,
// with the title and the menu bar, inside it.
void centreOnPointerScreen(QWidget *window);

// Runs then once the window is on the screen: at once, except on Wayland
// before the compositor has mapped it. A window opened there before its
// owner is mapped would lie beneath it, without the keyboard.
void whenMapped(QWidget *window, std::function<void()> then);

// The screen a window is on, or the one under the pointer before it is shown.
QScreen *screenOf(const QWidget *window);

// The frame the window manager puts around a window: the one measured once
// it is shown; before, the one last measured on any window of the program.
QMargins frameOf(const QWidget *window);

// The room a window's inside may take on its screen: the available area less
// the frame.
QSize clientRoom(const QWidget *window);

// Moves a window, frame included, into its screen's available area, its top
// left corner first where it is larger.
void keepOnScreen(QWidget *window);

} // namespace roradaza
