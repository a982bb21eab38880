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
    m_candidates->setRootIsDecorated(false);
    m_candidates->setHeaderLabels({QStringLiteral("Evento"), QStringLiteral("Data o giorni"),
                                   QStringLiteral("Anticipo"), QStringLiteral("Importante")});
    // All rows at once: one by one, the view would follow every insertion.
    QList<QTreeWidgetItem *> items;
    items.reserve(qsizetype(m_records.size()));
    for (const EventRecord &record : m_records) {
        const bool weekly = record.month == markers::weekly;
        const QByteArray advance = text::without(record.advance, markers::important);
        auto *item =
            new QTreeWidgetItem({text::fromCp1252(record.name), exchange::describeWhen(record),
                                 weekly ? QString() : QStringLiteral("%1 giorni").arg(advance.toInt()),
                                 record.advance.contains(markers::important) ? QStringLiteral("sì") : QString()});
        item->setCheckState(0, Qt::Checked);
        items << item;
    }
    m_candidates->addTopLevelItems(items);
    m_candidates->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_candidates->header()->setStretchLastSection(false);
    layout->addWidget(m_candidates, 3);

    const auto addList = [&](const char *objectName, const QString &title, const std::vector<exchange::Refusal> &list) {
        auto *box = new QPlainTextEdit(this);
        box->setObjectName(QLatin1String(objectName));
        box->setReadOnly(true);
        box->setLineWrapMode(QPlainTextEdit::NoWrap);
        QString text;
        for (const exchange::Refusal &refusal : list) {
            if (!text.isEmpty())
                text += u'\n';
            text += refusal.text();
        }
        box->setPlainText(text);
        if (list.empty()) {
            box->hide();
        } else {
            layout->addWidget(new QLabel(title.arg(list.size()), this));
            layout->addWidget(box, 1);
        }
        return box;
    };
    m_duplicates =
        addList("Duplicates", QStringLiteral("Già presenti, non si importano di nuovo (%1):"), plan.duplicates);
    m_refusals = addList("Refusals", QStringLiteral("Non si possono importare (%1):"), plan.refused);

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
