// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Unit4.h"

#include "check/NotificationList.h"
#include "store/Text.h"
#include "ui/Screens.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTextCursor>
#include <QTextEdit>
#include <QTimer>
#include <algorithm>

namespace roradaza {

QColor fromWindowsColour(quint32 colour)
{
    return QColor(int(colour & 0xFF), int((colour >> 8) & 0xFF), int((colour >> 16) & 0xFF));
}

TForm4::TForm4(const NotificationList &notices, NotificationOwner &owner, const QPixmap &background)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), m_notices(notices),
      m_owner(owner)
{
    setObjectName(QStringLiteral("TForm4"));
    setWindowTitle(QStringLiteral("Eventi Imminenti"));
    setFixedSize(515, 401);
    setFont(uiFont(QStringLiteral("MS Sans Serif"), 11));

    // The panel's border is a two-pixel edge; inside it a raised bevel of one
    // pixel frames the picture, which fills what the bevel leaves: 509 by 395.
    auto *panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setGeometry(0, 0, 515, 401);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setLineWidth(2);
    auto *bevel = new QFrame(panel);
    bevel->setObjectName(QStringLiteral("Panel1Bevel"));
    bevel->setGeometry(panel->contentsRect());
    bevel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    bevel->setLineWidth(1);

    auto *image = new QLabel(bevel);
    image->setObjectName(QStringLiteral("Image1"));
    image->setGeometry(bevel->contentsRect());
    image->setScaledContents(true);
    image->setPixmap(background);

    auto *heading = new QLabel(QStringLiteral("Eventi Imminenti"), panel);
    heading->setObjectName(QStringLiteral("Label1"));
    heading->move(168, 8);
    QFont headingFont = uiFont(QStringLiteral("Times New Roman"), 21);
    headingFont.setBold(true);
    headingFont.setItalic(true);
    heading->setFont(headingFont);
    heading->setStyleSheet(QStringLiteral("color: #ff0000; background: transparent;"));
    heading->adjustSize();

    m_listBox = new QTextEdit(panel);
    m_listBox->setObjectName(QStringLiteral("ListBox1"));
    m_listBox->setGeometry(16, 32, 481, 313);
    m_listBox->setReadOnly(true);
    m_listBox->setLineWrapMode(QTextEdit::NoWrap);
    m_listBox->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Lines beyond the box's height are reached with a scroll bar and the wheel.
    m_listBox->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    keepLightColours(m_listBox);
    m_listBox->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_listBox->viewport()->setCursor(Qt::ArrowCursor);
    m_listBox->setTextColor(fromWindowsColour(colours::blue));
    m_listBox->installEventFilter(this);

    QFont buttonFont = uiFont(QStringLiteral("MS Sans Serif"), 16);
    buttonFont.setBold(true);
    const auto makeButton = [&](const QString &name) {
        auto *button = new QPushButton(QStringLiteral("&Ok"), panel);
        button->setObjectName(name);
        button->setGeometry(184, 352, 153, 33);
        button->setFont(buttonFont);
        button->setDefault(true);
        button->setAutoDefault(true);
        return button;
    };
    m_button1 = makeButton(QStringLiteral("Button1"));
    m_button2 = makeButton(QStringLiteral("Button2"));
    m_button2->hide();
    setTabOrder(m_button1, m_button2);
    setTabOrder(m_button2, m_listBox);
    // For a screen reader: a dialog (see Accessibility.cpp) whose lines are read from the list.
    image->setAccessibleName(QStringLiteral("Sfondo"));
    image->setAccessibleDescription(QStringLiteral("Immagine di sfondo, senza contenuto"));
    m_listBox->setAccessibleName(QStringLiteral("Eventi Imminenti"));

    connect(m_button1, &QPushButton::clicked, this, &TForm4::Button1Click);
    connect(m_button2, &QPushButton::clicked, this, &TForm4::Button2Click);
}

void TForm4::render()
{
    // The whole list is laid out in one document, not line by line on screen.
    QTextDocument *document = m_listBox->document();
    document->clear();
    QTextCursor cursor(document);
    QTextCharFormat format;
    cursor.beginEditBlock();
    for (int row = 0; row < m_notices.count(); ++row) {
        const NotificationList::Line &line = m_notices.line(row);
        if (row > 0)
            cursor.insertBlock();
        format.setForeground(fromWindowsColour(line.colour));
        cursor.insertText(text::fromCp1252(line.text), format);
    }
    cursor.endEditBlock();
}

void TForm4::showNotifications()
{
    render();
    fitScreen();
    if (!m_placed) {
        centreOnPointerScreen(this);
        m_placed = true;
    }
    show();
    takeFocus();
    // Once more when the loop comes back: a window shown in the same turn
    // (the main window at start-up, mapped after its first check) would take
    // the keyboard otherwise. A box open by then keeps it.
    QTimer::singleShot(0, this, [this] {
        if (isVisible() && !QApplication::activeModalWidget())
            takeFocus();
    });
}

void TForm4::takeFocus()
{
    // The window takes the keyboard, so that Enter presses its visible "&Ok"
    // rather than reaching the disabled window behind it.
    raise();
    activateWindow();
    (m_button1->isVisible() ? m_button1 : m_button2)->setFocus();
}

void TForm4::fitScreen()
{
    // On a screen too short for the window (a large scale), the list gives up
    // the lines that do not fit, and "&Ok" stays in sight below it.
    const int shortBy = std::clamp(401 - clientRoom(this).height(), 0, 200);
    if (height() == 401 - shortBy)
        return;
    setFixedSize(515, 401 - shortBy);
    auto *panel = findChild<QFrame *>(QStringLiteral("Panel1"));
    panel->resize(size());
    auto *bevel = findChild<QFrame *>(QStringLiteral("Panel1Bevel"));
    bevel->setGeometry(panel->contentsRect());
    findChild<QLabel *>(QStringLiteral("Image1"))->setGeometry(bevel->contentsRect());
    m_listBox->resize(481, 313 - shortBy);
    m_button1->move(184, 352 - shortBy);
    m_button2->move(184, 352 - shortBy);
}

void TForm4::keyPressEvent(QKeyEvent *event)
{
    // Escape dismisses the window as "&Ok" does.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        (m_button1->isVisible() ? m_button1 : m_button2)->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TForm4::Button1Click()
{
    close();
}

void TForm4::Button2Click()
{
    m_owner.enableMainWindow();
    hide();
}

void TForm4::closeEvent(QCloseEvent *event)
{
    FormClose();
    event->accept();
}

void TForm4::FormClose()
{
    m_owner.startCountdown();
    m_owner.enableStopButton();
    m_owner.enableMainWindow();
    m_button1->hide();
    m_button2->show();
}

void TForm4::ListBox1Enter()
{
    (m_button1->isVisible() ? m_button1 : m_button2)->setFocus();
}

bool TForm4::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_listBox && event->type() == QEvent::FocusIn)
        ListBox1Enter();
    return QWidget::eventFilter(watched, event);
}

} // namespace roradaza
