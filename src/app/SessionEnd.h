#pragma once

#include <QObject>

namespace roradaza {

// The end of the user's session, however it comes: the session manager's
// request to save before logging out, or SIGTERM, SIGHUP and SIGINT. Each
// arrives as endRequested() on the event loop, never inside a signal handler;
// the session manager's request is answered before it returns.
class SessionEnd final : public QObject
{
    Q_OBJECT

public:
    explicit SessionEnd(QObject *parent = nullptr);
    ~SessionEnd() override;

signals:
    void endRequested();

private:
    // One implementation per system.
    void watchSignals();
    void forgetSignals();
};

} // namespace roradaza
