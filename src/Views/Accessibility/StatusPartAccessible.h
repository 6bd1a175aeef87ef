#pragma once

#include "Views/Accessibility/StatusBarAccessible.h"

// One painted part of the status bar: its text, the run's progress (a progress bar whose value
// is the share done, in per cent) or the missing-token warning.
class StatusPartAccessible final : public QAccessibleInterface, public QAccessibleValueInterface
{
public:
    StatusPartAccessible(StatusBarAccessible *bar, StatusBarAccessible::Part part);
    Q_DISABLE_COPY_MOVE(StatusPartAccessible)

    bool isValid() const override { return m_bar->isValid(); }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override { return m_bar->window(); }
    QAccessibleInterface *parent() const override { return m_bar; }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    QString text(QAccessible::Text type) const override;
    void setText(QAccessible::Text, const QString &) override {}
    QRect rect() const override { return m_bar->rect(); }
    QAccessible::Role role() const override;
    QAccessible::State state() const override;
    void *interface_cast(QAccessible::InterfaceType type) override;

    QVariant currentValue() const override;
    void setCurrentValue(const QVariant &) override {}
    QVariant maximumValue() const override { return 100.0; }
    QVariant minimumValue() const override { return 0.0; }
    QVariant minimumStepSize() const override { return 0.0; }

private:
    StatusBarAccessible *m_bar;
    StatusBarAccessible::Part m_part;
};
