#include "circular_progress_button_accessible.h"

#include <cmath>

#include "circular_progress_button.h"

CircularProgressButtonAccessible::CircularProgressButtonAccessible(CircularProgressButton* button)
    : QAccessibleWidget(button, QAccessible::Button)
{
}

QAccessibleInterface* CircularProgressButtonAccessible::create(const QString& className, QObject* object)
{
    if (className != QLatin1String(CircularProgressButton::staticMetaObject.className()))
        return nullptr;
    auto* button = qobject_cast<CircularProgressButton*>(object);
    return button ? new CircularProgressButtonAccessible(button) : nullptr;
}

int CircularProgressButtonAccessible::percent(double progress)
{
    return static_cast<int>(std::lround(progress * 100.0));
}

CircularProgressButton* CircularProgressButtonAccessible::button() const
{
    return static_cast<CircularProgressButton*>(widget());
}

QAccessible::Role CircularProgressButtonAccessible::role() const
{
    return QAccessible::Button;
}

QString CircularProgressButtonAccessible::text(QAccessible::Text t) const
{
    // An explicit accessible name wins; otherwise the title that is painted.
    if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
        return button()->title();
    return QAccessibleWidget::text(t);
}

QAccessible::State CircularProgressButtonAccessible::state() const
{
    QAccessible::State state = QAccessibleWidget::state();
    state.pressed = button()->isPressed();
    // Disabled with the ring showing means a series is running.
    state.busy = button()->isRingVisible();
    return state;
}

void* CircularProgressButtonAccessible::interface_cast(QAccessible::InterfaceType t)
{
    if (t == QAccessible::ValueInterface)
        return static_cast<QAccessibleValueInterface*>(this);
    return QAccessibleWidget::interface_cast(t);
}

QStringList CircularProgressButtonAccessible::actionNames() const
{
    QStringList names = QAccessibleWidget::actionNames();
    names.prepend(pressAction());
    return names;
}

void CircularProgressButtonAccessible::doAction(const QString& actionName)
{
    if (actionName == pressAction())
        button()->click();
    else
        QAccessibleWidget::doAction(actionName);
}

QVariant CircularProgressButtonAccessible::currentValue() const
{
    return percent(button()->progress());
}
