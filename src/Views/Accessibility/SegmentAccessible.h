#pragma once

#include "Views/Accessibility/PaintedElementAccessible.h"

class SegmentedControlAccessible;

// One segment of a segmented control: a radio button, checked while it is the current one.
// Pressing it chooses it, as a click does; the control's owner decides whether it holds.
class SegmentAccessible final : public PressableElementAccessible
{
public:
    SegmentAccessible(SegmentedControlAccessible *control, int index);
    Q_DISABLE_COPY_MOVE(SegmentAccessible)

    bool isValid() const override;
    QString text(QAccessible::Text type) const override;
    QRect rect() const override;
    QAccessible::Role role() const override { return QAccessible::RadioButton; }
    QAccessible::State state() const override;

protected:
    void press() override;

private:
    SegmentedControlAccessible *m_control;
    int m_index;
};
