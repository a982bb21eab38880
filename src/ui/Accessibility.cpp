// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Accessibility.h"

#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QComboBox>

namespace roradaza {
namespace {

class NamedComboBox final : public QAccessibleWidget
{
public:
    explicit NamedComboBox(QComboBox *box) : QAccessibleWidget(box, QAccessible::ComboBox) {}

    QString text(QAccessible::Text which) const override
    {
        if (which == QAccessible::Value)
            return box()->currentText();
        return QAccessibleWidget::text(which);
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.editable = box()->isEditable();
        state.expandable = true;
        state.expanded = box()->view()->isVisible();
        return state;
    }

    QStringList actionNames() const override { return QAccessibleWidget::actionNames() << showMenuAction(); }

    void doAction(const QString &name) override
    {
        if (name == showMenuAction())
            box()->showPopup();
        else
            QAccessibleWidget::doAction(name);
    }

private:
    QComboBox *box() const { return static_cast<QComboBox *>(widget()); }
};

QAccessibleInterface *accessibleFor(const QString &className, QObject *object)
{
    if (className == QLatin1String("QComboBox"))
        return new NamedComboBox(static_cast<QComboBox *>(object));
    if (className == QLatin1String("roradaza::TForm4"))
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Dialog);
    return nullptr;
}

} // namespace

void installAccessibility()
{
    QAccessible::installFactory(accessibleFor);
}

} // namespace roradaza
