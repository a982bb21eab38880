// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

namespace roradaza {

// The end of the user's session. SIGTERM, SIGHUP and SIGINT arrive as
// endRequested() on the event loop, never inside a signal handler. The
// session manager's request for the data arrives as saveRequested(), to be
// answered before it returns: it comes for checkpoints too, so it does not
// end anything; the session manager's own end comes as Qt's request to quit.
class SessionEnd final : public QObject
{
    Q_OBJECT

public:
    explicit SessionEnd(QObject *parent = nullptr);
    ~SessionEnd() override;

signals:
    void endRequested();
    void saveRequested();

private:
    // One implementation per system.
    void watchSignals();
    void forgetSignals();
};

} // namespace roradaza
