#include "Views/Accessibility/JobListAccessible.h"

#include "Services/JobTracker.h"
#include "Views/Accessibility/Announcements.h"
#include "Views/Accessibility/JobRowAccessible.h"
#include "Views/Workspace/JobListModel.h"
#include "Views/Workspace/JobListView.h"

#include <QApplication>

JobListAccessible::JobListAccessible(JobListView *view)
    : QAccessibleWidget(view, QAccessible::List), m_watch(std::make_unique<QObject>())
{
    JobListModel *model = view->jobModel();
    QObject *watch = m_watch.get();
    QObject::connect(
        model, &QAbstractItemModel::rowsInserted, watch,
        [this](const QModelIndex &, int first, int last) { announceRows(first, last); });
    QObject::connect(model, &QAbstractItemModel::rowsAboutToBeRemoved, watch,
                     [this](const QModelIndex &, int first, int last) { forgetRows(first, last); });
    QObject::connect(model, &QAbstractItemModel::modelAboutToBeReset, watch,
                     [this] { forgetAll(); });
    QObject::connect(model, &QAbstractItemModel::modelReset, watch, [this] {
        if (const int count = this->view()->jobModel()->rowCount())
            announceRows(0, count - 1);
    });
    // A change is told as it happens, not with the list's repaint a turn later.
    QObject::connect(
        &model->jobTracker(), &JobTracker::jobChanged, watch, [this](const ImageJob *job) {
            if (const QAccessible::Id id = m_rows.value(job))
                static_cast<JobRowAccessible *>(QAccessible::accessibleInterface(id))->update();
        });
    if (QItemSelectionModel *selection = view->selectionModel())
        QObject::connect(selection, &QItemSelectionModel::currentChanged, watch,
                         [this] { announceFocus(); });
    // Also called while the list is being deleted: compare, never cast.
    QObject::connect(qApp, &QApplication::focusChanged, watch, [this](QWidget *, QWidget *now) {
        if (now == widget())
            announceFocus();
    });
}

JobListAccessible::~JobListAccessible()
{
    m_watch.reset();
    for (const QAccessible::Id id : std::as_const(m_rows))
        QAccessible::deleteAccessibleInterface(id);
}

JobListView *JobListAccessible::view() const
{
    return static_cast<JobListView *>(widget());
}

int JobListAccessible::childCount() const
{
    return view()->jobModel()->rowCount();
}

QAccessibleInterface *JobListAccessible::child(int index) const
{
    return row(index);
}

JobRowAccessible *JobListAccessible::existingRow(int index) const
{
    const ImageJobPtr job = view()->jobModel()->job(index);
    const QAccessible::Id id = job ? m_rows.value(job.get()) : 0;
    return id ? static_cast<JobRowAccessible *>(QAccessible::accessibleInterface(id)) : nullptr;
}

JobRowAccessible *JobListAccessible::row(int index) const
{
    if (JobRowAccessible *existing = existingRow(index))
        return existing;
    const ImageJobPtr job = view()->jobModel()->job(index);
    if (!job)
        return nullptr;
    auto *row = new JobRowAccessible(view(), job);
    m_rows.insert(job.get(), QAccessible::registerAccessibleInterface(row));
    return row;
}

int JobListAccessible::indexOfChild(const QAccessibleInterface *child) const
{
    const auto *row = dynamic_cast<const JobRowAccessible *>(child);
    const ImageJobPtr job = row && row->view() == view() ? row->job() : nullptr;
    return job ? view()->jobModel()->row(job.get()) : -1;
}

QAccessibleInterface *JobListAccessible::childAt(int x, int y) const
{
    const QPoint point = view()->viewport()->mapFromGlobal(QPoint(x, y));
    const QModelIndex index = view()->indexAt(point);
    return index.isValid() ? row(index.row()) : nullptr;
}

QAccessibleInterface *JobListAccessible::focusChild() const
{
    const QModelIndex current = view()->currentIndex();
    return view()->hasFocus() && current.isValid() ? row(current.row()) : nullptr;
}

void JobListAccessible::announceRows(int first, int last)
{
    // Naming the list builds this interface even with no screen reader about; rows are then
    // made only when a client asks for them, not for every job of a large drop.
    if (!Announcements::wanted())
        return;
    for (int r = first; r <= last; ++r) {
        QAccessibleEvent created(row(r), QAccessible::ObjectCreated);
        Announcements::send(created);
    }
}

void JobListAccessible::forgetRows(int first, int last)
{
    for (int r = first; r <= last; ++r) {
        const ImageJobPtr job = view()->jobModel()->job(r);
        const QAccessible::Id id = job ? m_rows.take(job.get()) : 0;
        if (!id)
            continue;
        // Announced while the row is still listed, so a client can still place it.
        QAccessibleEvent destroyed(QAccessible::accessibleInterface(id),
                                   QAccessible::ObjectDestroyed);
        Announcements::send(destroyed);
        QAccessible::deleteAccessibleInterface(id);
    }
}

void JobListAccessible::forgetAll()
{
    if (const int count = view()->jobModel()->rowCount())
        forgetRows(0, count - 1);
    // Rows of jobs the model no longer lists, should any remain, go too.
    for (const QAccessible::Id id : std::as_const(m_rows))
        QAccessible::deleteAccessibleInterface(id);
    m_rows.clear();
}

void JobListAccessible::announceFocus()
{
    if (!Announcements::wanted())
        return;
    if (QAccessibleInterface *focused = focusChild()) {
        QAccessibleEvent event(focused, QAccessible::Focus);
        Announcements::send(event);
    }
}
