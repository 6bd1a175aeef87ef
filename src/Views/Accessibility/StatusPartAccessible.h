#pragma once

#include "Views/Accessibility/PaintedElementAccessible.h"
#include "Views/Accessibility/StatusBarAccessible.h"

// One painted part of the status bar: its text, the run's progress (a progress bar whose value
// is the share done, in per cent), the run's spend or the missing-token warning.
class StatusPartAccessible final : public PaintedElementAccessible, public QAccessibleValueInterface
{
public:
    StatusPartAccessible(StatusBarAccessible *bar, StatusBarAccessible::Part part);
    Q_DISABLE_COPY_MOVE(StatusPartAccessible)

    QString text(QAccessible::Text type) const override;
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
