// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QPlainTextEdit;

namespace roradaza {

// "Version History": the change log, read-only, kept between openings.
class TVersionHistoryForm final : public QDialog
{
    Q_OBJECT

public:
    explicit TVersionHistoryForm(QWidget *parent = nullptr);

    // The memo, its text in place.
    QPlainTextEdit *versionHistory();

protected:
    void showEvent(QShowEvent *event) override;

private:
    // The log and its font are put in the memo when first wanted: laying out
    // its text would load a font at every start for a window seldom opened.
    void fillMemo();

    QPlainTextEdit *m_versionHistory = nullptr;
    bool m_filled = false;
};

} // namespace roradaza
