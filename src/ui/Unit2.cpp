// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Unit2.h"

#include "calendar/Calendar.h"
#include "calendar/SaintsCalendar.h"
#include "store/Conversions.h"
#include "store/EventList.h"
#include "store/Failure.h"
#include "store/Text.h"
#include "ui/Platform.h"
#include "ui/Prompts.h"
#include "ui/Screens.h"

#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>
#include <QToolTip>
#include <QValidator>

#include <algorithm>
#include <tuple>

namespace roradaza {
namespace {

const char *const namePrefixes[] = {
    "Compleanno di ", "Onomastico di ",     "Anniversario di ", "Festa di ", "Appuntamento con ",
    "Esame di ",      "Interrogazione di ", "Telefonare a ",    "Pagare ",   "Andare da ",
};

const char *const monthEntries[] = {
    "TUTTI",       "Gennaio (01)", "Febbraio (02)",  "Marzo (03)",   "Aprile (04)",   "Maggio (05)",   "Giugno (06)",
    "Luglio (07)", "Agosto (08)",  "Settembre (09)", "Ottobre (10)", "Novembre (11)", "Dicembre (12)",
};

// A name holds only what Windows-1252 can store, on one line: anything else
// is refused as it is typed or pasted, never stored changed.
class StorableText final : public QValidator
{
public:
    using QValidator::QValidator;
    State validate(QString &input, int &) const override
    {
        if (input.contains(QLatin1Char('\n')) || input.contains(QLatin1Char('\r')) || !text::toCp1252(input))
            return Invalid;
        return Acceptable;
    }
};

// The year box takes up to four digits as they are typed, in range or not,
// and brings the year to the nearest end of its range when it loses the
// focus; a box left empty reads as the first year.
class YearBox final : public QSpinBox
{
public:
    using QSpinBox::QSpinBox;

protected:
    QValidator::State validate(QString &input, int &position) const override
    {
        if (input.size() > 4 || std::any_of(input.cbegin(), input.cend(), [](QChar c) { return !c.isDigit(); }))
            return QValidator::Invalid;
        if (input.isEmpty())
            return QValidator::Intermediate;
        return QSpinBox::validate(input, position) == QValidator::Acceptable ? QValidator::Acceptable
                                                                             : QValidator::Intermediate;
    }
    void fixup(QString &input) const override
    {
        bool number = false;
        const int year = input.toInt(&number);
        input = QString::number(number ? std::clamp(year, minimum(), maximum()) : minimum());
    }
};

QByteArray bytesOf(const QString &text)
{
    return text::toCp1252(text).value_or(QByteArray());
}

template <typename Widget> Widget *place(Widget *widget, const char *name, int x, int y)
{
    widget->setObjectName(QLatin1String(name));
    widget->move(x, y);
    return widget;
}

} // namespace

TForm2::TForm2(const Calendar &calendar, const SaintsCalendar &saints, Prompts &prompts, EditorOwner &owner,
               const QString &title)
    : QDialog(nullptr, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      m_calendar(calendar), m_saints(saints), m_prompts(prompts), m_owner(owner), m_title(title)
{
    setObjectName(QStringLiteral("TForm2"));
    setWindowTitle(QStringLiteral("Modifica Evento"));
    setFont(uiFont(QStringLiteral("MS Sans Serif"), 11));
    setFixedSize(editingWidth, clientHeight);
    QFont bold = font();
    bold.setBold(true);

    auto *label1 = place(new QLabel(QStringLiteral("Nome Evento"), this), "Label1", 16, 13);
    label1->setFont(bold);
    m_nome = place(new QComboBox(this), "Nome", 104, 8);
    m_nome->setEditable(true);
    m_nome->setInsertPolicy(QComboBox::NoInsert);
    m_nome->setCompleter(nullptr);
    for (const char *prefix : namePrefixes)
        m_nome->addItem(QString::fromLatin1(prefix));
    m_nome->lineEdit()->setValidator(new StorableText(m_nome));
    m_nome->lineEdit()->setMaxLength(nameLengthLimit);
    // A refused character is said so beside the box, not dropped unseen.
    connect(m_nome->lineEdit(), &QLineEdit::inputRejected, this, [this] {
        QToolTip::showText(m_nome->mapToGlobal(QPoint(0, m_nome->height())), refusedCharacterText(), m_nome);
    });
    m_nome->resize(249, m_nome->sizeHint().height());

    m_groupBox2 = new QGroupBox(this);
    m_groupBox2->setObjectName(QStringLiteral("GroupBox2"));
    m_groupBox2->setGeometry(8, 40, 97, 121);
    m_groupBox2->installEventFilter(this);
    m_checkListBox1 = new QListWidget(m_groupBox2);
    m_checkListBox1->setObjectName(QStringLiteral("CheckListBox1"));
    m_checkListBox1->setGeometry(8, 16, 81, 97);
    // Seven short lines fill the box exactly, as a check list of this size shows them.
    m_checkListBox1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_checkListBox1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_checkListBox1->setUniformItemSizes(true);
    m_checkListBox1->setSpacing(0);
    m_checkListBox1->setStyleSheet(QStringLiteral("QListWidget::item { padding: 0px; height: 13px; }"));
    for (const QByteArray &weekday : weekdayListNames()) {
        auto *item = new QListWidgetItem(text::fromCp1252(weekday), m_checkListBox1);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }

    m_groupBox1 = new QGroupBox(this);
    m_groupBox1->setObjectName(QStringLiteral("GroupBox1"));
    m_groupBox1->setGeometry(112, 40, 249, 121);
    m_groupBox1->installEventFilter(this);
    auto *label2 = place(new QLabel(QStringLiteral("Mese"), m_groupBox1), "Label2", 8, 22);
    m_comboBox1 = place(new QComboBox(m_groupBox1), "ComboBox1", 36, 18);
    for (const char *entry : monthEntries)
        m_comboBox1->addItem(QString::fromLatin1(entry));
    m_comboBox1->resize(110, m_comboBox1->sizeHint().height());
    auto *label3 = place(new QLabel(QStringLiteral("Giorno"), m_groupBox1), "Label3", 154, 22);
    m_edit3 = place(new QLineEdit(m_groupBox1), "Edit3", 192, 18);
    m_edit3->setMaxLength(2);
    m_edit3->resize(32, 21);
    auto *label4 = place(new QLabel(QStringLiteral("Giorni di anticipo"), m_groupBox1), "Label4", 8, 52);
    m_edit2 = place(new QLineEdit(m_groupBox1), "Edit2", 98, 48);
    m_edit2->setMaxLength(2);
    m_edit2->resize(28, 21);
    m_checkBox2 = place(new QCheckBox(QStringLiteral("Anno specifico"), m_groupBox1), "CheckBox2", 134, 46);
    m_spinEdit1 = place(new YearBox(m_groupBox1), "SpinEdit1", 152, 66);
    m_spinEdit1->setRange(2000, 2999);
    m_spinEdit1->setValue(2000);
    m_spinEdit1->resize(64, 20);
    m_spinEdit1->hide();
    auto *bevel2 = new QFrame(m_groupBox1);
    bevel2->setObjectName(QStringLiteral("Bevel2"));
    bevel2->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    bevel2->setGeometry(6, 90, 237, 26);
    m_label5 = new QLabel(m_groupBox1);
    m_label5->setObjectName(QStringLiteral("Label5"));
    m_label5->setGeometry(12, 95, 70, 16);
    m_label6 = new QLabel(m_groupBox1);
    m_label6->setObjectName(QStringLiteral("Label6"));
    m_label6->setGeometry(84, 91, 153, 24);
    m_label6->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QFont italic = font();
    italic.setItalic(true);
    m_label6->setFont(italic);

    // The two mode buttons sit on the frames of their group boxes.
    m_rbSett = place(new QRadioButton(QStringLiteral("Settimanale"), this), "rbSett", 16, 33);
    m_rbAnn = place(new QRadioButton(QStringLiteral("Annuale"), this), "rbAnn", 120, 33);
    // One choice of two: exclusive, and so announced as radio buttons, not check boxes.
    for (QRadioButton *radio : {m_rbSett, m_rbAnn}) {
        radio->setAutoFillBackground(true);
        radio->adjustSize();
    }
    m_rbAnn->setChecked(true);

    m_checkBox1 = place(new QCheckBox(QStringLiteral("&Auto-Cancella questo evento dopo averlo notificato"), this),
                        "CheckBox1", 48, 163);
    m_checkBox3 = place(new QCheckBox(QStringLiteral("Evento Importante!"), this), "CheckBox3", 48, 179);
    QFont underlined = font();
    underlined.setUnderline(true);
    m_checkBox3->setFont(underlined);
    m_button1 = place(new QPushButton(QStringLiteral("Calendario >>"), this), "Button1", 272, 179);
    m_button1->resize(81, 17);

    auto *bevel1 = new QFrame(this);
    bevel1->setObjectName(QStringLiteral("Bevel1"));
    bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    bevel1->setGeometry(32, 202, 233, 37);
    m_bitBtn2 = place(new QPushButton(QStringLiteral("Annulla"), this), "BitBtn2", 40, 208);
    m_bitBtn2->resize(97, 25);
    m_bitBtn1 = place(new QPushButton(QStringLiteral("&Ok"), this), "BitBtn1", 152, 208);
    m_bitBtn1->resize(97, 25);
    m_bitBtn1->setFont(bold);
    m_bitBtn1->setDefault(true);

    // The calendar panel, beyond the editing area until "Calendario >>" opens it.
    auto *bevel3 = new QFrame(this);
    bevel3->setObjectName(QStringLiteral("Bevel3"));
    bevel3->setFrameStyle(QFrame::Panel | QFrame::Raised);
    bevel3->setGeometry(392, 16, 161, 33);
    m_label7 = place(new QLabel(QStringLiteral("Seleziona una data"), this), "Label7", 406, 24);
    QFont heading = bold;
    heading.setPixelSize(15);
    m_label7->setFont(heading);
    m_label8 = place(new QLabel(this), "Label8", 400, 224);
    m_label8->setFont(bold);
    m_label8->setCursor(Qt::PointingHandCursor);
    m_label8->installEventFilter(this);

    // For a screen reader: the controls whose text does not say what they are.
    m_nome->setAccessibleName(label1->text());
    m_nome->lineEdit()->setAccessibleName(label1->text());
    m_checkListBox1->setAccessibleName(QStringLiteral("Giorni della settimana"));
    m_groupBox2->setAccessibleName(m_rbSett->text());
    m_groupBox1->setAccessibleName(m_rbAnn->text());
    m_comboBox1->setAccessibleName(label2->text());
    m_edit3->setAccessibleName(label3->text());
    m_edit2->setAccessibleName(label4->text());
    m_spinEdit1->setAccessibleName(QStringLiteral("Anno"));

    // Top to bottom, left to right: the mode before the controls of each mode.
    QWidget *order[] = {m_nome,      m_rbSett,    m_rbAnn,     m_checkListBox1, m_comboBox1, m_edit3,   m_edit2,
                        m_checkBox2, m_spinEdit1, m_checkBox1, m_checkBox3,     m_button1,   m_bitBtn2, m_bitBtn1};
    for (std::size_t at = 1; at < std::size(order); ++at)
        setTabOrder(order[at - 1], order[at]);

    m_annualControls = {m_comboBox1, m_edit2,  m_edit3,  m_button1,   label2,     label3,
                        label4,      m_label5, m_label6, m_checkBox2, m_spinEdit1};
    applyMode();

    connect(m_rbAnn, &QRadioButton::clicked, this, &TForm2::rbAnnClick);
    connect(m_rbSett, &QRadioButton::clicked, this, &TForm2::rbSettClick);
    // The selected line, not the cursor: a list taking the focus puts its
    // cursor on the first line without the user choosing it.
    connect(m_checkListBox1, &QListWidget::itemSelectionChanged, this, [this] {
        if (!m_checkListBox1->selectedItems().isEmpty())
            CheckListBox1Click();
    });
    m_checkListBox1->viewport()->installEventFilter(this);
    connect(m_checkBox2, &QCheckBox::toggled, this, &TForm2::CheckBox2Click);
    connect(m_comboBox1, &QComboBox::activated, this, &TForm2::ComboBox1Change);
    connect(m_edit3, &QLineEdit::textChanged, this, [this] {
        m_dayTyped = true;
        ComboBox1Change();
    });
    connect(m_spinEdit1, &QSpinBox::textChanged, this, &TForm2::ComboBox1Change);
    connect(m_button1, &QPushButton::clicked, this, &TForm2::Button1Click);
    connect(m_bitBtn1, &QPushButton::clicked, this, &TForm2::BitBtn1Click);
    connect(m_bitBtn2, &QPushButton::clicked, this, &TForm2::BitBtn2Click);
    m_edit2->installEventFilter(this);
    m_edit3->installEventFilter(this);
}

QCalendarWidget *TForm2::monthCalendar()
{
    // Made when the dialog is first used, not at start-up: the program
    // starts and checks without ever opening the editor.
    if (m_monthCalendar1)
        return m_monthCalendar1;
    m_monthCalendar1 = new QCalendarWidget(this);
    m_monthCalendar1->setObjectName(QStringLiteral("MonthCalendar1"));
    m_monthCalendar1->setGeometry(376, 64, 191, 153);
    m_monthCalendar1->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    m_monthCalendar1->setHorizontalHeaderFormat(QCalendarWidget::SingleLetterDayNames);
    m_monthCalendar1->setLocale(QLocale(QLocale::Italian, QLocale::Italy));
    m_monthCalendar1->setFirstDayOfWeek(Qt::Monday);
    m_monthCalendar1->setCursor(Qt::PointingHandCursor);
    m_monthCalendar1->show();
    connect(m_monthCalendar1, &QCalendarWidget::clicked, this, &TForm2::MonthCalendar1Click);
    // For a screen reader: the month arrows are pictures, the days a table;
    // the month and the year are named by their text.
    m_monthCalendar1->setAccessibleName(QStringLiteral("Calendario"));
    const std::tuple<const char *, QString, QString> parts[] = {
        {"qt_calendar_prevmonth", QStringLiteral("Mese precedente"), QStringLiteral("Freccia verso sinistra")},
        {"qt_calendar_nextmonth", QStringLiteral("Mese successivo"), QStringLiteral("Freccia verso destra")},
        {"qt_calendar_yearedit", QStringLiteral("Anno"), QString()},
        {"qt_calendar_calendarview", QStringLiteral("Giorni del mese"), QString()}};
    for (const auto &[name, text, description] : parts) {
        if (auto *part = m_monthCalendar1->findChild<QWidget *>(QLatin1String(name))) {
            part->setAccessibleName(text);
            part->setAccessibleDescription(description);
        }
    }
    return m_monthCalendar1;
}

void TForm2::showFailure(const QString &text)
{
    m_prompts.tell(this, m_title, withFullStop(text), QMessageBox::Critical);
}

QDate TForm2::todayDate() const
{
    return QDate(m_calendar.todayYear(), m_calendar.todayMonth(), m_calendar.todayDay());
}

void TForm2::editCurrent()
{
    m_modal = false;
    show();
    raise();
    activateWindow();
}

void TForm2::addCurrent()
{
    m_modal = true;
    exec();
}

void TForm2::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    FormShow();
    if (!m_placed) {
        // Measured only now: measuring loads the heading's font, which start-up does without.
        m_label7->adjustSize();
        centreOnPointerScreen(this);
        m_placed = true;
    }
}

void TForm2::setMode(bool annual)
{
    QRadioButton *chosen = annual ? m_rbAnn : m_rbSett;
    if (!chosen->isChecked())
        annual ? rbAnnClick() : rbSettClick();
}

void TForm2::rbAnnClick()
{
    m_rbAnn->setChecked(true);
    m_rbSett->setChecked(false);
    applyMode();
}

void TForm2::rbSettClick()
{
    m_rbSett->setChecked(true);
    m_rbAnn->setChecked(false);
    applyMode();
}

void TForm2::applyMode()
{
    // One stop for the choice, on the chosen mode; the arrow keys move between the two.
    for (QRadioButton *radio : {m_rbSett, m_rbAnn})
        radio->setFocusPolicy(radio->isChecked() ? Qt::StrongFocus : Qt::ClickFocus);
    m_checkListBox1->setEnabled(m_rbSett->isChecked());
    for (QWidget *control : m_annualControls)
        control->setEnabled(m_rbAnn->isChecked());
}

void TForm2::CheckListBox1Click()
{
    if (m_loading)
        return;
    m_comboBox1->setCurrentIndex(-1);
    m_edit2->clear();
    m_edit3->clear();
    m_label5->clear();
    showSaints({});
}

void TForm2::showSaints(const QString &names)
{
    // Every name in sight: a line too long for its place goes on two, a
    // size smaller, and the tool tip holds it whole.
    QFont italic = font();
    italic.setItalic(true);
    const bool wraps = QFontMetrics(italic).horizontalAdvance(names) > m_label6->width();
    if (wraps)
        italic.setPixelSize(10);
    m_label6->setFont(italic);
    m_label6->setWordWrap(wraps);
    m_label6->setText(names);
    m_label6->setToolTip(names);
}

void TForm2::CheckBox2Click()
{
    m_spinEdit1->setVisible(m_checkBox2->isChecked());
    if (m_checkBox2->isChecked())
        m_spinEdit1->setFocus();
    ComboBox1Change();
}

std::optional<int> TForm2::typedDay()
{
    const QString day = m_edit3->text();
    if (day.isEmpty() || day.endsWith(QLatin1Char('A')) || day == QLatin1String("0"))
        return std::nullopt;
    const int value = toInteger(bytesOf(day));
    if (value > 31)
        return std::nullopt;
    return value;
}

void TForm2::ComboBox1Change()
{
    // The load refreshes once, when every control holds its value.
    if (m_loading)
        return;
    try {
        const std::optional<int> day = typedDay();
        const int month = m_comboBox1->currentIndex();
        if (!day || month < 1)
            return;
        m_label5->setText(text::fromCp1252(m_calendar.whatDay(*day, month, m_calendar.currentYear())));
        showSaints(text::fromCp1252(m_saints.saint(*day, month)));

        const QString year = m_checkBox2->isChecked() ? QString::number(m_spinEdit1->value())
                                                      : QString::fromLatin1(m_calendar.todayText().mid(6, 4));
        const QString dateText = m_edit3->text() + QLatin1Char('/') +
                                 QStringLiteral("%1").arg(month, 2, 10, QLatin1Char('0')) + QLatin1Char('/') + year;
        const QDate date(year.toInt(), month, *day);
        if (!date.isValid())
            throw Failure(QStringLiteral("'%1' is not a valid date").arg(dateText));
        monthCalendar()->setSelectedDate(date);
        monthCalendar()->setCurrentPage(date.year(), date.month());
    } catch (const Failure &failure) {
        showFailure(failure.message());
    }
}

void TForm2::Edit3KeyUp()
{
    // A key that changed the day has refreshed already, through the change itself.
    if (!m_dayTyped)
        ComboBox1Change();
}

void TForm2::Button1Click()
{
    m_button1->hide();
    QPoint at = pos();
    int width = this->width();
    for (int step = 1; step <= 100; ++step) {
        width += 2;
        if (step % 3 == 0)
            at.rx() -= 2;
    }
    setFixedWidth(width);
    move(at);
    keepOnScreen(this);
    monthCalendar()->show();
    monthCalendar()->setSelectedDate(todayDate());
    ComboBox1Change();
}

void TForm2::MonthCalendar1Click(QDate date)
{
    m_comboBox1->setCurrentIndex(date.month());
    const QString day = QStringLiteral("%1").arg(date.day(), 2, 10, QLatin1Char('0'));
    if (m_edit3->text() == day)
        ComboBox1Change();
    else
        m_edit3->setText(day);
    monthCalendar()->setSelectedDate(date);
    monthCalendar()->setCurrentPage(date.year(), date.month());
}

void TForm2::Label8Click()
{
    monthCalendar()->setSelectedDate(todayDate());
    MonthCalendar1Click(todayDate());
}

void TForm2::FormShow()
{
    monthCalendar();
    const EventList &events = m_owner.editedEvents();
    m_loadedRow = m_owner.currentRow();
    if (m_loadedRow < 0 || m_loadedRow >= events.size()) {
        m_loadedRow = -1;
        return;
    }
    m_loaded = events.at(m_loadedRow).toRecord();
    const EditorLoad load = decodeForEditor(m_loaded, m_calendar.todayYear());
    const EditorChoices &choices = load.choices;

    m_loading = true;
    for (int row = 0; row < m_checkListBox1->count(); ++row)
        m_checkListBox1->item(row)->setCheckState(Qt::Unchecked);
    setMode(true);
    m_label5->clear();
    showSaints({});
    if (m_button1->isHidden()) {
        const QScreen *screen = this->screen();
        const int screenWidth = screen ? screen->geometry().width() : 0;
        setFixedWidth(editingWidth);
        move(screenWidth / 2 - editingWidth / 2, y());
    } else {
        setFixedWidth(editingWidth);
    }
    m_button1->show();
    // Beyond the dialog's edge the calendar takes no part, nor the keyboard's Tab.
    m_monthCalendar1->hide();
    m_checkBox1->setChecked(false);
    m_checkBox3->setChecked(false);
    m_nome->setFocus();
    m_nome->setEditText(text::fromCp1252(choices.name));
    m_comboBox1->setCurrentIndex(choices.monthIndex);
    m_edit3->setText(text::fromCp1252(choices.dayText));
    m_edit2->setText(text::fromCp1252(choices.advanceText));
    m_spinEdit1->setValue(choices.year);
    m_checkBox2->setChecked(choices.specificYear);
    m_spinEdit1->setVisible(choices.specificYear);
    m_checkBox1->setChecked(choices.autoDelete);
    m_checkBox3->setChecked(choices.important);
    m_label8->setText(QStringLiteral("Data di oggi: ") + QString::fromLatin1(m_calendar.todayText()));
    m_label8->adjustSize();
    if (choices.weekly) {
        setMode(false);
        for (int row = 0; row < m_checkListBox1->count(); ++row)
            m_checkListBox1->item(row)->setCheckState(choices.weekdays[std::size_t(row)] ? Qt::Checked : Qt::Unchecked);
    }
    m_loading = false;

    if (!load.error.isEmpty())
        showFailure(load.error);
    ComboBox1Change();
    if (choices.specificYear)
        m_spinEdit1->setFocus();
}

void TForm2::BitBtn1Click()
{
    QString name = m_nome->currentText();
    if (!name.isEmpty() && name.at(0) >= QLatin1Char('a') && name.at(0) <= QLatin1Char('z'))
        name[0] = name.at(0).toUpper();
    m_nome->setEditText(name);

    EditorChoices choices;
    choices.name = bytesOf(name);
    choices.weekly = m_rbSett->isChecked();
    choices.monthIndex = m_comboBox1->currentIndex();
    choices.dayText = bytesOf(m_edit3->text());
    choices.advanceText = bytesOf(m_edit2->text());
    bool anyWeekday = false;
    for (int row = 0; row < m_checkListBox1->count(); ++row) {
        choices.weekdays[std::size_t(row)] = m_checkListBox1->item(row)->checkState() == Qt::Checked;
        anyWeekday = anyWeekday || choices.weekdays[std::size_t(row)];
    }
    choices.autoDelete = m_checkBox1->isChecked();
    choices.important = m_checkBox3->isChecked();
    choices.specificYear = m_checkBox2->isChecked();
    choices.year = m_spinEdit1->value();

    const bool refused =
        name.isEmpty() ||
        (!choices.weekly && (choices.monthIndex < 0 || choices.dayText.isEmpty() || choices.advanceText.isEmpty())) ||
        (choices.weekly && !anyWeekday);
    if (refused) {
        m_prompts.tell(this, m_title, QStringLiteral("Error!"), QMessageBox::NoIcon);
        // A new record's dialog ends on "&Ok" either way; its caller removes the nameless record.
        if (m_modal)
            reject();
        return;
    }

    // The save goes to the record the load read, wherever it now stands.
    EventList &events = m_owner.editedEvents();
    int row = m_loadedRow;
    if (row < 0 || row >= events.size() || !(events.at(row) == m_loaded)) {
        row = -1;
        for (int candidate = 0; candidate < events.size(); ++candidate) {
            if (events.at(candidate) == m_loaded) {
                row = candidate;
                break;
            }
        }
    }
    if (row < 0) {
        reject();
        m_prompts.tell(
            this, m_title,
            QStringLiteral("L'evento è stato cancellato nel frattempo: le modifiche non sono state salvate."),
            QMessageBox::Warning);
        return;
    }
    EventRecord record = encode(choices);
    events.replace(row, record);
    m_loaded = record;
    m_loadedRow = row;
    accept();
    m_owner.recordSaved(row);
}

void TForm2::BitBtn2Click()
{
    reject();
}

void TForm2::done(int result)
{
    QDialog::done(result);
    FormClose();
}

void TForm2::FormClose()
{
    m_owner.editorClosed();
}

bool TForm2::keyPressAllowed(QLineEdit *box, QKeyEvent *event)
{
    // Only typed characters count: Tab, Enter, Escape, Delete, the arrows and
    // the shortcuts leave the box as it is.
    const QString typed = event->text();
    const bool backspace = event->key() == Qt::Key_Backspace;
    if (!backspace && (typed.isEmpty() || !typed.at(0).isPrint()))
        return true;
    const QChar c = typed.isEmpty() ? QChar() : typed.at(0);
    const bool allowed = backspace || (c >= QLatin1Char('0') && c <= QLatin1Char('9'));
    box->setReadOnly(!allowed);
    return allowed;
}

bool TForm2::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && (watched == m_edit2 || watched == m_edit3)) {
        if (watched == m_edit3)
            m_dayTyped = false;
        keyPressAllowed(static_cast<QLineEdit *>(watched), static_cast<QKeyEvent *>(event));
    }
    if (event->type() == QEvent::KeyRelease && watched == m_edit3 && !static_cast<QKeyEvent *>(event)->isAutoRepeat())
        Edit3KeyUp();
    if (event->type() == QEvent::MouseButtonPress && watched == m_checkListBox1->viewport()) {
        // A press on a weekday's check box ticks it and selects its line too,
        // as a press anywhere else on the line does.
        const auto *press = static_cast<QMouseEvent *>(event);
        if (QListWidgetItem *item = m_checkListBox1->itemAt(press->position().toPoint()))
            m_checkListBox1->setCurrentItem(item);
    }
    if (event->type() == QEvent::MouseButtonPress) {
        if (watched == m_groupBox1 && m_groupBox1->isEnabled())
            rbAnnClick();
        else if (watched == m_groupBox2)
            rbSettClick();
        else if (watched == m_label8)
            Label8Click();
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace roradaza
