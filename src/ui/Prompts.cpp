// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Prompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QRegularExpression>

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

} // namespace

Prompts::Answer DialogPrompts::ask(QWidget *parent, const QString &caption, const QString &text, QMessageBox::Icon icon,
                                   Buttons buttons)
{
    const bool yesNo = buttons == Buttons::YesNo;
    QMessageBox box(icon, caption, text,
                    yesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok | QMessageBox::Cancel,
                    ownerOf(parent));
    box.setDefaultButton(yesNo ? QMessageBox::Yes : QMessageBox::Ok);
    keepInFront(&box);
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
    keepInFront(&box);
    box.exec();
}

std::optional<QString> DialogPrompts::askText(QWidget *parent, const QString &caption, const QString &prompt,
                                              const QString &initial)
{
    QInputDialog box(ownerOf(parent));
    box.setWindowTitle(caption);
    box.setLabelText(prompt);
    box.setTextValue(initial);
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
