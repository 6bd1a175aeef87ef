#include "Views/Accessibility/RowButtonAccessible.h"

#include "Views/Accessibility/JobRowAccessible.h"
#include "Views/Workspace/JobListModel.h"
#include "Views/Workspace/JobListView.h"
#include "Views/Workspace/JobRowDelegate.h"

using namespace Qt::StringLiterals;

RowButtonAccessible::RowButtonAccessible(JobRowAccessible *row, Kind kind)
    : PressableElementAccessible(row), m_row(row), m_kind(kind)
{
}

QString RowButtonAccessible::text(QAccessible::Text type) const
{
    const JobListView *view = m_row->view();
    if (!view)
        return {};
    const ImageJob &job = *m_row->job();
    switch (type) {
    case QAccessible::Name:
        return m_kind == Kind::open ? view->openLabel(job) : u"Remove "_s + JobListModel::name(job);
    case QAccessible::Description:
        return m_kind == Kind::open ? view->longOpenLabel(job) : u"Remove"_s;
    default:
        return {};
    }
}

QRect RowButtonAccessible::rect() const
{
    const QRect row = m_row->viewportRect();
    if (row.isEmpty())
        return {};
    const auto geometry = JobRowDelegate::geometry(row, *m_row->job());
    return m_row->toScreen(m_kind == Kind::open ? geometry.open : geometry.remove);
}

QAccessible::State RowButtonAccessible::state() const
{
    QAccessible::State state = m_row->state();
    state.selectable = state.selected = state.focusable = state.focused = false;
    return state;
}

void RowButtonAccessible::press()
{
    JobListView *view = m_row->view();
    if (!view)
        return;
    // The remove button is there for whoever cannot hover: pressing it always removes.
    if (m_kind == Kind::open)
        view->open(m_row->job());
    else
        view->remove(m_row->job());
}
