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

    QPlainTextEdit *versionHistory() const { return m_versionHistory; }

private:
    QPlainTextEdit *m_versionHistory = nullptr;
};

} // namespace roradaza
