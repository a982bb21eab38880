// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/EventRecord.h"
#include "sync/CalDav.h"
#include "sync/Engine.h"

#include <QDialog>

#include <optional>
#include <utility>
#include <vector>

class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

namespace roradaza {

class Prompts;
namespace sync {
class SyncRunner;
}

// The password of a sync account, in the desktop's secret store. Where no
// store answers, the password is kept in this object only (for this run):
// never in a file.
class PasswordStore
{
public:
    // Empty when there is none stored or no store answers.
    std::optional<QString> read(const QString &account);
    // False when no store answers: the caller keeps it in memory.
    bool write(const QString &account, const QString &password);
    void forget(const QString &account);
    bool storeAnswered() const { return m_storeAnswered; }

private:
    bool m_storeAnswered = true;
};

// The key a password is stored under: the user and the server.
QString passwordKeyOf(const QUrl &address, const QString &user);

// A record in words, as the sync's windows show it: name, date, warning, markers.
QString describeRecord(const EventRecord &record);

// "Sincronizzazione": the collection's address, the user, the password, on/off,
// and "Prova", which finds the calendar (or lists those under a root to pick one).
class SyncWindow final : public QDialog
{
    Q_OBJECT

public:
    struct Settings
    {
        QUrl address;
        QString user;
        QString password;
        bool enabled = false;
        QByteArray pinnedFingerprint;
    };

    SyncWindow(Settings settings, sync::SyncRunner &runner, Prompts &prompts, QWidget *parent = nullptr);
    Settings settings() const;

    QLineEdit *addressBox() const { return m_address; }
    QLineEdit *userBox() const { return m_user; }
    QLineEdit *passwordBox() const { return m_password; }
    QCheckBox *enabledBox() const { return m_enabled; }
    QPushButton *tryButton() const { return m_try; }
    QListWidget *calendars() const { return m_calendars; }
    QLabel *status() const { return m_status; }

    // What "Prova" found, or why it found nothing.
    void showDiscovered(const std::vector<sync::CalendarInfo> &calendars, const std::optional<sync::Failure> &failure);

private:
    void tryAddress();
    void accept() override;

    sync::SyncRunner &m_runner;
    Prompts &m_prompts;
    QByteArray m_pinned;
    bool m_trying = false;
    QLineEdit *m_address = nullptr;
    QLineEdit *m_user = nullptr;
    QLineEdit *m_password = nullptr;
    QCheckBox *m_enabled = nullptr;
    QPushButton *m_try = nullptr;
    QListWidget *m_calendars = nullptr;
    QLabel *m_status = nullptr;
};

// Events both sides changed, each shown both ways, to keep one; the
// server's events that cannot become records, which stay there; and the
// records no calendar can show, which stay here only.
class SyncConflictWindow final : public QDialog
{
    Q_OBJECT

public:
    struct Shown
    {
        QByteArray uid;
        std::optional<EventRecord> local; // gone here: nothing to show
        EventRecord server;
    };
    SyncConflictWindow(std::vector<Shown> conflicts, const QStringList &leftOnServer, const QStringList &keptHere,
                       QWidget *parent = nullptr);

    // The choices made: uid, true for the local version. Conflicts left
    // undecided are not named: both versions stay until the user chooses.
    std::vector<std::pair<QByteArray, bool>> choices() const;
    // For each conflict: 0 undecided, 1 local, 2 server.
    QList<QButtonGroup *> groups() const { return m_groups; }
    QPlainTextEdit *leftOnServer() const { return m_leftOnServer; }
    QPlainTextEdit *keptHere() const { return m_keptHere; }

private:
    std::vector<Shown> m_conflicts;
    QList<QButtonGroup *> m_groups;
    QPlainTextEdit *m_leftOnServer = nullptr;
    QPlainTextEdit *m_keptHere = nullptr;
};

} // namespace roradaza
