#include "Views/Accessibility/SegmentedControlAccessible.h"

#include "Views/Accessibility/SegmentAccessible.h"
#include "Views/Inspector/SegmentedControl.h"

SegmentedControlAccessible::SegmentedControlAccessible(SegmentedControl *control)
    : QAccessibleWidget(control, QAccessible::Grouping)
{
}

SegmentedControlAccessible::~SegmentedControlAccessible()
{
    for (const QAccessible::Id id : std::as_const(m_segments)) {
        if (id)
            QAccessible::deleteAccessibleInterface(id);
    }
}

SegmentedControl *SegmentedControlAccessible::control() const
{
    return static_cast<SegmentedControl *>(widget());
}

int SegmentedControlAccessible::childCount() const
{
    return control()->count();
}

QAccessibleInterface *SegmentedControlAccessible::child(int index) const
{
    if (index < 0 || index >= childCount())
        return nullptr;
    if (m_segments.size() < childCount())
        m_segments.resize(childCount());
    if (!m_segments.at(index)) {
        auto *self = const_cast<SegmentedControlAccessible *>(this);
        m_segments[index] =
            QAccessible::registerAccessibleInterface(new SegmentAccessible(self, index));
    }
    return QAccessible::accessibleInterface(m_segments.at(index));
}

int SegmentedControlAccessible::indexOfChild(const QAccessibleInterface *child) const
{
    for (qsizetype i = 0; i < m_segments.size(); ++i) {
        if (m_segments.at(i) && QAccessible::accessibleInterface(m_segments.at(i)) == child)
            return int(i);
    }
    return -1;
}

QAccessibleInterface *SegmentedControlAccessible::childAt(int x, int y) const
{
    const QPoint point = control()->mapFromGlobal(QPoint(x, y));
    for (int i = 0; i < childCount(); ++i) {
        if (control()->segmentRect(i).contains(point))
            return child(i);
    }
    return nullptr;
}

QAccessibleInterface *SegmentedControlAccessible::focusChild() const
{
    return control()->hasFocus() ? child(control()->current()) : nullptr;
}
