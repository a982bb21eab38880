// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Prompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QGridLayout>
#include <QInputDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>

#include <utility>

namespace roradaza {
namespace {

// The visible window that stays on top of the others (the notification
// window), if any.
QWidget *windowOnTop()
{
    for (QWidget *window : QApplication::topLevelWidgets()) {
        const Qt::WindowType type = window->windowType();
        if (window->isVisible() && window->windowFlags().testFlag(Qt::WindowStaysOnTopHint) && type != Qt::Popup &&
            type != Qt::ToolTip)
            return window;
    }
    return nullptr;
}

// Under a window manager a box opened while a window stays on top would open
// beneath it, holding the keyboard unseen: the box becomes that window's
// child and stays on top itself.
QWidget *ownerOf(QWidget *parent)
{
    QWidget *onTop = windowOnTop();
    return parent || !onTop ? parent : onTop;
}

void keepInFront(QWidget *box)
{
    if (windowOnTop())
        box->setWindowFlag(Qt::WindowStaysOnTopHint);
}

// On Wayland Qt draws the title bar itself, with its buttons at both ends,
// and the caption of a narrow box ("Warning") is cut short: the box is made
// wide enough for it.
void fitCaption(QMessageBox &box)
{
    if (QGuiApplication::platformName() != QLatin1String("wayland"))
        return;
    QFont font = box.font();
    font.setBold(true);
    const int width = QFontMetrics(font).horizontalAdvance(box.windowTitle()) + 2 * 90;
    if (auto *grid = qobject_cast<QGridLayout *>(box.layout()))
        grid->addItem(new QSpacerItem(width, 0), grid->rowCount(), 0, 1, grid->columnCount());
}

// The boxes' buttons as the program has always named them, now that Qt's
// own texts are Italian.
void keepSpelling(QMessageBox *box)
{
    static constexpr std::pair<QMessageBox::StandardButton, const char *> names[] = {
        {QMessageBox::Yes, "&Yes"}, {QMessageBox::No, "&No"}, {QMessageBox::Ok, "OK"}, {QMessageBox::Cancel, "Cancel"}};
    for (const auto &[which, name] : names) {
        if (QAbstractButton *button = box->button(which))
            button->setText(QLatin1String(name));
    }
}

} // namespace

Prompts::Answer DialogPrompts::ask(QWidget *parent, const QString &caption, const QString &text, QMessageBox::Icon icon,
                                   Buttons buttons)
{
    const bool yesNo = buttons == Buttons::YesNo;
    QMessageBox box(icon, caption, text,
                    yesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok | QMessageBox::Cancel,
                    ownerOf(parent));
    box.setDefaultButton(yesNo ? QMessageBox::Yes : QMessageBox::Ok);
    keepSpelling(&box);
    keepInFront(&box);
    fitCaption(box);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::Ok:
        return Answer::Ok;
    case QMessageBox::Cancel:
        return Answer::Cancel;
    default:
        return yesNo ? Answer::No : Answer::Cancel;
    }
}

void DialogPrompts::tell(QWidget *parent, const QString &caption, const QString &text, QMessageBox::Icon icon)
{
    QMessageBox box(icon, caption, text, QMessageBox::Ok, ownerOf(parent));
    keepSpelling(&box);
    keepInFront(&box);
    fitCaption(box);
    box.exec();
}

std::optional<QString> DialogPrompts::askText(QWidget *parent, const QString &caption, const QString &prompt,
                                              const QString &initial)
{
    QInputDialog box(ownerOf(parent));
    box.setWindowTitle(caption);
    box.setLabelText(prompt);
    box.setTextValue(initial);
    box.setOkButtonText(QStringLiteral("OK"));
    box.setCancelButtonText(QStringLiteral("Cancel"));
    keepInFront(&box);
    if (box.exec() != QDialog::Accepted)
        return std::nullopt;
    return box.textValue();
}

std::optional<QString> DialogPrompts::askPassword(QWidget *parent, const QString &caption, const QString &prompt)
{
    QInputDialog box(ownerOf(parent));
    box.setWindowTitle(caption);
    box.setLabelText(prompt);
    box.setTextEchoMode(QLineEdit::Password);
    box.setOkButtonText(QStringLiteral("OK"));
    box.setCancelButtonText(QStringLiteral("Cancel"));
    keepInFront(&box);
    if (box.exec() != QDialog::Accepted)
        return std::nullopt;
    return box.textValue();
}

QString defaultSuffixOf(const QString &filter)
{
    // "Calendario iCalendar (*.ics)" gives "ics": the first pattern of the first filter.
    static const QRegularExpression pattern(QStringLiteral("\\(\\*\\.([^ ;)*?]+)"));
    const QRegularExpressionMatch match = pattern.match(filter);
    return match.hasMatch() ? match.captured(1) : QString();
}

QString DialogPrompts::askFile(QWidget *parent, const QString &caption, const QString &filter, bool save)
{
    if (!save)
        return QFileDialog::getOpenFileName(parent, caption, QString(), filter);
    // The suffix is added by the dialog, before it asks whether to replace a
    // file: "promemoria" asks about "promemoria.ics".
    QFileDialog dialog(parent, caption, QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(defaultSuffixOf(filter));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

} // namespace roradaza
