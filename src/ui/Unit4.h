// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

class QLabel;
class QPushButton;
class QTextEdit;

namespace roradaza {

class NotificationList;

// What closing the notification window does to the main window.
class NotificationOwner
{
public:
    virtual ~NotificationOwner() = default;
    virtual void startCountdown() = 0;   // Timer1
    virtual void enableStopButton() = 0; // Button4
    virtual void enableMainWindow() = 0;
};

// "Eventi Imminenti": the lines of the last check, coloured, over the
// background picture, with one OK button.
class TForm4 final : public QWidget
{
    Q_OBJECT

public:
    TForm4(const NotificationList &notices, NotificationOwner &owner, const QPixmap &background);

    // Shows the list as it stands, without waiting; rendered once per call.
    void showNotifications();

    QTextEdit *listBox() const { return m_listBox; }
    QPushButton *button1() const { return m_button1; }
    QPushButton *button2() const { return m_button2; }

    void Button1Click();
    void Button2Click();

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void render();
    void takeFocus();
    void fitScreen();
    void FormClose();
    void ListBox1Enter();

    const NotificationList &m_notices;
    NotificationOwner &m_owner;
    QTextEdit *m_listBox = nullptr;
    QPushButton *m_button1 = nullptr;
    QPushButton *m_button2 = nullptr;
    bool m_placed = false;
};

QColor fromWindowsColour(quint32 colour);

} // namespace roradaza
