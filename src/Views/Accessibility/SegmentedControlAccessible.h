#pragma once

#include <QAccessibleWidget>
#include <QList>

class SegmentedControl;

// A segmented control as a group of radio buttons, one per segment, the current one checked.
// The segments are painted, so their interfaces are made here and live as long as this one.
class SegmentedControlAccessible final : public QAccessibleWidget
{
public:
    explicit SegmentedControlAccessible(SegmentedControl *control);
    ~SegmentedControlAccessible() override;
    Q_DISABLE_COPY_MOVE(SegmentedControlAccessible)

    int childCount() const override;
    QAccessibleInterface *child(int index) const override;
    int indexOfChild(const QAccessibleInterface *child) const override;
    QAccessibleInterface *childAt(int x, int y) const override;
    QAccessibleInterface *focusChild() const override;

    SegmentedControl *control() const;

private:
    mutable QList<QAccessible::Id> m_segments;
};
