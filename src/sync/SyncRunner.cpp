// SPDX-License-Identifier: GPL-3.0-or-later
#include "sync/SyncRunner.h"

#include <QThread>

namespace roradaza::sync {

namespace {

// Nothing thrown on the worker may end the program: it becomes the outcome's failure.
Outcome guardedWork(const SyncRunner::Work &work, const SyncJob &job)
{
    try {
        return work(job);
    } catch (const Failure &failure) {
        Outcome outcome;
        outcome.state = job.state;
        outcome.failure = failure;
        return outcome;
    } catch (const std::exception &failure) {
        Outcome outcome;
        outcome.state = job.state;
        outcome.failure = Failure(Failure::Kind::Other, QString::fromLocal8Bit(failure.what()));
        return outcome;
    }
}

} // namespace

Outcome synchronizeWith(const SyncJob &job)
{
    const std::unique_ptr<Collection> collection = openCollection(job.account);
    return synchronize(*collection, job.state, job.local, job.today, job.stamp);
}

SyncRunner::SyncRunner(JobSource source, QObject *parent)
    : QObject(parent), m_source(std::move(source)), m_work(&synchronizeWith), m_discovery(&sync::discover)
{}

SyncRunner::~SyncRunner()
{
    if (m_thread) {
        m_thread->wait();
        delete m_thread;
    }
}

void SyncRunner::waitForIdle()
{
    m_syncWaiting = false;
    m_discoveryWaiting.reset();
    // What the job did on the server is told all the same: its state must be kept.
    if (m_thread)
        finishJob();
}

void SyncRunner::finishJob()
{
    QThread *thread = std::exchange(m_thread, nullptr);
    thread->wait();
    thread->deleteLater();
    std::exchange(m_done, {})();
}

void SyncRunner::request()
{
    if (isBusy()) {
        m_syncWaiting = true;
        return;
    }
    std::optional<SyncJob> job = m_source();
    if (!job)
        return;
    auto shared = std::make_shared<SyncJob>(std::move(*job));
    auto outcome = std::make_shared<Outcome>();
    launch([work = m_work, shared, outcome] { *outcome = guardedWork(work, *shared); },
           [this, shared, outcome] { emit syncFinished(*shared, *outcome); });
    emit syncStarted();
}

void SyncRunner::discover(const Account &account)
{
    if (isBusy()) {
        m_discoveryWaiting = account;
        return;
    }
    auto calendars = std::make_shared<std::vector<CalendarInfo>>();
    auto failure = std::make_shared<std::optional<Failure>>();
    launch(
        [discovery = m_discovery, account, calendars, failure] {
            try {
                *calendars = discovery(account);
            } catch (const Failure &error) {
                *failure = error;
            } catch (const std::exception &error) {
                *failure = Failure(Failure::Kind::Other, QString::fromLocal8Bit(error.what()));
            }
        },
        [this, calendars, failure] { emit discovered(*calendars, *failure); });
}

void SyncRunner::launch(std::function<void()> work, std::function<void()> done)
{
    m_thread = QThread::create(std::move(work));
    // Owned, so that a thread whose deleteLater the loop never reached still goes with the runner.
    m_thread->setParent(this);
    m_thread->setObjectName(QStringLiteral("sync"));
    m_done = std::move(done);
    QThread *thread = m_thread;
    // Queued to this object's thread: the results are read once the worker has ended.
    connect(m_thread, &QThread::finished, this, [this, thread] {
        if (m_thread != thread)
            return; // already delivered by waitForIdle
        finishJob();
        startNext();
    });
    m_thread->start();
}

void SyncRunner::startNext()
{
    if (isBusy())
        return;
    if (m_discoveryWaiting) {
        const Account account = *std::exchange(m_discoveryWaiting, std::nullopt);
        discover(account);
    } else if (std::exchange(m_syncWaiting, false)) {
        request();
    }
}

} // namespace roradaza::sync
