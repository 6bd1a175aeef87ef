#include "Views/Accessibility/SegmentAccessible.h"

#include "Views/Accessibility/SegmentedControlAccessible.h"
#include "Views/Inspector/SegmentedControl.h"

SegmentAccessible::SegmentAccessible(SegmentedControlAccessible *control, int index)
    : PressableElementAccessible(control), m_control(control), m_index(index)
{
}

bool SegmentAccessible::isValid() const
{
    return PressableElementAccessible::isValid() && m_index < m_control->control()->count();
}

QString SegmentAccessible::text(QAccessible::Text type) const
{
    return type == QAccessible::Name ? m_control->control()->segment(m_index) : QString();
}

QRect SegmentAccessible::rect() const
{
    const SegmentedControl *control = m_control->control();
    const QRect segment = control->segmentRect(m_index);
    return {control->mapToGlobal(segment.topLeft()), segment.size()};
}

QAccessible::State SegmentAccessible::state() const
{
    const SegmentedControl *control = m_control->control();
    QAccessible::State state;
    state.checkable = true;
    state.checked = control->current() == m_index;
    state.focusable = control->focusPolicy() != Qt::NoFocus;
    state.focused = state.checked && control->hasFocus();
    state.disabled = !control->isEnabled();
    state.invisible = !control->isVisible();
    return state;
}

void SegmentAccessible::press()
{
    m_control->control()->choose(m_index);
}
