// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ImportWindow.h"

#include "store/Failure.h"
#include "store/Text.h"

#include <QAbstractTableModel>
#include <QDialogButtonBox>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

namespace roradaza {
namespace {

// The records an import would add, shown as they are scrolled to: a file
// of 65535 birthdays costs no widget per row.
class CandidateModel final : public QAbstractTableModel
{
public:
    CandidateModel(const std::vector<EventRecord> &records, std::vector<bool> &ticked, QObject *parent)
        : QAbstractTableModel(parent), m_records(records), m_ticked(ticked)
    {}

    int rowCount(const QModelIndex &parent = {}) const override { return parent.isValid() ? 0 : int(m_records.size()); }
    int columnCount(const QModelIndex &parent = {}) const override { return parent.isValid() ? 0 : 4; }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid())
            return {};
        const std::size_t row = std::size_t(index.row());
        if (role == Qt::CheckStateRole && index.column() == 0)
            return int(m_ticked[row] ? Qt::Checked : Qt::Unchecked);
        if (role != Qt::DisplayRole)
            return {};
        const EventRecord &record = m_records[row];
        switch (index.column()) {
        case 0:
            return text::fromCp1252(record.name);
        case 1:
            return exchange::describeWhen(record);
        case 2:
            return record.month == markers::weekly
                       ? QString()
                       : QStringLiteral("%1 giorni").arg(text::without(record.advance, markers::important).toInt());
        default:
            return record.advance.contains(markers::important) ? QStringLiteral("sì") : QString();
        }
    }

    bool setData(const QModelIndex &index, const QVariant &value, int role) override
    {
        if (!index.isValid() || index.column() != 0 || role != Qt::CheckStateRole)
            return false;
        m_ticked[std::size_t(index.row())] = value.toInt() == Qt::Checked;
        emit dataChanged(index, index, {Qt::CheckStateRole});
        return true;
    }

    Qt::ItemFlags flags(const QModelIndex &index) const override
    {
        Qt::ItemFlags flags = QAbstractTableModel::flags(index);
        if (index.column() == 0)
            flags |= Qt::ItemIsUserCheckable;
        return flags;
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        static const char *const titles[] = {"Evento", "Data o giorni", "Anticipo", "Importante"};
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section > 3)
            return {};
        return QString::fromLatin1(titles[section]);
    }

private:
    const std::vector<EventRecord> &m_records;
    std::vector<bool> &m_ticked;
};

} // namespace

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
    m_ticked.assign(m_records.size(), true);
    m_candidates = new QTreeView(this);
    m_candidates->setObjectName(QStringLiteral("Candidates"));
    m_candidates->setAccessibleName(QStringLiteral("Eventi da aggiungere"));
    m_candidates->setRootIsDecorated(false);
    m_candidates->setUniformRowHeights(true);
    m_candidates->setModel(new CandidateModel(m_records, m_ticked, m_candidates));
    m_candidates->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_candidates->header()->setStretchLastSection(false);
    layout->addWidget(m_candidates, 3);

    const auto addList = [&](const char *objectName, const QString &title, const std::vector<exchange::Refusal> &list) {
        auto *box = new QPlainTextEdit(this);
        box->setObjectName(QLatin1String(objectName));
        box->setAccessibleName(title.section(u' ', 0, -2));
        box->setReadOnly(true);
        // A file of a million broken entries would keep the window from
        // opening: the first thousands say enough, and the count says the rest.
        constexpr std::size_t shown = 5000;
        QString text;
        for (std::size_t at = 0; at < std::min(list.size(), shown); ++at) {
            if (!text.isEmpty())
                text += u'\n';
            text += list[at].text();
        }
        if (list.size() > shown)
            text += QStringLiteral("\n… e altri %1").arg(list.size() - shown);
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
    addList("Changed", QStringLiteral("Si importano con una modifica (%1):"), plan.changed);

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

std::vector<EventRecord> ImportWindow::ticked()
{
    std::vector<EventRecord> chosen;
    chosen.reserve(m_records.size());
    for (std::size_t row = 0; row < m_records.size(); ++row) {
        if (m_ticked[row])
            chosen.push_back(std::move(m_records[row]));
    }
    return chosen;
}

} // namespace roradaza
