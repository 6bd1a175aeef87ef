#pragma once

#include <QAccessibleInterface>

class SegmentedControlAccessible;

// One segment of a segmented control: a radio button, checked while it is the current one.
// Pressing it chooses it, as a click does; the control's owner decides whether it holds.
class SegmentAccessible final : public QAccessibleInterface, public QAccessibleActionInterface
{
public:
    SegmentAccessible(SegmentedControlAccessible *control, int index);
    Q_DISABLE_COPY_MOVE(SegmentAccessible)

    bool isValid() const override;
    QObject *object() const override { return nullptr; }
    QWindow *window() const override;
    QAccessibleInterface *parent() const override;
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    QString text(QAccessible::Text type) const override;
    void setText(QAccessible::Text, const QString &) override {}
    QRect rect() const override;
    QAccessible::Role role() const override { return QAccessible::RadioButton; }
    QAccessible::State state() const override;
    void *interface_cast(QAccessible::InterfaceType type) override;

    QStringList actionNames() const override;
    void doAction(const QString &actionName) override;
    QStringList keyBindingsForAction(const QString &) const override { return {}; }

private:
    SegmentedControlAccessible *m_control;
    int m_index;
};
