// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/SessionEnd.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace roradaza {
namespace {

constexpr int endingSignals[] = {SIGTERM, SIGHUP, SIGINT};
// The handler only writes a byte here; the event loop reads it.
int signalPipe[2] = {-1, -1};

extern "C" void onEndingSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
    errno = saved;
}

void restoreDefaults()
{
    struct sigaction current = {};
    for (const int number : endingSignals) {
        if (::sigaction(number, nullptr, &current) == 0 && current.sa_handler == onEndingSignal)
            std::signal(number, SIG_DFL);
    }
}

} // namespace

void SessionEnd::watchSignals()
{
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::perror("Roradaza: no pipe for the end of the session");
        return;
    }
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this, notifier] {
        char bytes[16];
        while (::read(signalPipe[0], bytes, sizeof bytes) > 0) {
        }
        notifier->setEnabled(false);
        // A second signal ends the program at once, should the way out hang.
        restoreDefaults();
        emit endRequested();
    });
    struct sigaction action = {};
    action.sa_handler = onEndingSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : endingSignals) {
        struct sigaction previous = {};
        // A signal the program was started to ignore (nohup) stays ignored.
        if (::sigaction(number, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN)
            continue;
        ::sigaction(number, &action, nullptr);
    }
}

void SessionEnd::forgetSignals()
{
    restoreDefaults();
    qDeleteAll(findChildren<QSocketNotifier *>());
    for (int &end : signalPipe) {
        if (end >= 0)
            ::close(end);
        end = -1;
    }
}

} // namespace roradaza
