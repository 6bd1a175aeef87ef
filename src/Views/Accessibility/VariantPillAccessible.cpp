#include "Views/Accessibility/VariantPillAccessible.h"

#include "Views/Accessibility/Announcements.h"
#include "Views/Accessibility/JobRowAccessible.h"
#include "Views/Workspace/JobListView.h"
#include "Views/Workspace/JobRowDelegate.h"
#include "Views/Workspace/VariantPill.h"

VariantPillAccessible::VariantPillAccessible(JobRowAccessible *row, ModelVariantPtr variant)
    : PressableElementAccessible(row), m_row(row), m_variant(std::move(variant))
{
    m_shownName = text(QAccessible::Name);
    m_shownDescription = text(QAccessible::Description);
    m_shownOpens = JobListView::pillOpens(*m_variant);
}

int VariantPillAccessible::index() const
{
    return int(m_row->job()->variants().indexOf(m_variant));
}

QString VariantPillAccessible::text(QAccessible::Text type) const
{
    switch (type) {
    case QAccessible::Name:
        return VariantPill::accessibleName(*m_variant);
    case QAccessible::Description:
        return VariantPill::helpText(*m_variant);
    default:
        return {};
    }
}

QRect VariantPillAccessible::rect() const
{
    const QRect row = m_row->viewportRect();
    const int at = index();
    if (row.isEmpty() || at < 0)
        return {};
    return m_row->toScreen(JobRowDelegate::geometry(row, *m_row->job()).pills.value(at));
}

QAccessible::State VariantPillAccessible::state() const
{
    QAccessible::State state = m_row->state();
    state.selectable = state.selected = state.focusable = state.focused = false;
    state.disabled = !JobListView::pillOpens(*m_variant);
    state.busy = m_variant->status().isActive();
    return state;
}

bool VariantPillAccessible::canPress() const
{
    return JobListView::pillOpens(*m_variant);
}

void VariantPillAccessible::press()
{
    m_row->view()->openPill(m_row->job(), index());
}

void VariantPillAccessible::update()
{
    Announcements::sendTextChanges(this, m_shownName, m_shownDescription);
    if (const bool opens = JobListView::pillOpens(*m_variant); opens != m_shownOpens) {
        m_shownOpens = opens;
        QAccessible::State changes;
        changes.disabled = true;
        QAccessibleStateChangeEvent changed(this, changes);
        Announcements::send(changed);
    }
}
