// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMessageBox>
#include <QString>

#include <optional>

class QWidget;

namespace roradaza {

// Every question and message of the program goes through here, so that
// tests can script the answers and no real box ever blocks them.
class Prompts
{
public:
    enum class Buttons { YesNo, OkCancel };
    enum class Answer { Yes, No, Ok, Cancel };

    virtual ~Prompts() = default;
    virtual Answer ask(QWidget *parent, const QString &caption, const QString &text, QMessageBox::Icon icon,
                       Buttons buttons) = 0;
    virtual void tell(QWidget *parent, const QString &caption, const QString &text, QMessageBox::Icon icon) = 0;
    // The one-line input box; empty when the user cancels.
    virtual std::optional<QString> askText(QWidget *parent, const QString &caption, const QString &prompt,
                                           const QString &initial) = 0;
    // A password, typed unseen; empty when the user cancels.
    virtual std::optional<QString> askPassword(QWidget *parent, const QString &caption, const QString &prompt)
    {
        return askText(parent, caption, prompt, QString());
    }
    // A file to read (or, with save, to write); empty when the user cancels.
    virtual QString askFile(QWidget *parent, const QString &caption, const QString &filter, bool save) = 0;
};

// The suffix a save dialog adds to a bare name: the first pattern of the
// filter ("ics" for "Calendario iCalendar (*.ics)"), empty for "*".
QString defaultSuffixOf(const QString &filter);

// Qt's own boxes.
class DialogPrompts final : public Prompts
{
public:
    Answer ask(QWidget *parent, const QString &caption, const QString &text, QMessageBox::Icon icon,
               Buttons buttons) override;
    void tell(QWidget *parent, const QString &caption, const QString &text, QMessageBox::Icon icon) override;
    std::optional<QString> askText(QWidget *parent, const QString &caption, const QString &prompt,
                                   const QString &initial) override;
    std::optional<QString> askPassword(QWidget *parent, const QString &caption, const QString &prompt) override;
    QString askFile(QWidget *parent, const QString &caption, const QString &filter, bool save) override;
};

} // namespace roradaza
