#include "Views/Accessibility/RowButtonAccessible.h"

#include "Views/Accessibility/JobRowAccessible.h"
#include "Views/Workspace/JobListModel.h"
#include "Views/Workspace/JobListView.h"
#include "Views/Workspace/JobRowDelegate.h"

using namespace Qt::StringLiterals;

RowButtonAccessible::RowButtonAccessible(JobRowAccessible *row, Kind kind)
    : m_row(row), m_kind(kind)
{
}

bool RowButtonAccessible::isValid() const
{
    return m_row->isValid();
}

QWindow *RowButtonAccessible::window() const
{
    return m_row->window();
}

QAccessibleInterface *RowButtonAccessible::parent() const
{
    return m_row;
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

void *RowButtonAccessible::interface_cast(QAccessible::InterfaceType type)
{
    return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface *>(this)
                                                : nullptr;
}

QStringList RowButtonAccessible::actionNames() const
{
    return {pressAction()};
}

void RowButtonAccessible::doAction(const QString &actionName)
{
    JobListView *view = m_row->view();
    if (actionName != pressAction() || !view || !isValid())
        return;
    // The remove button is there for whoever cannot hover: pressing it always removes.
    if (m_kind == Kind::open)
        view->open(m_row->job());
    else
        view->remove(m_row->job());
}
