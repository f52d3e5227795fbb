// What assistive technology sees of the hand-painted start button: a push
// button named by its title, with a press action and the series' progress
// as a value from 0 to 100. Its title label is painted content, not a child.
#pragma once

#include <QAccessibleWidget>

class CircularProgressButton;

class CircularProgressButtonAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit CircularProgressButtonAccessible(CircularProgressButton* button);

    // For QAccessible::installFactory: an interface for each CircularProgressButton.
    static QAccessibleInterface* create(const QString& className, QObject* object);
    // The button's progress as a whole percentage, the value we report.
    static int percent(double progress);

    QAccessible::Role role() const override;
    QString text(QAccessible::Text t) const override;
    QAccessible::State state() const override;
    void* interface_cast(QAccessible::InterfaceType t) override;

    int childCount() const override { return 0; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }

    QStringList actionNames() const override;
    void doAction(const QString& actionName) override;

    QVariant currentValue() const override;
    // Progress is the series' to set, not the reader's.
    void setCurrentValue(const QVariant&) override {}
    QVariant maximumValue() const override { return 100; }
    QVariant minimumValue() const override { return 0; }
    QVariant minimumStepSize() const override { return 1; }

private:
    CircularProgressButton* button() const;
};
