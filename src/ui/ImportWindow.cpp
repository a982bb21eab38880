// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ImportWindow.h"

#include "store/Failure.h"
#include "store/Text.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace roradaza {

ImportWindow::ImportWindow(exchange::Conversion plan, const QString &fileName, QWidget *parent)
    : QDialog(parent), m_records(std::move(plan.records))
{
    setObjectName(QStringLiteral("ImportWindow"));
    setWindowTitle(QStringLiteral("Importa eventi da %1").arg(fileName));
    resize(560, 420);
    auto *layout = new QVBoxLayout(this);

    layout->addWidget(new QLabel(m_records.empty() ? QStringLiteral("Nessun evento da aggiungere.")
                                                   : QStringLiteral("Eventi da aggiungere (togli la spunta a "
                                                                    "quelli che non vuoi):"),
                                 this));
    m_candidates = new QTreeWidget(this);
    m_candidates->setObjectName(QStringLiteral("Candidates"));
    m_candidates->setAccessibleName(QStringLiteral("Eventi da aggiungere"));
    m_candidates->setRootIsDecorated(false);
    m_candidates->setHeaderLabels({QStringLiteral("Evento"), QStringLiteral("Data o giorni"),
                                   QStringLiteral("Anticipo"), QStringLiteral("Importante")});
    for (const EventRecord &record : m_records) {
        const bool weekly = record.month == markers::weekly;
        const QByteArray advance = text::without(record.advance, markers::important);
        auto *item = new QTreeWidgetItem(
            m_candidates, {text::fromCp1252(record.name), exchange::describeWhen(record),
                           weekly ? QString() : QStringLiteral("%1 giorni").arg(advance.toInt()),
                           record.advance.contains(markers::important) ? QStringLiteral("sì") : QString()});
        item->setCheckState(0, Qt::Checked);
    }
    m_candidates->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_candidates->header()->setStretchLastSection(false);
    layout->addWidget(m_candidates, 3);

    m_refusals = new QPlainTextEdit(this);
    m_refusals->setObjectName(QStringLiteral("Refusals"));
    m_refusals->setAccessibleName(QStringLiteral("Non si possono importare"));
    m_refusals->setReadOnly(true);
    QStringList lines;
    for (const exchange::Refusal &refusal : plan.refused)
        lines << refusal.text();
    m_refusals->setPlainText(lines.join(u'\n'));
    if (!lines.isEmpty()) {
        layout->addWidget(new QLabel(QStringLiteral("Non si possono importare:"), this));
        layout->addWidget(m_refusals, 1);
    } else {
        m_refusals->hide();
    }

    auto *buttons = new QDialogButtonBox(this);
    QPushButton *ok = buttons->addButton(QStringLiteral("&Ok"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("Ok"));
    ok->setDefault(true);
    ok->setEnabled(!m_records.empty());
    buttons->addButton(QStringLiteral("Annulla"), QDialogButtonBox::RejectRole)
        ->setObjectName(QStringLiteral("Annulla"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

std::vector<EventRecord> ImportWindow::ticked() const
{
    std::vector<EventRecord> chosen;
    for (int row = 0; row < m_candidates->topLevelItemCount(); ++row) {
        if (m_candidates->topLevelItem(row)->checkState(0) == Qt::Checked)
            chosen.push_back(m_records[std::size_t(row)]);
    }
    return chosen;
}

} // namespace roradaza
