// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "calendar/Calendar.h"
#include "check/CheckEngine.h"
#include "check/NotificationList.h"
#include "exchange/Exchange.h"
#include "store/DatabaseFile.h"
#include "store/DatabaseReadAhead.h"
#include "store/EventList.h"
#include "store/SettingsFile.h"
#include "sync/SyncRunner.h"
#include "sync/SyncSession.h"
#include "ui/Platform.h"
#include "ui/SyncWindow.h"
#include "ui/Unit2.h"
#include "ui/Unit4.h"

#include <QMainWindow>
#include <QMessageBox>
#include <QPersistentModelIndex>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QSystemTrayIcon;
class QTimer;
class QTreeView;

namespace roradaza {

class EventListModel;
class TVersionHistoryForm;

// The main window: owner of the event list and of the program's state, with
// its compact start-up form and countdown, the tray icon, the automatic check
// and the menus.
class TForm1 final : public QMainWindow, private CheckHost, private NotificationOwner, private EditorOwner
{
    Q_OBJECT

public:
    explicit TForm1(const Platform &platform);
    ~TForm1() override;

    // Loads the settings and the events. False when the user declined to
    // convert an older database: the program then ends without showing anything.
    bool FormCreate();
    // The other windows, created after this one.
    void attach(TForm2 *editor, TForm4 *notifications, TVersionHistoryForm *history);

    // Handlers, each run inside the error guard when the user or a timer starts it.
    void CheckBirthday1Click();
    void SaveDatabase1Click();
    void Timer1Timer();
    void Button4Click();
    void Exit1Click();
    void Exit2Click();
    void Restore1Click();
    void Controlla1Click();
    void AutoCheck1Click();
    void IconizzainbarraperpcATX1Click();
    void imerControlloAutomatico1Click();
    void tmCheckSaintClick();
    void RunOnStartupClick();
    void About1Click();
    void VersionHistory1Click();
    void Homepage1Click();
    void Contattami1Click();
    void ImportadaRoradaza1Click();
    // Events in and out through calendar and address-book files.
    void EsportaCalendario1Click();
    void DaCalendario1Click();
    void DaRubrica1Click();
    // The sync with a CalDAV server: now, and its settings.
    void SincronizzaOra1Click();
    void Sincronizzazione1Click();
    // A second start on the same data folder: come back as "&Ripristina" does.
    void comeForward();
    // The user's session ends: open boxes are closed, then the program ends
    // as "E&sci" ends it. A failed save is reported on the terminal, for no
    // one is left to answer a box, and the files stay as they were.
    void endSession();
    bool hasEnded() const { return m_ended; }
    // 1 when the session ended the program and its last save failed.
    int exitStatus() const { return m_exitStatus; }
    // The session manager asks for the data, at the end of the session or
    // at a checkpoint: a changed list is saved, and nothing else happens.
    // An open box is left alone; the ending that follows saves in its turn.
    void saveForSession();
    // The event list and its search filter.
    void ComboBox1Change();
    void ListView2SelectItem();
    void Li();
    void ListView2Change();
    void AddBirthday1Click();
    void Edit1Click();
    void Delete1Click();

    NotificationOwner &notificationOwner() { return *this; }
    EditorOwner &editorOwner() { return *this; }
    const Calendar &calendar() const { return m_calendar; }

    // State the tests and the other windows look at.
    EventList &events() { return m_events; }
    const NotificationList &notices() const { return m_notices; }
    bool isModified() const { return m_modified; }
    bool isCompact() const { return m_compact; }
    bool minimiseToTray() const { return m_settings.minimiseToTray; }
    bool saintsOption() const { return m_engine.saintsOption(); }
    bool isHiddenInTray() const { return m_hiddenInTray; }
    bool isAutoCheckEnabled() const { return m_autoCheckEnabled; }
    int checkInterval() const { return m_settings.checkInterval; }
    bool isTrayIconShown() const;
    const QString &title() const { return m_title; }
    const QPixmap &background() const { return m_background; }
    QMenu *trayMenu() const { return m_popupMenu2; }
    sync::SyncSession &syncSession() { return *m_sync; }
    sync::SyncRunner &syncRunner() { return *m_syncRunner; }
    // What the tray's tool tip and the caption say of the sync, empty when nothing.
    const QString &syncStatus() const { return m_syncStatus; }
    QTimer *loopCheck() const { return m_loopCheck; }
    QTimer *countdown() const { return m_timer1; }
    QProgressBar *progressBar() const { return m_progressBar1; }
    QPushButton *stopButton() const { return m_button4; }
    QTreeView *eventView() const { return m_listView1; }
    QTreeView *filteredView() const { return m_listView2; }
    const EventList &filtered() const { return m_filtered; }
    QComboBox *searchBox() const { return m_comboBox1; }
    QMenu *listMenu() const { return m_popupMenu1; }
    bool isListMenuOn() const { return m_listMenuOn; }
    int currentRow() const override;
    QWidget *client() const { return m_client; }
    static constexpr int clientWidth = 417;
    static constexpr int expandedClientHeight = 457;
    static constexpr int compactClientHeight = 457 - (503 - 155);

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // CheckHost
    bool askDelete(const QByteArray &name) override;
    void showNotificationWindow() override;
    void disableMainWindow() override;
    void setModified() override { m_modified = true; }
    // NotificationOwner
    void startCountdown() override;
    void enableStopButton() override;
    void enableMainWindow() override;
    // EditorOwner
    EventList &editedEvents() override { return m_events; }
    void recordSaved(int row) override;
    void editorClosed() override;

    void makeCurrent(int row);
    void applyEnablingRule(QTreeView *view);
    void focusList();
    void buildClient();
    void buildMenus();
    void buildTray();
    void layoutClient();
    void setClientHeight(int height);
    void FormShow();
    void FormClose();
    // Exit2Click's work: false when a save failed and the user chose to stay.
    bool endProgram();
    void applyLoopCheck();
    void openTrayMenu(const QPoint &pointer);
    void showTrayIcon();
    void moveToTray();
    int expandedHeight() const;
    void hideTrayIcon();
    void showError(const QString &text);
    void tell(const QString &text);
    void importFrom(const QString &path, exchange::Conversion conversion);
    // The sync: asked for at every occasion, run beside the windows, its
    // outcome applied when it comes back.
    void requestSync();
    std::optional<sync::SyncJob> syncJob();
    std::optional<QString> syncPassword();
    void syncFinished(const sync::SyncJob &job, const sync::Outcome &outcome);
    void applySync(const sync::SyncJob &job, sync::Outcome outcome);
    void applyPendingSync();
    void syncFailed(const sync::Failure &failure);
    void showSyncState();
    void showConflicts(const std::vector<exchange::Refusal> &leftOnServer,
                       const std::vector<exchange::Refusal> &keptHere, bool always);

    // The one error guard: a failure ends the handler and shows the standard
    // error box; the program goes on. True when the handler ran to its end.
    template <typename Handler> bool guarded(Handler &&handler);
    QAction *action(QMenu *menu, const char *name, const QString &text, void (TForm1::*handler)());

    Platform m_platform;
    QString m_title;
    // Begun first, so that the file is read while the windows are built.
    DatabaseReadAhead m_readAhead;
    QPixmap m_background;

    EventList m_events;
    EventList m_filtered; // copies of the records that match the search text
    NotificationList m_notices;
    Calendar m_calendar;
    CheckEngine m_engine;
    DatabaseFile m_database;
    SettingsFile m_settingsFile;
    Settings m_settings;

    bool m_firstShow = true;
    bool m_compact = true;
    bool m_modified = false;
    bool m_hiddenInTray = false;
    bool m_autoCheckEnabled = true;
    bool m_placed = false;
    bool m_minimisedForTray = false;
    bool m_closingByCountdown = false;
    bool m_sessionEnding = false;
    int m_exitStatus = 0;
    bool m_reportOnTerminal = false; // no one is left to answer a box
    int m_boxesClosedForEnd = 0;
    bool m_ended = false;

    QWidget *m_client = nullptr;
    EventListModel *m_model = nullptr;
    EventListModel *m_filteredModel = nullptr;
    QPushButton *m_button2 = nullptr;
    QPushButton *m_button3 = nullptr;
    QMenu *m_popupMenu1 = nullptr;
    bool m_listMenuOn = false;
    // The record "&Aggiungi" made, followed through sorts and deletions.
    QPersistentModelIndex m_added;
    QTreeView *m_listView1 = nullptr;
    QTreeView *m_listView2 = nullptr;
    QComboBox *m_comboBox1 = nullptr;
    QProgressBar *m_progressBar1 = nullptr;
    QPushButton *m_button4 = nullptr;
    // Controls anchored to the bottom edge, with their places in the full form.
    std::vector<std::pair<QWidget *, QRect>> m_bottomAnchored;
    int m_listView1Height = 345;

    QTimer *m_loopCheck = nullptr;
    QTimer *m_timer1 = nullptr;
    QAction *m_checkBirthday1 = nullptr;
    QAction *m_tmCheckSaint = nullptr;
    QAction *m_iconizza = nullptr;
    QAction *m_runOnStartup = nullptr;
    QAction *m_autoCheck1 = nullptr;
    QMenu *m_popupMenu2 = nullptr;
    QSystemTrayIcon *m_tray = nullptr;

    std::unique_ptr<sync::SyncSession> m_sync;
    sync::SyncRunner *m_syncRunner = nullptr;
    PasswordStore m_passwords;
    std::optional<QString> m_password; // for this run only, never written
    bool m_passwordAsked = false;
    bool m_userAskedSync = false;
    bool m_syncFailureTold = false;
    bool m_applyingSync = false; // the save that applies a sync starts none
    bool m_leaving = false;
    bool m_showSyncWindowNext = false; // what waits for a choice is shown again when the user asks
    QString m_syncStatus;
    // An outcome that changes the list, waiting while the editor or a box is open.
    std::optional<std::pair<sync::SyncJob, sync::Outcome>> m_pendingSync;
    QTimer *m_pendingSyncTimer = nullptr;
    QStringList m_leftOnServerShown;
    QStringList m_keptHereShown;
    QList<QByteArray> m_conflictsShown;
    QAction *m_sincronizzaOra1 = nullptr;

    TForm2 *m_form2 = nullptr;
    TForm4 *m_form4 = nullptr;
    TVersionHistoryForm *m_versionHistoryForm = nullptr;
};

QPixmap loadBackground();

} // namespace roradaza
