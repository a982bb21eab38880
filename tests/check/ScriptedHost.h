// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "check/CheckEngine.h"

#include <QByteArrayList>
#include <QList>

#include <functional>
#include <utility>

// Answers the delete prompts from a queue (No once it runs dry) and
// remembers what the pass asked of the program around it.
class ScriptedHost final : public roradaza::CheckHost
{
public:
    explicit ScriptedHost(const roradaza::NotificationList &notices) : m_notices(notices) {}

    QList<bool> answers;
    // Runs once inside the next prompt, as a timer tick in its nested event loop would.
    std::function<void()> duringPrompt;

    QByteArrayList asked;
    QList<QByteArrayList> shownLines; // the notification lines at each show
    int shows = 0;
    int disables = 0;
    int modifications = 0;

    bool askDelete(const QByteArray &name) override
    {
        asked << name;
        if (const auto hook = std::exchange(duringPrompt, nullptr))
            hook();
        return !answers.isEmpty() && answers.takeFirst();
    }

    void showNotificationWindow() override
    {
        ++shows;
        QByteArrayList lines;
        for (const roradaza::NotificationList::Line &line : m_notices.lines())
            lines << line.text;
        shownLines << lines;
    }

    void disableMainWindow() override { ++disables; }
    void setModified() override { ++modifications; }

private:
    const roradaza::NotificationList &m_notices;
};
