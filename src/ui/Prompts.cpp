#include "ui/Prompts.h"

#include <QFileDialog>
#include <QInputDialog>

namespace roradaza {

Prompts::Answer DialogPrompts::ask(QWidget *parent, const QString &caption, const QString &text,
                                   QMessageBox::Icon icon, Buttons buttons)
{
    const bool yesNo = buttons == Buttons::YesNo;
    QMessageBox box(icon, caption, text,
                    yesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok | QMessageBox::Cancel, parent);
    box.setDefaultButton(yesNo ? QMessageBox::Yes : QMessageBox::Ok);
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
    QMessageBox box(icon, caption, text, QMessageBox::Ok, parent);
    box.exec();
}

std::optional<QString> DialogPrompts::askText(QWidget *parent, const QString &caption, const QString &prompt,
                                              const QString &initial)
{
    bool accepted = false;
    const QString text = QInputDialog::getText(parent, caption, prompt, QLineEdit::Normal, initial, &accepted);
    if (!accepted)
        return std::nullopt;
    return text;
}

QString DialogPrompts::askFile(QWidget *parent, const QString &caption, const QString &filter, bool save)
{
    return save ? QFileDialog::getSaveFileName(parent, caption, QString(), filter)
                : QFileDialog::getOpenFileName(parent, caption, QString(), filter);
}

} // namespace roradaza
