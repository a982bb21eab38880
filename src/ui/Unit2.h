// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/EventRecord.h"

#include <QDialog>

#include <optional>

class QCalendarWidget;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace roradaza {

class Calendar;
class EventList;
class Prompts;
class SaintsCalendar;

// Said beside the name box when it refuses a character.
inline QString refusedCharacterText()
{
    return QStringLiteral("Carattere non ammesso nel nome dell'evento");
}

// What the editor needs of the main window.
class EditorOwner
{
public:
    virtual ~EditorOwner() = default;
    virtual EventList &editedEvents() = 0;
    // The row of the current record, or -1.
    virtual int currentRow() const = 0;
    // After a save: sort the list again, refresh the filter, keep the record current.
    virtual void recordSaved(int row) = 0;
    // Whenever the editor closes: the main window is enabled and its list focused.
    virtual void editorClosed() = 0;
};

// "Modifica Evento": loads the current record into its controls, shows the
// weekday and saints of the date being typed, and writes the record back on "&Ok".
class TForm2 final : public QDialog
{
    Q_OBJECT

public:
    TForm2(const Calendar &calendar, const SaintsCalendar &saints, Prompts &prompts, EditorOwner &owner,
           const QString &title);

    // For a record being edited: shown without waiting.
    void editCurrent();
    // For a new record: modal; returns when the dialog closes.
    void addCurrent();

    void rbAnnClick();
    void rbSettClick();
    void CheckListBox1Click();
    void CheckBox2Click();
    void ComboBox1Change();
    void Edit3KeyUp();
    void Button1Click();
    void MonthCalendar1Click(QDate date);
    void Label8Click();
    void BitBtn1Click();
    void BitBtn2Click();

    static constexpr int editingWidth = 375;
    static constexpr int clientHeight = 247;

protected:
    void showEvent(QShowEvent *event) override;
    void done(int result) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void FormShow();
    QCalendarWidget *monthCalendar();
    void FormClose();
    void setMode(bool annual);
    void applyMode();
    bool keyPressAllowed(QLineEdit *box, QKeyEvent *event);
    void showFailure(const QString &text);
    void showSaints(const QString &names);
    QDate todayDate() const;
    std::optional<int> typedDay();

    const Calendar &m_calendar;
    const SaintsCalendar &m_saints;
    Prompts &m_prompts;
    EditorOwner &m_owner;
    QString m_title;

    QComboBox *m_nome = nullptr;
    QGroupBox *m_groupBox1 = nullptr;
    QGroupBox *m_groupBox2 = nullptr;
    QRadioButton *m_rbAnn = nullptr;
    QRadioButton *m_rbSett = nullptr;
    QListWidget *m_checkListBox1 = nullptr;
    QComboBox *m_comboBox1 = nullptr;
    QLineEdit *m_edit3 = nullptr;
    QLineEdit *m_edit2 = nullptr;
    QCheckBox *m_checkBox2 = nullptr;
    QSpinBox *m_spinEdit1 = nullptr;
    QLabel *m_label5 = nullptr;
    QLabel *m_label6 = nullptr;
    QCheckBox *m_checkBox1 = nullptr;
    QCheckBox *m_checkBox3 = nullptr;
    QPushButton *m_button1 = nullptr;
    QPushButton *m_bitBtn1 = nullptr;
    QPushButton *m_bitBtn2 = nullptr;
    QCalendarWidget *m_monthCalendar1 = nullptr;
    QLabel *m_label7 = nullptr;
    QLabel *m_label8 = nullptr;
    std::vector<QWidget *> m_annualControls;

    // The record as the load read it, and where: a save goes to that record
    // only, wherever it now stands.
    int m_loadedRow = -1;
    EventRecord m_loaded;
    bool m_modal = false;
    bool m_dayTyped = false; // the key now released changed the day text
    bool m_loading = false;
    bool m_placed = false;
};

} // namespace roradaza
