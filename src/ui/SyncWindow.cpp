// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/SyncWindow.h"

#include "exchange/Exchange.h"
#include "store/Text.h"
#include "sync/DavClient.h"
#include "sync/SyncRunner.h"
#include "ui/Prompts.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>

#include <qt6keychain/keychain.h>

namespace roradaza {
namespace {

const QString service = QStringLiteral("Roradaza");

// Runs a keychain job to its end; a store that does not answer in a few
// seconds counts as none (the desktop's store may be locked behind a prompt
// no one answers).
bool finish(QKeychain::Job &job)
{
    QEventLoop loop;
    bool done = false;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, [&] {
        done = true;
        loop.quit();
    });
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    job.setAutoDelete(false);
    job.start();
    if (!done)
        loop.exec();
    return done;
}

} // namespace

QString passwordKeyOf(const QUrl &address, const QString &user)
{
    return user + u'@' + address.adjusted(QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment).toString();
}

std::optional<QString> PasswordStore::read(const QString &account)
{
    QKeychain::ReadPasswordJob job(service);
    job.setInsecureFallback(false); // never a file
    job.setKey(account);
    if (!finish(job)) {
        m_storeAnswered = false;
        return std::nullopt;
    }
    if (job.error() == QKeychain::NoError) {
        m_storeAnswered = true;
        return job.textData();
    }
    m_storeAnswered = job.error() == QKeychain::EntryNotFound;
    return std::nullopt;
}

bool PasswordStore::write(const QString &account, const QString &password)
{
    QKeychain::WritePasswordJob job(service);
    job.setInsecureFallback(false);
    job.setKey(account);
    job.setTextData(password);
    m_storeAnswered = finish(job) && job.error() == QKeychain::NoError;
    return m_storeAnswered;
}

void PasswordStore::forget(const QString &account)
{
    QKeychain::DeletePasswordJob job(service);
    job.setInsecureFallback(false);
    job.setKey(account);
    finish(job);
}

QString describeRecord(const EventRecord &record)
{
    QString words = QStringLiteral("\"%1\", %2").arg(text::fromCp1252(record.name), exchange::describeWhen(record));
    if (record.year != markers::everyYear)
        words += QStringLiteral(" %1").arg(text::fromCp1252(record.year));
    if (record.month != markers::weekly) {
        const QByteArray advance = text::without(record.advance, markers::important);
        bool number = false;
        const int days = advance.toInt(&number);
        words +=
            QStringLiteral(", %1 giorni di anticipo").arg(number ? QString::number(days) : text::fromCp1252(advance));
    }
    if (record.advance.contains(markers::important))
        words += QStringLiteral(", importante");
    if (record.day.contains(markers::autoDelete))
        words += QStringLiteral(", da cancellare dopo l'avviso");
    return words;
}

SyncWindow::SyncWindow(Settings settings, sync::SyncRunner &runner, Prompts &prompts, QWidget *parent)
    : QDialog(parent), m_runner(runner), m_prompts(prompts), m_pinned(settings.pinnedFingerprint)
{
    setObjectName(QStringLiteral("SyncWindow"));
    setWindowTitle(QStringLiteral("Sincronizzazione"));
    auto *layout = new QVBoxLayout(this);
    auto *form = new QFormLayout;
    layout->addLayout(form);

    m_address = new QLineEdit(settings.address.toString(), this);
    m_address->setObjectName(QStringLiteral("SyncAddress"));
    m_address->setPlaceholderText(QStringLiteral("https://server/remote.php/dav/calendars/utente/calendario/"));
    m_address->setMinimumWidth(420);
    form->addRow(QStringLiteral("&Indirizzo del calendario:"), m_address);
    m_user = new QLineEdit(settings.user, this);
    m_user->setObjectName(QStringLiteral("SyncUser"));
    form->addRow(QStringLiteral("&Utente:"), m_user);
    m_password = new QLineEdit(settings.password, this);
    m_password->setObjectName(QStringLiteral("SyncPassword"));
    m_password->setEchoMode(QLineEdit::Password);
    form->addRow(QStringLiteral("&Password:"), m_password);
    m_enabled = new QCheckBox(QStringLiteral("&Sincronizzazione attiva"), this);
    m_enabled->setObjectName(QStringLiteral("SyncEnabled"));
    m_enabled->setChecked(settings.enabled || settings.address.isEmpty());
    form->addRow(QString(), m_enabled);

    m_try = new QPushButton(QStringLiteral("P&rova"), this);
    m_try->setObjectName(QStringLiteral("SyncTry"));
    m_try->setAutoDefault(false);
    layout->addWidget(m_try, 0, Qt::AlignLeft);
    m_calendars = new QListWidget(this);
    m_calendars->setObjectName(QStringLiteral("SyncCalendars"));
    m_calendars->setAccessibleName(QStringLiteral("Calendari trovati"));
    m_calendars->hide();
    layout->addWidget(m_calendars);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("SyncStatus"));
    m_status->setWordWrap(true);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_status);
    auto *note = new QLabel(QStringLiteral("La password resta nel portachiavi del desktop; dove non c'è, "
                                           "viene chiesta una volta a ogni avvio e non è mai scritta in un file."),
                            this);
    note->setWordWrap(true);
    layout->addWidget(note);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Annulla"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &SyncWindow::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_try, &QPushButton::clicked, this, &SyncWindow::tryAddress);
    connect(m_calendars, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0)
            m_address->setText(m_calendars->item(row)->data(Qt::UserRole).toString());
    });
    connect(&m_runner, &sync::SyncRunner::discovered, this, &SyncWindow::showDiscovered);
}

SyncWindow::Settings SyncWindow::settings() const
{
    return Settings{QUrl(m_address->text().trimmed()), m_user->text().trimmed(), m_password->text(),
                    m_enabled->isChecked(), m_pinned};
}

void SyncWindow::tryAddress()
{
    const Settings now = settings();
    if (!now.address.isValid() || now.address.host().isEmpty()) {
        m_status->setText(QStringLiteral("Scrivere l'indirizzo del calendario (https://...)."));
        return;
    }
    m_trying = true;
    m_try->setEnabled(false);
    m_status->setText(QStringLiteral("Ricerca del calendario in corso..."));
    m_runner.discover(sync::Account{now.address, now.user, now.password, m_pinned});
}

void SyncWindow::showDiscovered(const std::vector<sync::CalendarInfo> &calendars,
                                const std::optional<sync::Failure> &failure)
{
    if (!m_trying)
        return;
    m_trying = false;
    m_try->setEnabled(true);
    if (failure) {
        m_status->setText(failure->words);
        if (failure->kind == sync::Failure::Kind::UntrustedCertificate && !failure->fingerprint.isEmpty()) {
            const auto answer = m_prompts.ask(
                this, QStringLiteral("Sincronizzazione"),
                QStringLiteral("%1\n\nAccettare questo certificato? Farlo solo se l'impronta è quella del proprio "
                               "server.")
                    .arg(failure->words),
                QMessageBox::Warning, Prompts::Buttons::YesNo);
            if (answer == Prompts::Answer::Yes) {
                m_pinned = failure->fingerprint;
                tryAddress();
            }
        }
        return;
    }
    m_calendars->clear();
    if (calendars.empty()) {
        m_calendars->hide();
        m_status->setText(QStringLiteral("Nessun calendario di eventi a questo indirizzo."));
        return;
    }
    if (calendars.size() == 1) {
        m_calendars->hide();
        m_address->setText(calendars.front().address.toString());
        m_status->setText(QStringLiteral("Calendario trovato: %1").arg(calendars.front().name));
        return;
    }
    for (const sync::CalendarInfo &calendar : calendars) {
        auto *item = new QListWidgetItem(
            QStringLiteral("%1 (%2)").arg(calendar.name,
                                          calendar.address.toString(QUrl::RemoveScheme | QUrl::RemoveAuthority)),
            m_calendars);
        item->setData(Qt::UserRole, calendar.address.toString());
    }
    m_calendars->show();
    m_status->setText(QStringLiteral("%1 calendari trovati: sceglierne uno.").arg(calendars.size()));
    m_calendars->setCurrentRow(0);
}

void SyncWindow::accept()
{
    const Settings now = settings();
    if (now.enabled || !now.address.isEmpty()) {
        const QString scheme = now.address.scheme().toLower();
        if (!now.address.isValid() || now.address.host().isEmpty() ||
            (scheme != QLatin1String("https") && scheme != QLatin1String("http"))) {
            m_status->setText(QStringLiteral("L'indirizzo deve cominciare con https:// e nominare il server."));
            return;
        }
        // Passwords and events travel in the clear over http: only to this computer.
        if (scheme == QLatin1String("http") && !sync::dav::isLoopback(now.address)) {
            m_status->setText(QStringLiteral("Serve un indirizzo https: con http la password e gli eventi "
                                             "viaggerebbero in chiaro (http va bene solo per questo computer)."));
            return;
        }
    }
    QDialog::accept();
}

SyncConflictWindow::SyncConflictWindow(std::vector<Shown> conflicts, const QStringList &leftOnServer,
                                       const QStringList &keptHere, QWidget *parent)
    : QDialog(parent), m_conflicts(std::move(conflicts))
{
    setObjectName(QStringLiteral("SyncConflictWindow"));
    setWindowTitle(QStringLiteral("Sincronizzazione: da decidere"));
    auto *layout = new QVBoxLayout(this);
    if (!m_conflicts.empty()) {
        auto *intro = new QLabel(QStringLiteral("Questi eventi sono stati cambiati sia qui sia sul server. "
                                                "Scegliere quale versione tenere: finché non si sceglie, "
                                                "restano entrambe."),
                                 this);
        intro->setWordWrap(true);
        layout->addWidget(intro);
        auto *scroll = new QScrollArea(this);
        scroll->setWidgetResizable(true);
        auto *inside = new QWidget(scroll);
        auto *list = new QVBoxLayout(inside);
        for (const Shown &conflict : m_conflicts) {
            auto *box = new QGroupBox(inside);
            box->setObjectName(QStringLiteral("Conflict"));
            auto *rows = new QVBoxLayout(box);
            auto *group = new QButtonGroup(box);
            const QString local =
                conflict.local ? describeRecord(*conflict.local) : QStringLiteral("cancellato da questo computer");
            auto *here = new QRadioButton(QStringLiteral("&Questo computer: %1").arg(local), box);
            auto *there = new QRadioButton(QStringLiteral("&Server: %1").arg(describeRecord(conflict.server)), box);
            auto *later = new QRadioButton(QStringLiteral("Decidere &dopo (restano entrambe)"), box);
            later->setChecked(true);
            group->addButton(later, 0);
            group->addButton(here, 1);
            group->addButton(there, 2);
            for (QRadioButton *button : {here, there, later})
                rows->addWidget(button);
            list->addWidget(box);
            m_groups << group;
        }
        list->addStretch();
        scroll->setWidget(inside);
        layout->addWidget(scroll, 1);
    }
    if (!leftOnServer.isEmpty()) {
        auto *intro = new QLabel(QStringLiteral("Eventi del server che Roradaza non può tenere (restano sul "
                                                "server, non sono cancellati):"),
                                 this);
        intro->setWordWrap(true);
        layout->addWidget(intro);
        m_leftOnServer = new QPlainTextEdit(leftOnServer.join(u'\n'), this);
        m_leftOnServer->setObjectName(QStringLiteral("LeftOnServer"));
        m_leftOnServer->setReadOnly(true);
        m_leftOnServer->setAccessibleName(QStringLiteral("Eventi rimasti sul server"));
        layout->addWidget(m_leftOnServer, 1);
    }
    if (!keptHere.isEmpty()) {
        auto *intro =
            new QLabel(QStringLiteral("Eventi che restano solo qui (nessun calendario li può mostrare):"), this);
        intro->setWordWrap(true);
        layout->addWidget(intro);
        m_keptHere = new QPlainTextEdit(keptHere.join(u'\n'), this);
        m_keptHere->setObjectName(QStringLiteral("KeptHere"));
        m_keptHere->setReadOnly(true);
        m_keptHere->setAccessibleName(QStringLiteral("Eventi che restano solo qui"));
        layout->addWidget(m_keptHere, 1);
    }
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    resize(560, 420);
}

std::vector<std::pair<QByteArray, bool>> SyncConflictWindow::choices() const
{
    std::vector<std::pair<QByteArray, bool>> chosen;
    for (qsizetype index = 0; index < m_groups.size(); ++index) {
        const int id = m_groups[index]->checkedId();
        if (id == 1 || id == 2)
            chosen.emplace_back(m_conflicts[std::size_t(index)].uid, id == 1);
    }
    return chosen;
}

} // namespace roradaza
