// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sync/CalDav.h"
#include "sync/Engine.h"

#include <QDate>
#include <QDateTime>
#include <QObject>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QThread;

// Runs the sync's network work on a thread of its own, one job at a time, so
// that the windows and the tray never wait for a server. Everything it
// tells arrives on the thread that made it.
namespace roradaza::sync {

// One sync as asked for: who, and the list as it was when the sync began.
struct SyncJob
{
    Account account;
    SyncState state;
    std::vector<LocalRecord> local;
    QDate today;
    QDateTime stamp;
};

class SyncRunner final : public QObject
{
    Q_OBJECT

public:
    // What a sync does on the worker thread. By default: the collection at
    // the account's address, then the two-way sync over it. The collection
    // is made, used and ended on that thread.
    using Work = std::function<Outcome(const SyncJob &)>;
    using Discovery = std::function<std::vector<CalendarInfo>(const Account &)>;
    // Asked on this thread each time a sync starts, so that it takes the
    // list as it is then; no job: nothing to do now (off, or no password).
    using JobSource = std::function<std::optional<SyncJob>()>;

    explicit SyncRunner(JobSource source, QObject *parent = nullptr);
    ~SyncRunner() override;

    void setWork(Work work) { m_work = std::move(work); }
    void setDiscovery(Discovery discovery) { m_discovery = std::move(discovery); }

    // A sync now, or, while one runs, one more right after it (never more
    // than one waiting: it takes the list as it is when it starts).
    void request();
    // Finds the calendars under an address, on the worker thread as well.
    void discover(const Account &account);
    bool isBusy() const { return m_thread != nullptr; }
    // Waits for the job under way to end (the program is ending).
    void waitForIdle();

signals:
    void syncStarted();
    // job.local is what the outcome was made from: what to compare the list with.
    void syncFinished(const roradaza::sync::SyncJob &job, const roradaza::sync::Outcome &outcome);
    void discovered(const std::vector<roradaza::sync::CalendarInfo> &calendars,
                    const std::optional<roradaza::sync::Failure> &failure);

private:
    void startNext();
    void finishJob();
    void launch(std::function<void()> work, std::function<void()> done);

    JobSource m_source;
    Work m_work;
    Discovery m_discovery;
    QThread *m_thread = nullptr;
    std::function<void()> m_done;
    bool m_syncWaiting = false;
    std::optional<Account> m_discoveryWaiting;
};

// The default work: opens the collection and syncs; a failure to open is the outcome's failure.
Outcome synchronizeWith(const SyncJob &job);

} // namespace roradaza::sync
