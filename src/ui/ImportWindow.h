// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "exchange/Exchange.h"

#include <QDialog>

#include <vector>

class QPlainTextEdit;
class QTreeView;

namespace roradaza {

// What an import would add, each with a tick box, and below it what is
// already there and what cannot be imported, each with why. "&Ok" keeps the
// ticked records.
class ImportWindow final : public QDialog
{
    Q_OBJECT

public:
    ImportWindow(exchange::Conversion plan, const QString &fileName, QWidget *parent = nullptr);

    // The ticked records, moved out.
    std::vector<EventRecord> ticked();
    // One row per record: name, date or weekdays, days of warning, important;
    // the tick box is the name's check state.
    QTreeView *candidates() const { return m_candidates; }
    QPlainTextEdit *refusals() const { return m_refusals; }
    QPlainTextEdit *duplicates() const { return m_duplicates; }

private:
    std::vector<EventRecord> m_records;
    std::vector<bool> m_ticked;
    QTreeView *m_candidates = nullptr;
    QPlainTextEdit *m_refusals = nullptr;
    QPlainTextEdit *m_duplicates = nullptr;
};

} // namespace roradaza
