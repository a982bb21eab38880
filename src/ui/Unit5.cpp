// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Unit5.h"

#include "ui/Screens.h"

#include <QFile>
#include <QPlainTextEdit>
#include <algorithm>

namespace roradaza {

TVersionHistoryForm::TVersionHistoryForm(QWidget *parent) : QDialog(parent, Qt::Tool)
{
    setObjectName(QStringLiteral("TVersionHistoryForm"));
    setWindowTitle(QStringLiteral("Version History"));
    setFixedSize(663, 418);

    m_versionHistory = new QPlainTextEdit(this);
    m_versionHistory->setObjectName(QStringLiteral("VersionHistory"));
    m_versionHistory->setGeometry(0, 0, 663, 418);
    m_versionHistory->setReadOnly(true);
    m_versionHistory->setAccessibleName(windowTitle());
    m_versionHistory->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_versionHistory->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_versionHistory->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_versionHistory->setFrameStyle(QFrame::Panel | QFrame::Sunken);
}

QPlainTextEdit *TVersionHistoryForm::versionHistory()
{
    fillMemo();
    return m_versionHistory;
}

void TVersionHistoryForm::showEvent(QShowEvent *event)
{
    fillMemo();
    // Within the screen at any scale: the memo scrolls what does not fit.
    const QSize room = clientRoom(this);
    setFixedSize(std::min(663, room.width()), std::min(418, room.height()));
    m_versionHistory->resize(size());
    QDialog::showEvent(event);
    keepOnScreen(this);
}

void TVersionHistoryForm::fillMemo()
{
    if (m_filled)
        return;
    m_filled = true;
    m_versionHistory->setFont(uiFont(QStringLiteral("Courier"), 13));
    QFile log(QStringLiteral(":/changelog.txt"));
    if (log.open(QIODevice::ReadOnly))
        m_versionHistory->setPlainText(QString::fromUtf8(log.readAll()).trimmed());
}

} // namespace roradaza
