// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/SessionEnd.h"

#include <QGuiApplication>
#include <QSessionManager>

namespace roradaza {

SessionEnd::SessionEnd(QObject *parent) : QObject(parent)
{
    connect(
        qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager &) { emit saveRequested(); },
        Qt::DirectConnection);
    watchSignals();
}

SessionEnd::~SessionEnd()
{
    forgetSignals();
}

} // namespace roradaza
