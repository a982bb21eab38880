// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Unit1.h"

#include "store/Conversions.h"
#include "store/Failure.h"
#include "store/StartupRegistration.h"
#include "store/Text.h"
#include "store/WholeFile.h"
#include "ui/EventListModel.h"
#include "ui/ImportWindow.h"
#include "ui/Prompts.h"
#include "ui/Screens.h"
#include "ui/Unit2.h"
#include "ui/Unit5.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QCursor>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QHeaderView>
#include <QIcon>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScreen>
#include <QSignalBlocker>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTime>
#include <QTimer>
#include <QTreeView>

#include <algorithm>
#include <cstdio>

namespace roradaza {
namespace {

constexpr int expansionMoveUp = 168;

QString folderOf(const QString &path)
{
    return QFileInfo(path).absolutePath();
}

QString dataFolderOf(const Platform &platform)
{
    return platform.dataFolder.isEmpty() ? folderOf(platform.executablePath) : platform.dataFolder;
}

QString databasePathOf(const Platform &platform)
{
    return QDir(dataFolderOf(platform)).filePath(QStringLiteral("Roradaza.dat"));
}

QTreeView *makeListView(QWidget *parent, const char *name, QAbstractItemModel *model, const QRect &place)
{
    auto *view = new QTreeView(parent);
    view->setObjectName(QLatin1String(name));
    view->setGeometry(place);
    view->setModel(model);
    view->setRootIsDecorated(false);
    view->setUniformRowHeights(true);
    view->setItemsExpandable(false);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setAllColumnsShowFocus(true);
    view->header()->setSectionsClickable(false);
    view->header()->setSectionsMovable(false);
    view->header()->setStretchLastSection(false);
    {
        // Quietly: told of a resized column, the view lays out every row on
        // its next timer tick, hidden or not, and by then the list is loaded.
        // It lays them out when it is first shown in any case.
        const QSignalBlocker quiet(view->header());
        for (int column = 0; column < EventListModel::ColumnCount; ++column)
            view->setColumnWidth(column, EventListModel::columnWidth(column));
    }
    keepLightColours(view);
    return view;
}

QFrame *makeFrame(QWidget *parent, const char *name, int shape, const QRect &place)
{
    auto *frame = new QFrame(parent);
    frame->setObjectName(QLatin1String(name));
    frame->setFrameStyle(shape);
    frame->setGeometry(place);
    return frame;
}

QLabel *makeLabel(QWidget *parent, const char *name, const QString &text, const QPoint &at, int pixelHeight)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setFont(uiFont(QStringLiteral("MS Sans Serif"), pixelHeight));
    label->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
    label->adjustSize();
    label->move(at);
    return label;
}

QPushButton *makeButton(QWidget *parent, const char *name, const QString &text, const QRect &place)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(place);
    return button;
}

} // namespace

QPixmap loadBackground()
{
    QImageReader reader(QStringLiteral(":/background.jpg"));
    const QImage image = reader.read();
    return image.isNull() ? QPixmap() : QPixmap::fromImage(image);
}

template <typename Handler> bool TForm1::guarded(Handler &&handler)
{
    try {
        handler();
        return true;
    } catch (const Failure &failure) {
        showError(failure.message());
    } catch (const std::exception &failure) {
        showError(QString::fromLocal8Bit(failure.what()));
    }
    return false;
}

TForm1::TForm1(const Platform &platform)
    : m_platform(platform), m_title(applicationTitle(platform.executablePath)), m_readAhead(databasePathOf(platform)),
      m_background(loadBackground()), m_calendar(platform.clock),
      m_engine(m_events, m_notices, m_calendar, SaintsCalendar::standard(), *this),
      m_database(databasePathOf(platform)),
      m_settingsFile(QDir(dataFolderOf(platform)).filePath(QStringLiteral("Roradaza.ini"))),
      m_sync(std::make_unique<sync::SyncSession>(sync::SyncSession::statePathFor(databasePathOf(platform))))
{
    setObjectName(QStringLiteral("TForm1"));
    setWindowTitle(QStringLiteral("Roradaza"));
    setWindowIcon(programIcon(QStringLiteral("roradaza")));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFont(uiFont(QStringLiteral("MS Sans Serif"), 11));

    m_loopCheck = new QTimer(this);
    m_loopCheck->setObjectName(QStringLiteral("LoopCheck"));
    m_timer1 = new QTimer(this);
    m_timer1->setObjectName(QStringLiteral("Timer1"));
    m_timer1->setInterval(500);

    m_syncRunner = new sync::SyncRunner([this] { return syncJob(); }, this);
    connect(m_syncRunner, &sync::SyncRunner::syncStarted, this, [this] {
        m_syncStatus = QStringLiteral("Sincronizzazione in corso...");
        showSyncState();
    });
    connect(m_syncRunner, &sync::SyncRunner::syncFinished, this, &TForm1::syncFinished);
    m_pendingSyncTimer = new QTimer(this);
    m_pendingSyncTimer->setInterval(500);
    connect(m_pendingSyncTimer, &QTimer::timeout, this, [this] { guarded([this] { applyPendingSync(); }); });

    buildClient();
    buildMenus();
    buildTray();

    connect(m_loopCheck, &QTimer::timeout, this, [this] {
        moveToTray();
        guarded([this] { CheckBirthday1Click(); });
        guarded([this] { requestSync(); });
    });
    connect(m_timer1, &QTimer::timeout, this, [this] { guarded([this] { Timer1Timer(); }); });
}

TForm1::~TForm1()
{
    delete m_popupMenu2;
    delete m_model;
    delete m_filteredModel;
}

void TForm1::buildClient()
{
    m_client = new QWidget(this);
    m_client->setObjectName(QStringLiteral("client"));
    m_client->installEventFilter(this);
    setCentralWidget(m_client);
    m_model = new EventListModel(m_events);
    m_filteredModel = new EventListModel(m_filtered);

    // From back to front: each control lies over the ones made before it.
    auto *image = new PictureLabel(m_client);
    image->setObjectName(QStringLiteral("Image1"));
    image->setGeometry(0, 0, clientWidth, expandedClientHeight);
    image->setPixmap(m_background);

    makeFrame(m_client, "Bevel1", QFrame::HLine | QFrame::Sunken, {0, 0, clientWidth, 2});
    auto *bevel2 = makeFrame(m_client, "Bevel2", QFrame::Panel | QFrame::Raised, {16, 408, 257, 41});
    auto *bevel3 = makeFrame(m_client, "Bevel3", QFrame::Box | QFrame::Sunken, {312, 408, 89, 41});
    auto *bevel4 = makeFrame(m_client, "Bevel4", QFrame::Panel | QFrame::Raised, {24, 384, 81, 17});
    auto *label1 = makeLabel(m_client, "Label1", QStringLiteral("Auto Chiusura:"), {32, 386}, 11);
    makeLabel(m_client, "Label2", QStringLiteral("Ricerca / Filtro:"), {70, 6}, 19);

    m_listView1 = makeListView(m_client, "ListView1", m_model, {8, 32, 401, m_listView1Height});

    auto *button1 = makeButton(m_client, "Button1", QStringLiteral("&Aggiungi"), {112, 416, 65, 25});
    m_button2 = makeButton(m_client, "Button2", QStringLiteral("&Modifica"), {24, 416, 73, 25});
    m_button2->setEnabled(false);
    m_button3 = makeButton(m_client, "Button3", QStringLiteral("&Cancella"), {208, 420, 57, 17});
    m_button3->setEnabled(false);
    connect(button1, &QPushButton::clicked, this, [this] { guarded([this] { AddBirthday1Click(); }); });
    connect(m_button2, &QPushButton::clicked, this, [this] { guarded([this] { Edit1Click(); }); });
    connect(m_button3, &QPushButton::clicked, this, [this] { guarded([this] { Delete1Click(); }); });

    m_progressBar1 = new QProgressBar(m_client);
    m_progressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    m_progressBar1->setGeometry(104, 384, 289, 17);
    m_progressBar1->setRange(0, 100);
    m_progressBar1->setValue(0);
    m_progressBar1->setTextVisible(false);

    auto *panel1 = makeFrame(m_client, "Panel1", QFrame::Panel | QFrame::Sunken, {318, 414, 79, 29});
    auto *bitBtn1 = makeButton(panel1, "BitBtn1", QStringLiteral("&Esci"), {2, 2, 75, 25});
    bitBtn1->setIcon(programIcon(QStringLiteral("exit")));
    connect(bitBtn1, &QPushButton::clicked, this, [this] { guarded([this] { Exit1Click(); }); });

    m_button4 = makeButton(m_client, "Button4", QStringLiteral("NON chiudere!"), {24, 416, 241, 25});
    QFont stopFont = uiFont(QStringLiteral("MS Sans Serif"), 19);
    stopFont.setItalic(true);
    m_button4->setFont(stopFont);
    // Black text, on a light face that a dark desktop palette does not darken.
    keepLightColours(m_button4);
    m_button4->setDefault(true);
    m_button4->setEnabled(false);
    connect(m_button4, &QPushButton::clicked, this, [this] { guarded([this] { Button4Click(); }); });

    m_comboBox1 = new QComboBox(m_client);
    m_comboBox1->setObjectName(QStringLiteral("ComboBox1"));
    m_comboBox1->setEditable(true);
    m_comboBox1->setCompleter(nullptr);
    m_comboBox1->setInsertPolicy(QComboBox::NoInsert);
    m_comboBox1->addItem(QStringLiteral("TUTTO"));
    m_comboBox1->setGeometry(200, 8, 129, m_comboBox1->sizeHint().height());
    connect(m_comboBox1, &QComboBox::editTextChanged, this, [this] { guarded([this] { ComboBox1Change(); }); });

    m_listView2 = makeListView(m_client, "ListView2", m_filteredModel, {8, 32, 401, 369});
    m_listView2->hide();
    for (const auto &[view, model] : {std::pair{m_listView1, m_model}, std::pair{m_listView2, m_filteredModel}}) {
        model->setDayFits([view = view](const QString &text) {
            // The room a row's text has: the column less the margins the view draws inside it.
            const int margin = view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
            return view->fontMetrics().horizontalAdvance(text) <= view->columnWidth(EventListModel::Day) - 2 * margin;
        });
    }

    // Both lists share the list menu, the buttons and the double-click.
    for (QTreeView *view : {m_listView1, m_listView2}) {
        view->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(view, &QWidget::customContextMenuRequested, this, [this, view](const QPoint &at) {
            if (m_listMenuOn)
                m_popupMenu1->popup(view->viewport()->mapToGlobal(at));
        });
        connect(view, &QAbstractItemView::doubleClicked, this, [this] { guarded([this] { Edit1Click(); }); });
        view->installEventFilter(this);
    }
    const auto listChanged = [this] { guarded([this] { Li(); }); };
    connect(m_listView1->selectionModel(), &QItemSelectionModel::selectionChanged, this, listChanged);
    connect(m_listView1->selectionModel(), &QItemSelectionModel::currentChanged, this, listChanged);
    const auto filteredChanged = [this] {
        guarded([this] {
            ListView2SelectItem();
            ListView2Change();
        });
    };
    connect(m_listView2->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this, filteredChanged] {
        // A row unselected there leaves no record current: none the user cannot see chosen.
        if (!m_listView2->selectionModel()->hasSelection())
            m_listView1->selectionModel()->clear();
        filteredChanged();
    });
    connect(m_listView2->selectionModel(), &QItemSelectionModel::currentChanged, this, filteredChanged);

    // For a screen reader: the controls whose text does not say what they are.
    image->setAccessibleName(QStringLiteral("Sfondo"));
    image->setAccessibleDescription(QStringLiteral("Immagine di sfondo, senza contenuto"));
    m_listView1->setAccessibleName(QStringLiteral("Eventi"));
    m_listView2->setAccessibleName(QStringLiteral("Eventi filtrati"));
    m_comboBox1->setAccessibleName(QStringLiteral("Ricerca / Filtro"));
    m_comboBox1->lineEdit()->setAccessibleName(QStringLiteral("Ricerca / Filtro"));
    m_progressBar1->setAccessibleName(QStringLiteral("Auto Chiusura"));
    bitBtn1->setAccessibleDescription(QStringLiteral("Chiude Roradaza"));

    for (QWidget *widget : std::initializer_list<QWidget *>{bevel2, bevel3, bevel4, label1, m_progressBar1, button1,
                                                            m_button2, m_button3, panel1, m_button4})
        m_bottomAnchored.emplace_back(widget, widget->geometry());
    setClientHeight(compactClientHeight);
}

QAction *TForm1::action(QMenu *menu, const char *name, const QString &text, void (TForm1::*handler)())
{
    QAction *item = menu->addAction(text);
    item->setObjectName(QLatin1String(name));
    if (handler)
        connect(item, &QAction::triggered, this, [this, handler] { guarded([this, handler] { (this->*handler)(); }); });
    return item;
}

void TForm1::buildMenus()
{
    QMenu *file1 = menuBar()->addMenu(QStringLiteral("&Funzioni"));
    file1->setObjectName(QStringLiteral("File1"));
    m_checkBirthday1 = action(file1, "CheckBirthday1", QStringLiteral("&Controlla"), &TForm1::CheckBirthday1Click);
    file1->setDefaultAction(m_checkBirthday1);
    m_sincronizzaOra1 =
        action(file1, "SincronizzaOra1", QStringLiteral("Sincronizza &ora"), &TForm1::SincronizzaOra1Click);
    file1->addSeparator()->setObjectName(QStringLiteral("N4"));
    QMenu *extra2 = file1->addMenu(QStringLiteral("&Configura"));
    extra2->setObjectName(QStringLiteral("Extra2"));
    m_tmCheckSaint =
        action(extra2, "tmCheckSaint", QStringLiteral("&Onomastici automatici"), &TForm1::tmCheckSaintClick);
    m_tmCheckSaint->setCheckable(true);
    action(extra2, "imerControlloAutomatico1", QStringLiteral("Timer \"Controllo Automatico\""),
           &TForm1::imerControlloAutomatico1Click);
    m_iconizza = action(extra2, "IconizzainbarraperpcATX1", QStringLiteral("&Riduci a icona invece di chiudere"),
                        &TForm1::IconizzainbarraperpcATX1Click);
    m_iconizza->setCheckable(true);
    // Asked each time: a tray may come or go while the program runs.
    connect(extra2, &QMenu::aboutToShow, this, [this] {
        m_iconizza->setText(m_platform.trayAvailable()
                                ? QStringLiteral("&Riduci a icona invece di chiudere")
                                : QStringLiteral("&Riduci a icona invece di chiudere (questo desktop non ha "
                                                 "l'area di notifica)"));
    });
    m_runOnStartup = action(extra2, "RunOnStartup", QStringLiteral("Esegui &automaticamente all'avvio del computer!"),
                            &TForm1::RunOnStartupClick);
    m_runOnStartup->setVisible(false);
    action(extra2, "Sincronizzazione1", QStringLiteral("Sincroni&zzazione..."), &TForm1::Sincronizzazione1Click);
    file1->addSeparator()->setObjectName(QStringLiteral("N2"));
    action(file1, "Exit1", QStringLiteral("&Esci"), &TForm1::Exit1Click);

    QMenu *archivio1 = menuBar()->addMenu(QStringLiteral("&Archivio"));
    archivio1->setObjectName(QStringLiteral("Archivio1"));
    action(archivio1, "SaveDatabase1", QStringLiteral("&Salva"), &TForm1::SaveDatabase1Click);
    action(archivio1, "EsportaCalendario1", QStringLiteral("&Esporta calendario (.ics)..."),
           &TForm1::EsportaCalendario1Click);
    archivio1->addSeparator()->setObjectName(QStringLiteral("N3"));
    QMenu *carica1 = archivio1->addMenu(QStringLiteral("&Importa"));
    carica1->setObjectName(QStringLiteral("Carica1"));
    action(carica1, "DaCalendario1", QStringLiteral("Da &calendario (.ics)..."), &TForm1::DaCalendario1Click);
    action(carica1, "DaRubrica1", QStringLiteral("Da r&ubrica (.vcf)..."), &TForm1::DaRubrica1Click);
    action(carica1, "ImportadaRoradaza1", QStringLiteral("Da &Roradaza"), &TForm1::ImportadaRoradaza1Click);
    action(carica1, "ImportadavecchioZevivez1", QStringLiteral("Importa da &vecchio Zevivez"), nullptr)
        ->setEnabled(false);

    QMenu *n1 = menuBar()->addMenu(QStringLiteral("&Aiuto"));
    n1->setObjectName(QStringLiteral("N1"));
    action(n1, "About1", QStringLiteral("&Informazioni"), &TForm1::About1Click);
    action(n1, "VersionHistory1", QStringLiteral("&Version History"), &TForm1::VersionHistory1Click);
    n1->addSeparator()->setObjectName(QStringLiteral("N8"));
    action(n1, "Homepage1", QStringLiteral("&Sito Web"), &TForm1::Homepage1Click);
    action(n1, "Contattami1", QStringLiteral("&Contattami!"), &TForm1::Contattami1Click);

    m_popupMenu1 = new QMenu(this);
    m_popupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    QAction *edit1 = action(m_popupMenu1, "Edit1", QStringLiteral("&Modifica"), &TForm1::Edit1Click);
    m_popupMenu1->setDefaultAction(edit1);
    action(m_popupMenu1, "Delete1", QStringLiteral("&Cancella"), &TForm1::Delete1Click);

    // Owned by no window: a menu belongs to its window's enabled state, and
    // the tray menu must open while the main window is disabled.
    m_popupMenu2 = new QMenu;
    m_popupMenu2->setObjectName(QStringLiteral("PopupMenu2"));
    QAction *restore1 = action(m_popupMenu2, "Restore1", QStringLiteral("&Ripristina"), &TForm1::Restore1Click);
    m_popupMenu2->setDefaultAction(restore1);
    action(m_popupMenu2, "Controlla1", QStringLiteral("&Controlla"), &TForm1::Controlla1Click);
    action(m_popupMenu2, "SincronizzaOra2", QStringLiteral("Sincronizza &ora"), &TForm1::SincronizzaOra1Click);
    m_popupMenu2->addSeparator()->setObjectName(QStringLiteral("N6"));
    m_autoCheck1 = action(m_popupMenu2, "AutoCheck1", QStringLiteral("Controllo Automatico"), &TForm1::AutoCheck1Click);
    m_autoCheck1->setCheckable(true);
    m_autoCheck1->setChecked(true);
    m_popupMenu2->addSeparator()->setObjectName(QStringLiteral("N5"));
    action(m_popupMenu2, "Exit2", QStringLiteral("E&sci"), &TForm1::Exit2Click);
}

void TForm1::buildTray()
{
    m_tray = new QSystemTrayIcon(programIcon(QStringLiteral("tray")), this);
    m_tray->setObjectName(QStringLiteral("TrayIcon"));
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        // Either button opens the tray menu; other clicks do nothing.
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::Context)
            openTrayMenu(QCursor::pos());
    });
}

void TForm1::openTrayMenu(const QPoint &pointer)
{
    const QScreen *screen = QGuiApplication::screenAt(pointer);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect(pointer, m_popupMenu2->sizeHint());
    m_popupMenu2->popup(popupPlace(pointer, m_popupMenu2->sizeHint(), area));
}

void TForm1::attach(TForm2 *editor, TForm4 *notifications, TVersionHistoryForm *history)
{
    m_form2 = editor;
    m_form4 = notifications;
    m_versionHistoryForm = history;
}

void TForm1::setClientHeight(int height)
{
    m_client->setFixedSize(clientWidth, height);
    setFixedSize(clientWidth, menuBar()->sizeHint().height() + height);
    layoutClient();
}

void TForm1::layoutClient()
{
    // Controls anchored to the bottom follow it; the event list stretches.
    const int rise = expandedClientHeight - m_client->height();
    for (const auto &[widget, place] : m_bottomAnchored)
        widget->move(place.x(), place.y() - rise);
    const int listHeight = m_listView1Height - rise;
    m_listView1->setVisible(listHeight > 0);
    m_listView1->setGeometry(8, 32, 401, std::max(listHeight, 0));
    // The filtered list keeps its place over the compact form's rows, and
    // in the full form leaves the buttons in sight.
    m_listView2->setGeometry(8, 32, 401, m_compact ? 369 : 369 - rise);
}

bool TForm1::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_client && event->type() == QEvent::Resize)
        layoutClient();
    if ((watched == m_listView1 || watched == m_listView2) && event->type() == QEvent::KeyPress) {
        // The Delete key is "&Cancella", when there is a record to delete.
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Delete && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            if (m_button3->isEnabled())
                m_button3->click();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

bool TForm1::FormCreate()
{
    setClientHeight(compactClientHeight);
    QDir::setCurrent(folderOf(m_platform.executablePath));
    m_runOnStartup->trigger();

    const bool databaseExists = m_database.exists();
    bool databaseRead = false;
    if (databaseExists)
        databaseRead = guarded([this] { m_readAhead.read(m_database); });

    // A damaged settings file is reported, and the events are loaded all the same.
    const QStringList failures = m_settingsFile.read(m_settings);
    if (!failures.isEmpty())
        showError(failures.join(QLatin1Char('\n')));
    if (m_settings.checkInterval < 0)
        m_settings.checkInterval = 0;
    m_engine.setSaintsOption(m_settings.saints);
    m_iconizza->setChecked(m_settings.minimiseToTray);
    m_tmCheckSaint->setChecked(m_settings.saints);
    applyLoopCheck();

    if (!databaseExists) {
        m_events.append(EventRecord::sampleRecord());
    } else if (databaseRead) {
        if (m_database.layout() == DatabaseFile::Layout::Older) {
            const auto answer = m_platform.prompts.ask(
                nullptr, QStringLiteral("Confirm"),
                QStringLiteral("Convertire l'archivio per essere utilizzato con la nuova versione?"),
                QMessageBox::Question, Prompts::Buttons::YesNo);
            if (answer != Prompts::Answer::Yes)
                return false;
            guarded([this] { m_database.convert(m_events); });
        } else {
            guarded([this] { m_readAhead.fill(m_database, m_events); });
        }
    }
    // A damaged state file is named and the sync stays off; the list is loaded all the same.
    guarded([this] { m_sync->load(); });
    m_sync->matchList(m_events);
    return true;
}

void TForm1::RunOnStartupClick()
{
    m_platform.registration.registerProgram(m_platform.executablePath);
}

void TForm1::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (event->spontaneous())
        return;
    guarded([this] { FormShow(); });
    if (!m_placed) {
        centreOnPointerScreen(this);
        m_placed = true;
    }
}

void TForm1::FormShow()
{
    showSyncState();
    m_hiddenInTray = false;
    m_engine.setHiddenInTray(false);
    if (!m_autoCheckEnabled)
        AutoCheck1Click();
    m_progressBar1->setValue(0);
    if (m_firstShow) {
        m_firstShow = false;
        // The notification window must come after this one, or on Wayland this
        // window maps over it and takes the keyboard.
        whenMapped(this, [this] {
            guarded([this] {
                m_checkBirthday1->trigger();
                if (m_form4) {
                    if (m_notices.isEmpty())
                        m_form4->close();
                    else
                        m_form4->showNotifications();
                }
            });
            guarded([this] { requestSync(); });
        });
    }
}

void TForm1::keyPressEvent(QKeyEvent *event)
{
    // A main window has no default button of its own: Enter, unless a control
    // took it, presses "NON chiudere!", or "&Modifica" once that no longer
    // covers it, when enabled.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        QPushButton *button = m_button4->isHidden() ? m_button2 : m_button4;
        if (button->isEnabled()) {
            button->click();
            return;
        }
    }
    QMainWindow::keyPressEvent(event);
}

void TForm1::closeEvent(QCloseEvent *event)
{
    // Closing never destroys the window: it hides to the tray or ends the program.
    event->ignore();
    FormClose();
}

void TForm1::FormClose()
{
    hide();
    m_hiddenInTray = true;
    m_engine.setHiddenInTray(true);
    // Without a tray only the countdown keeps the program, in the task bar:
    // every exit command ends it, or nothing could.
    if (m_settings.minimiseToTray && (m_closingByCountdown || m_platform.trayAvailable())) {
        // The icon is added even when the save failed, so the program stays reachable.
        guarded([this] { SaveDatabase1Click(); });
        showTrayIcon();
    } else if (bool ended = false; !guarded([&] { ended = endProgram(); }) || !ended) {
        // The save on the way out failed and the user stays: the program
        // must not stay hidden with nothing to bring it back.
        m_timer1->stop();
        show();
        return;
    }
    m_timer1->stop();
}

void TForm1::showTrayIcon()
{
    if (m_platform.trayAvailable()) {
        m_tray->show();
        return;
    }
    // No tray on this desktop: the task bar keeps the program within reach.
    m_minimisedForTray = true;
    showMinimized();
    m_hiddenInTray = true;
    m_engine.setHiddenInTray(true);
}

void TForm1::moveToTray()
{
    // Waiting in the task bar for want of a tray: one that has appeared since takes the program.
    if (!m_minimisedForTray || !isMinimized() || !m_platform.trayAvailable())
        return;
    m_minimisedForTray = false;
    hide();
    m_tray->show();
}

void TForm1::hideTrayIcon()
{
    m_tray->hide();
}

bool TForm1::isTrayIconShown() const
{
    return m_tray->isVisible();
}

void TForm1::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && m_minimisedForTray && !(windowState() & Qt::WindowMinimized)) {
        m_minimisedForTray = false;
        QTimer::singleShot(0, this, [this] { guarded([this] { Restore1Click(); }); });
    }
}

void TForm1::Timer1Timer()
{
    m_progressBar1->setValue(m_progressBar1->value() + 20);
    if (m_progressBar1->value() >= m_progressBar1->maximum()) {
        const QScopedValueRollback byCountdown(m_closingByCountdown, true);
        close();
    }
}

void TForm1::Button4Click()
{
    m_modified = true;
    if (!m_compact)
        return;
    const QPoint at = pos();
    m_compact = false;
    setClientHeight(expandedHeight());
    move(at.x(), at.y() - expansionMoveUp);
    keepOnScreen(this);
    m_timer1->stop();
    m_progressBar1->setValue(0);
    m_button4->hide();
    m_listView1Height += 24;
    m_progressBar1->hide();
    // The countdown's label and frame lie under the taller list; at some scales an edge would show below it.
    for (const char *name : {"Label1", "Bevel4"})
        m_client->findChild<QWidget *>(QLatin1String(name))->hide();
    layoutClient();
}

int TForm1::expandedHeight() const
{
    // On a short screen, or a large scale, the event list gives up the rows
    // that do not fit, so that the menu bar and the buttons stay in sight.
    const int room = clientRoom(this).height() - menuBar()->sizeHint().height();
    return std::clamp(room, compactClientHeight + 24, int(expandedClientHeight));
}

void TForm1::Exit1Click()
{
    close();
}

void TForm1::Exit2Click()
{
    endProgram();
}

bool TForm1::endProgram()
{
    if (m_ended)
        return true;
    m_leaving = true;
    // What a sync under way did on the server reaches the list and the state before the last save.
    if (m_syncRunner->isBusy()) {
        setWindowTitle(QStringLiteral("Roradaza - chiusura: si attende la fine della sincronizzazione..."));
        QCoreApplication::processEvents();
    }
    m_syncRunner->waitForIdle();
    guarded([this] { applyPendingSync(); });
    const bool saveFailed = m_modified && !guarded([this] { SaveDatabase1Click(); });
    if (saveFailed && !m_sessionEnding) {
        // A save that fails every time must not keep the program from ending.
        const auto answer = m_platform.prompts.ask(
            nullptr, QStringLiteral("Confirm"),
            QStringLiteral("Il salvataggio non è riuscito. Uscire comunque senza salvare le modifiche?"),
            QMessageBox::Question, Prompts::Buttons::YesNo);
        if (answer != Prompts::Answer::Yes && !m_ended) {
            m_leaving = false;
            return false;
        }
    }
    if (m_ended)
        return true;
    m_ended = true;
    // A session manager or script that ended the program learns that the changes are lost.
    m_exitStatus = saveFailed && m_sessionEnding ? 1 : 0;
    hideTrayIcon();
    QCoreApplication::processEvents();
    QCoreApplication::exit(m_exitStatus);
    return true;
}

void TForm1::saveForSession()
{
    if (!m_modified || m_ended || QApplication::activeModalWidget())
        return;
    const QScopedValueRollback onTerminal(m_reportOnTerminal, true);
    guarded([this] { SaveDatabase1Click(); });
}

void TForm1::endSession()
{
    m_sessionEnding = true;
    m_reportOnTerminal = true;
    // Boxes first, and the editor of a new event: the handlers that opened
    // them finish before the list is saved. A box that will not close
    // cannot hold the ending for long.
    if (QWidget *box = QApplication::activeModalWidget(); box && m_boxesClosedForEnd < 20) {
        ++m_boxesClosedForEnd;
        if (auto *dialog = qobject_cast<QDialog *>(box))
            dialog->reject();
        else
            box->close();
        QTimer::singleShot(0, this, &TForm1::endSession);
        return;
    }
    guarded([this] { endProgram(); });
}

void TForm1::Restore1Click()
{
    m_minimisedForTray = false;
    if (isVisible() && !isMinimized())
        FormShow();
    else
        showNormal();
    hideTrayIcon();
    Button4Click();
}

void TForm1::comeForward()
{
    guarded([this] { Restore1Click(); });
    raise();
    activateWindow();
}

void TForm1::Controlla1Click()
{
    m_engine.forgetLastCheckedDay();
    m_checkBirthday1->trigger();
}

void TForm1::applyLoopCheck()
{
    // An interval of 0 counts as switched on but never fires.
    if (m_autoCheckEnabled && m_settings.checkInterval > 0)
        m_loopCheck->start(m_settings.checkInterval);
    else
        m_loopCheck->stop();
}

void TForm1::AutoCheck1Click()
{
    m_autoCheckEnabled = !m_autoCheckEnabled;
    applyLoopCheck();
    m_autoCheck1->setChecked(m_autoCheckEnabled);
}

void TForm1::IconizzainbarraperpcATX1Click()
{
    m_settings.minimiseToTray = !m_settings.minimiseToTray;
    m_iconizza->setChecked(m_settings.minimiseToTray);
}

void TForm1::imerControlloAutomatico1Click()
{
    constexpr int largestMinutes = 35791; // the most a timer's milliseconds can hold
    const QString shown = QString::number(m_settings.checkInterval / 60000);
    const QString typed =
        m_platform.prompts
            .askText(nullptr, QStringLiteral("Configura"), QStringLiteral("Controlla ogni [Minuti]:"), shown)
            .value_or(shown);
    const auto bytes = text::toCp1252(typed);
    const int minutes = toInteger(bytes.value_or(typed.toUtf8()));
    if (minutes < 0 || minutes > largestMinutes)
        throw Failure(QStringLiteral("L'intervallo deve essere fra 0 e %1 minuti").arg(largestMinutes));
    m_settings.checkInterval = minutes * 60000;
    applyLoopCheck();
}

void TForm1::tmCheckSaintClick()
{
    m_settings.saints = !m_settings.saints;
    m_engine.setSaintsOption(m_settings.saints);
    m_tmCheckSaint->setChecked(m_settings.saints);
    m_modified = true;
}

void TForm1::CheckBirthday1Click()
{
    const CheckEngine::Result result = m_engine.run();
    if (!result.failures.isEmpty())
        throw Failure(result.failures.front());
}

void TForm1::SaveDatabase1Click()
{
    m_database.save(m_events);
    m_settingsFile.write(m_settings);
    m_sync->noteListSaved(m_events);
    // The save that applies a sync's changes starts no other sync, nor does the one on the way out.
    if (!m_applyingSync && !m_leaving && !m_reportOnTerminal)
        requestSync();
}

void TForm1::About1Click()
{
    tell(QString::fromLatin1(aboutText));
}

void TForm1::VersionHistory1Click()
{
    if (m_versionHistoryForm)
        m_versionHistoryForm->exec();
}

void TForm1::Homepage1Click()
{
    m_platform.openUrl(QUrl(QString::fromLatin1(links::webSite)));
}

void TForm1::Contattami1Click()
{
    m_platform.openUrl(
        QUrl(QStringLiteral("mailto:%1?subject=Riguardo Roradaza").arg(QLatin1String(links::mailAddress))));
}

void TForm1::ImportadaRoradaza1Click()
{
    tell(QStringLiteral("Per importare un archivio di Roradaza è sufficiente\n"
                        "copiare il file \"Roradaza.dat\" nella cartella del programma.\n"
                        "\n"
                        "Nota: Mentre lo fai assicurati che Roradaza NON sia in esecuzione!"));
}

void TForm1::EsportaCalendario1Click()
{
    QString path = m_platform.prompts.askFile(this, QStringLiteral("Esporta calendario"),
                                              QStringLiteral("Calendario iCalendar (*.ics)"), true);
    if (path.isEmpty())
        return;
    // A dialog that did not add the suffix itself has not asked about the file that has it.
    if (QFileInfo(path).suffix().isEmpty()) {
        path += QStringLiteral(".ics");
        if (QFileInfo(path).exists() || QFileInfo(path).isSymLink()) {
            const auto answer = m_platform.prompts.ask(
                this, QStringLiteral("Esporta calendario"),
                QStringLiteral("%1 esiste gi\u00E0.\nSostituirlo?").arg(QDir::toNativeSeparators(path)),
                QMessageBox::Warning, Prompts::Buttons::YesNo);
            if (answer != Prompts::Answer::Yes)
                return;
        }
    }
    const exchange::CalendarExport calendar =
        exchange::exportCalendar(m_events, m_platform.clock.today(), QDateTime::currentDateTimeUtc());
    writeWholeFile(path, calendar.text);

    QString report =
        QStringLiteral("Esportati %1 eventi in %2.").arg(calendar.exported).arg(QDir::toNativeSeparators(path));
    QStringList leftOut;
    for (const auto *refusals : {&calendar.unscheduled, &calendar.leftOut}) {
        for (const exchange::Refusal &refusal : *refusals)
            leftOut << refusal.text();
    }
    if (!leftOut.isEmpty())
        report += QStringLiteral("\n\nNon esportati (%1):\n").arg(leftOut.size()) + leftOut.join(u'\n');
    tell(report);
}

void TForm1::DaCalendario1Click()
{
    const QString path =
        m_platform.prompts.askFile(this, QStringLiteral("Importa da un calendario"),
                                   QStringLiteral("Calendari iCalendar (*.ics *.ical);;Tutti i file (*)"), false);
    if (!path.isEmpty())
        importFrom(path, exchange::readCalendarFile(path));
}

void TForm1::DaRubrica1Click()
{
    const QString path =
        m_platform.prompts.askFile(this, QStringLiteral("Importa da una rubrica"),
                                   QStringLiteral("Rubriche vCard (*.vcf *.vcard);;Tutti i file (*)"), false);
    if (!path.isEmpty())
        importFrom(path, exchange::readContactsFile(path));
}

void TForm1::importFrom(const QString &path, exchange::Conversion conversion)
{
    ImportWindow window(exchange::planImport(m_events, std::move(conversion)), QFileInfo(path).fileName(), this);
    if (window.exec() != QDialog::Accepted)
        return;
    std::vector<EventRecord> chosen = window.ticked();
    if (chosen.empty())
        return;
    // All at once and one sort; the current record stays current.
    m_events.appendAll(std::move(chosen));
    m_modified = true;
    ComboBox1Change();
}

int TForm1::currentRow() const
{
    // The current record is the focused row, and only while it is selected:
    // a view that merely takes the focus puts its cursor on a row of its own.
    const QModelIndex current = m_listView1->currentIndex();
    return current.isValid() && m_listView1->selectionModel()->isRowSelected(current.row()) ? current.row() : -1;
}

void TForm1::makeCurrent(int row)
{
    m_listView1->selectionModel()->setCurrentIndex(m_model->index(row, 0),
                                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_listView1->scrollTo(m_model->index(row, 0));
}

void TForm1::focusList()
{
    (m_listView2->isVisible() ? m_listView2 : m_listView1)->setFocus();
}

void TForm1::ComboBox1Change()
{
    const QString search = m_comboBox1->currentText();
    if (search.isEmpty() || search == QLatin1String("TUTTO")) {
        m_listView2->hide();
        return;
    }
    m_listView2->show();
    // A character the records cannot hold matches no name.
    // The copies come in the event list's order, which is already name order.
    const int current = currentRow();
    m_filtered.clear();
    if (const auto bytes = text::toCp1252(search)) {
        m_filtered.setAutoSort(false);
        m_filtered.appendAll(m_events.matching(*bytes));
        m_filtered.setAutoSort(true);
    }
    // The current record is one the user can see: its copy is selected in
    // the filtered list, or, hidden by the search, it is current no more.
    int shown = -1;
    if (current >= 0) {
        const RecordView record = m_events.at(current);
        for (int row = m_filtered.size() - 1; row >= 0 && shown < 0; --row) {
            if (m_filtered.at(row) == record)
                shown = row;
        }
    }
    if (shown >= 0) {
        m_listView2->selectionModel()->setCurrentIndex(m_filteredModel->index(shown, 0),
                                                       QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        m_listView2->scrollTo(m_filteredModel->index(shown, 0));
    } else {
        m_listView1->selectionModel()->clear();
    }
    ListView2Change();
}

void TForm1::ListView2SelectItem()
{
    if (m_events.isEmpty()) {
        m_filtered.clear();
        return;
    }
    // The focused row counts once it is selected: a list taking the focus
    // puts its cursor on a row that the user has not chosen.
    const QModelIndex focused = m_listView2->currentIndex();
    if (!focused.isValid() || !m_listView2->selectionModel()->isRowSelected(focused.row()))
        return;
    const RecordView wanted = m_filtered.at(focused.row());
    int match = -1;
    for (int row = 0; row < m_events.size(); ++row) {
        if (m_events.at(row) == wanted)
            match = row;
    }
    if (match >= 0)
        makeCurrent(match);
}

void TForm1::applyEnablingRule(QTreeView *view)
{
    const bool selected = view->selectionModel()->hasSelection();
    m_button2->setEnabled(selected);
    m_button3->setEnabled(selected);
    m_listMenuOn = selected;
}

void TForm1::Li()
{
    applyEnablingRule(m_listView1);
}

void TForm1::ListView2Change()
{
    applyEnablingRule(m_listView2);
}

void TForm1::AddBirthday1Click()
{
    if (m_events.isFull())
        throw Failure(fullListMessage());
    focusList();
    m_events.setAutoSort(false);
    const int row = m_events.append(EventRecord::newRecord());
    m_added = QPersistentModelIndex(m_model->index(row, 0));
    makeCurrent(row);
    if (m_form2)
        m_form2->addCurrent();

    if (m_added.isValid()) {
        const int added = m_added.row();
        makeCurrent(added);
        if (m_events.at(added).name.isEmpty())
            m_events.removeAt(added);
    }
    m_added = QPersistentModelIndex();
    m_events.setAutoSort(true);
    m_events.sort();
    ComboBox1Change();
}

void TForm1::Edit1Click()
{
    if (!m_listView1->selectionModel()->hasSelection() || !m_form2)
        return;
    m_form2->editCurrent();
    setEnabled(false);
}

void TForm1::Delete1Click()
{
    const int row = currentRow();
    if (row < 0)
        return;
    const QPersistentModelIndex asked(m_model->index(row, 0));
    const EventRecord record = m_events.at(row).toRecord();
    const auto answer = m_platform.prompts.ask(nullptr, QStringLiteral("Confirm"),
                                               QStringLiteral("Vuoi cancellare l'evento \"") +
                                                   text::fromCp1252(record.name) + QStringLiteral("\" ?"),
                                               QMessageBox::Question, Prompts::Buttons::OkCancel);
    // The list may have changed while the question was open: remove the record asked about.
    if (answer == Prompts::Answer::Ok && asked.isValid() && m_events.at(asked.row()) == RecordView(record)) {
        m_events.removeAt(asked.row());
        // No other record becomes current in its place.
        m_listView1->selectionModel()->clear();
    }
    focusList();
    ComboBox1Change();
}

void TForm1::recordSaved(int row)
{
    const QPersistentModelIndex saved(m_model->index(row, 0));
    m_events.sort();
    if (saved.isValid())
        makeCurrent(saved.row());
    ComboBox1Change();
}

void TForm1::editorClosed()
{
    setEnabled(true);
    m_listView1->setFocus();
}

bool TForm1::askDelete(const QByteArray &name)
{
    return m_platform.prompts.ask(nullptr, QStringLiteral("Warning"),
                                  QStringLiteral("Cancellare ") + text::fromCp1252(name) + QStringLiteral(" ?"),
                                  QMessageBox::Warning, Prompts::Buttons::YesNo) == Prompts::Answer::Yes;
}

void TForm1::showNotificationWindow()
{
    if (m_form4)
        m_form4->showNotifications();
}

void TForm1::disableMainWindow()
{
    setEnabled(false);
}

void TForm1::startCountdown()
{
    m_timer1->start();
}

void TForm1::enableStopButton()
{
    m_button4->setEnabled(true);
}

void TForm1::enableMainWindow()
{
    setEnabled(true);
}

void TForm1::showError(const QString &text)
{
    if (m_reportOnTerminal) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(m_title), qPrintable(withFullStop(text)));
        return;
    }
    m_platform.prompts.tell(nullptr, m_title, withFullStop(text), QMessageBox::Critical);
}

void TForm1::tell(const QString &text)
{
    m_platform.prompts.tell(nullptr, m_title, text, QMessageBox::NoIcon);
}

} // namespace roradaza

namespace roradaza {

void TForm1::requestSync()
{
    if (m_ended || m_leaving || !m_sync->isOn())
        return;
    if (m_pendingSync) {
        // One more comes once the waiting outcome is in the list.
        return;
    }
    m_syncRunner->request();
}

std::optional<QString> TForm1::syncPassword()
{
    const sync::SyncState &state = m_sync->state();
    if (state.user.isEmpty())
        return QString();
    if (m_password)
        return m_password;
    if (auto stored = m_passwords.read(passwordKeyOf(state.address, state.user))) {
        m_password = std::move(stored);
        return m_password;
    }
    // Asked once per run, and only of someone at the program: not over the
    // countdown, not from the tray, unless the user asked for the sync.
    const bool present = isVisible() && isEnabled() && !m_compact && !QApplication::activeModalWidget();
    if (m_passwordAsked || (!m_userAskedSync && !present)) {
        m_syncStatus = QStringLiteral("Sincronizzazione in attesa della password: \"Sincronizza ora\" la chiede");
        showSyncState();
        return std::nullopt;
    }
    m_passwordAsked = true;
    m_password =
        m_platform.prompts.askPassword(nullptr, QStringLiteral("Sincronizzazione"),
                                       QStringLiteral("Password di %1 su %2:").arg(state.user, state.address.host()));
    return m_password;
}

std::optional<sync::SyncJob> TForm1::syncJob()
{
    if (!m_sync->isOn() || m_ended)
        return std::nullopt;
    std::optional<QString> password = syncPassword();
    m_userAskedSync = false;
    if (!password)
        return std::nullopt;
    return sync::SyncJob{m_sync->account(*password), m_sync->state(), m_sync->snapshot(m_events),
                         m_platform.clock.today(), QDateTime::currentDateTimeUtc()};
}

void TForm1::SincronizzaOra1Click()
{
    if (!m_sync->isSetUp()) {
        Sincronizzazione1Click();
        return;
    }
    if (!m_sync->isOn())
        throw Failure(QStringLiteral("La sincronizzazione è spenta: accenderla in Funzioni, Configura, "
                                     "Sincronizzazione"));
    // Asked for by the user: the password may be asked again, and a failure is told again.
    m_userAskedSync = true;
    m_passwordAsked = false;
    m_syncFailureTold = false;
    m_showSyncWindowNext = true;
    requestSync();
}

void TForm1::Sincronizzazione1Click()
{
    const sync::SyncState &state = m_sync->state();
    SyncWindow window(
        {state.address, state.user, m_password.value_or(QString()), state.enabled, state.pinnedFingerprint},
        *m_syncRunner, m_platform.prompts, this);
    if (window.exec() != QDialog::Accepted)
        return;
    const SyncWindow::Settings chosen = window.settings();
    const bool another = chosen.address != state.address || chosen.user != state.user;
    m_sync->configure(chosen.address, chosen.user, chosen.enabled);
    m_sync->pin(chosen.pinnedFingerprint);
    if (another) {
        // Another collection: nothing the list holds is known there yet.
        m_sync->matchList(m_events);
        m_leftOnServerShown.clear();
        m_keptHereShown.clear();
        m_conflictsShown.clear();
    }
    m_sync->write();
    m_password.reset();
    m_passwordAsked = false;
    if (!chosen.user.isEmpty() && !chosen.password.isEmpty()) {
        m_password = chosen.password;
        if (!m_passwords.write(passwordKeyOf(chosen.address, chosen.user), chosen.password))
            tell(QStringLiteral("Il portachiavi del desktop non risponde: la password resta in memoria fino "
                                "alla chiusura di Roradaza, e al prossimo avvio viene chiesta di nuovo."));
    }
    m_syncFailureTold = false;
    m_syncStatus.clear();
    showSyncState();
    if (m_sync->isOn())
        requestSync();
}

void TForm1::syncFinished(const sync::SyncJob &job, const sync::Outcome &outcome)
{
    const bool changesList =
        !outcome.failure && (!outcome.replaced.empty() || !outcome.removed.empty() || !outcome.added.empty());
    // The editor or a box may hold a row of the list: the changes wait for them to close.
    if (changesList && !m_leaving && (!isEnabled() || QApplication::activeModalWidget())) {
        m_pendingSync.emplace(job, outcome);
        m_pendingSyncTimer->start();
        return;
    }
    guarded([&] { applySync(job, outcome); });
}

void TForm1::applyPendingSync()
{
    if (!m_pendingSync) {
        m_pendingSyncTimer->stop();
        return;
    }
    if (!m_leaving && (!isEnabled() || QApplication::activeModalWidget()))
        return;
    m_pendingSyncTimer->stop();
    auto [job, outcome] = *std::exchange(m_pendingSync, std::nullopt);
    applySync(job, std::move(outcome));
}

void TForm1::applySync(const sync::SyncJob &job, sync::Outcome outcome)
{
    const std::optional<sync::Failure> failure = outcome.failure;
    const std::vector<exchange::Refusal> leftOnServer = outcome.leftOnServer;
    const std::vector<exchange::Refusal> keptHere = outcome.keptHere;
    const int sent = outcome.sent;
    const int received = outcome.received;
    const sync::SyncSession::Applied applied = m_sync->apply(m_events, job.local, std::move(outcome));
    if (failure) {
        // The list is untouched; the state keeps what was done on the server before the failure.
        m_sync->write();
        syncFailed(*failure);
        return;
    }
    m_syncFailureTold = false;
    if (applied.changed > 0) {
        m_modified = true;
        ComboBox1Change();
        const QScopedValueRollback applying(m_applyingSync, true);
        SaveDatabase1Click();
    } else {
        m_sync->write();
    }
    m_syncStatus = QStringLiteral("Sincronizzato alle %1: %2 inviati, %3 ricevuti")
                       .arg(QTime::currentTime().toString(QStringLiteral("HH:mm")))
                       .arg(sent)
                       .arg(received);
    if (!m_sync->state().conflicts.empty())
        m_syncStatus += QStringLiteral(", %1 da decidere").arg(m_sync->state().conflicts.size());
    std::fprintf(stderr, "%s: %s\n", qPrintable(m_title), qPrintable(m_syncStatus));
    showSyncState();
    if (!m_leaving)
        showConflicts(leftOnServer, keptHere, std::exchange(m_showSyncWindowNext, false));
}

void TForm1::syncFailed(const sync::Failure &failure)
{
    m_syncStatus = QStringLiteral("Sincronizzazione non riuscita: %1").arg(failure.words);
    std::fprintf(stderr, "%s: %s\n", qPrintable(m_title), qPrintable(m_syncStatus));
    showSyncState();
    if (failure.kind == sync::Failure::Kind::Unauthorized) {
        // Typed wrong: asked again when the user next asks for a sync.
        m_password.reset();
        m_passwordAsked = true;
    }
    if (m_syncFailureTold || m_leaving)
        return;
    m_syncFailureTold = true;
    if (failure.kind == sync::Failure::Kind::UntrustedCertificate && !failure.fingerprint.isEmpty()) {
        const auto answer = m_platform.prompts.ask(
            nullptr, m_title,
            QStringLiteral("%1\n\nAccettare questo certificato? Farlo solo se l'impronta è quella del proprio "
                           "server.")
                .arg(failure.words),
            QMessageBox::Warning, Prompts::Buttons::YesNo);
        if (answer == Prompts::Answer::Yes) {
            m_sync->pin(failure.fingerprint);
            m_sync->write();
            m_syncFailureTold = false;
            requestSync();
        }
        return;
    }
    m_platform.prompts.tell(nullptr, m_title,
                            QStringLiteral("La sincronizzazione non è riuscita.\n%1\n\nL'elenco degli eventi non è "
                                           "stato toccato; Roradaza riprova alla prossima occasione.")
                                .arg(failure.words),
                            QMessageBox::Warning);
}

void TForm1::showSyncState()
{
    if (m_tray)
        m_tray->setToolTip(m_syncStatus.isEmpty() ? m_title.left(63) : m_title.left(63) + u'\n' + m_syncStatus);
    const bool running = m_syncRunner->isBusy();
    setWindowTitle(running ? QStringLiteral("Roradaza - sincronizzazione in corso...") : QStringLiteral("Roradaza"));
}

void TForm1::showConflicts(const std::vector<exchange::Refusal> &leftOnServer,
                           const std::vector<exchange::Refusal> &keptHere, bool always)
{
    const auto texts = [](const std::vector<exchange::Refusal> &refusals) {
        QStringList all;
        for (const exchange::Refusal &refusal : refusals)
            all << refusal.text();
        return all;
    };
    const QStringList left = texts(leftOnServer);
    const QStringList here = texts(keptHere);
    QList<QByteArray> conflicts;
    for (const sync::Conflict &conflict : m_sync->state().conflicts)
        conflicts << conflict.uid;
    // Shown when something is new, not at every sync: what was seen stays in the tool tip's count.
    const bool news = left != m_leftOnServerShown || here != m_keptHereShown ||
                      std::any_of(conflicts.begin(), conflicts.end(),
                                  [this](const QByteArray &uid) { return !m_conflictsShown.contains(uid); });
    if ((!always && !news) || (conflicts.isEmpty() && left.isEmpty() && here.isEmpty()))
        return;
    m_keptHereShown = here;
    m_leftOnServerShown = left;
    m_conflictsShown = conflicts;
    std::vector<SyncConflictWindow::Shown> shown;
    for (const sync::Conflict &conflict : m_sync->state().conflicts) {
        shown.push_back({conflict.uid, m_sync->localRecordOf(m_events, conflict.uid), conflict.server});
    }
    SyncConflictWindow window(std::move(shown), left, here, isVisible() ? this : nullptr);
    window.exec();
    bool chose = false;
    for (const auto &[uid, keepLocal] : window.choices())
        chose = m_sync->resolveConflict(m_events, uid, keepLocal) || chose;
    if (chose) {
        m_modified = true;
        ComboBox1Change();
        // Saved, and sent at the sync this save starts.
        SaveDatabase1Click();
    }
}

} // namespace roradaza
