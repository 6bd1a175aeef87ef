#include "Views/Accessibility/JobRowAccessible.h"

#include "Views/Accessibility/Announcements.h"
#include "Views/Accessibility/RowButtonAccessible.h"
#include "Views/Accessibility/VariantPillAccessible.h"
#include "Views/Workspace/JobListModel.h"
#include "Views/Workspace/JobListView.h"
#include "Views/Workspace/VariantPill.h"

#include <QWidget>
#include <QWindow>

#include <utility>

using namespace Qt::StringLiterals;

JobRowAccessible::JobRowAccessible(JobListView *view, ImageJobPtr job)
    : m_view(view), m_job(std::move(job))
{
    m_shownParts = parts();
    m_shownName = text(QAccessible::Name);
    m_shownDescription = text(QAccessible::Description);
}

JobRowAccessible::~JobRowAccessible()
{
    for (const QAccessible::Id id : std::as_const(m_pills))
        QAccessible::deleteAccessibleInterface(id);
    if (m_open)
        QAccessible::deleteAccessibleInterface(m_open);
    if (m_remove)
        QAccessible::deleteAccessibleInterface(m_remove);
}

JobListView *JobRowAccessible::view() const
{
    return m_view;
}

bool JobRowAccessible::isValid() const
{
    return m_view && m_view->jobModel()->row(m_job.get()) >= 0;
}

QRect JobRowAccessible::viewportRect() const
{
    return m_view ? m_view->rowRect(m_view->jobModel()->row(m_job.get())) : QRect();
}

QRect JobRowAccessible::toScreen(const QRectF &viewportRect) const
{
    if (!m_view || viewportRect.isEmpty())
        return {};
    const QRect rect = viewportRect.toAlignedRect();
    return {m_view->viewport()->mapToGlobal(rect.topLeft()), rect.size()};
}

QWindow *JobRowAccessible::window() const
{
    return m_view ? m_view->window()->windowHandle() : nullptr;
}

QAccessibleInterface *JobRowAccessible::parent() const
{
    return QAccessible::queryAccessibleInterface(m_view.data());
}

QList<JobRowAccessible::Part> JobRowAccessible::parts() const
{
    QList<Part> parts;
    if (m_job->hasViewableResult())
        parts.append({Part::Kind::open, nullptr});
    parts.append({Part::Kind::remove, nullptr});
    for (const ModelVariantPtr &variant : m_job->variants())
        parts.append({Part::Kind::pill, variant.get()});
    return parts;
}

QAccessible::Id JobRowAccessible::existingId(const Part &part) const
{
    switch (part.kind) {
    case Part::Kind::open:
        return m_open;
    case Part::Kind::remove:
        return m_remove;
    case Part::Kind::pill:
        break;
    }
    return m_pills.value(part.variant);
}

QAccessibleInterface *JobRowAccessible::interfaceFor(const Part &part) const
{
    if (const QAccessible::Id id = existingId(part))
        return QAccessible::accessibleInterface(id);
    auto *self = const_cast<JobRowAccessible *>(this);
    QAccessibleInterface *made = nullptr;
    switch (part.kind) {
    case Part::Kind::open:
        made = new RowButtonAccessible(self, RowButtonAccessible::Kind::open);
        m_open = QAccessible::registerAccessibleInterface(made);
        break;
    case Part::Kind::remove:
        made = new RowButtonAccessible(self, RowButtonAccessible::Kind::remove);
        m_remove = QAccessible::registerAccessibleInterface(made);
        break;
    case Part::Kind::pill:
        for (const ModelVariantPtr &variant : m_job->variants()) {
            if (variant.get() == part.variant) {
                made = new VariantPillAccessible(self, variant);
                m_pills.insert(part.variant, QAccessible::registerAccessibleInterface(made));
            }
        }
        break;
    }
    return made;
}

void JobRowAccessible::forget(const Part &part)
{
    QAccessible::Id id = 0;
    switch (part.kind) {
    case Part::Kind::open:
        std::swap(id, m_open);
        break;
    case Part::Kind::remove:
        std::swap(id, m_remove);
        break;
    case Part::Kind::pill:
        id = m_pills.take(part.variant);
        break;
    }
    if (!id)
        return;
    QAccessibleEvent destroyed(QAccessible::accessibleInterface(id), QAccessible::ObjectDestroyed);
    Announcements::send(destroyed);
    QAccessible::deleteAccessibleInterface(id);
}

QAccessibleInterface *JobRowAccessible::child(int index) const
{
    const QList<Part> all = parts();
    return index >= 0 && index < all.size() ? interfaceFor(all.at(index)) : nullptr;
}

int JobRowAccessible::childCount() const
{
    return int(parts().size());
}

int JobRowAccessible::indexOfChild(const QAccessibleInterface *child) const
{
    const QList<Part> all = parts();
    for (qsizetype i = 0; i < all.size(); ++i) {
        const QAccessible::Id id = existingId(all.at(i));
        if (id && QAccessible::accessibleInterface(id) == child)
            return int(i);
    }
    return -1;
}

QAccessibleInterface *JobRowAccessible::childAt(int x, int y) const
{
    for (int i = 0; i < childCount(); ++i) {
        QAccessibleInterface *part = child(i);
        if (part && part->rect().contains(x, y))
            return part;
    }
    return nullptr;
}

QString JobRowAccessible::text(QAccessible::Text type) const
{
    switch (type) {
    case QAccessible::Name: {
        QString name = JobListModel::name(*m_job);
        if (const auto dimensions = m_job->sourceDimensions())
            name += u", "_s + *dimensions;
        return name;
    }
    case QAccessible::Description: {
        // Moving through the list reads the row, not its children: the pills' states go here.
        QStringList pills;
        for (const ModelVariantPtr &variant : m_job->variants())
            pills.append(VariantPill::accessibleName(*variant));
        return pills.join(u"; "_s);
    }
    default:
        return {};
    }
}

QRect JobRowAccessible::rect() const
{
    return toScreen(viewportRect());
}

QAccessible::State JobRowAccessible::state() const
{
    QAccessible::State state;
    if (!isValid()) {
        state.invalid = true;
        return state;
    }
    state.focusable = true;
    state.selectable = true;
    const bool current = m_view->currentIndex().row() == m_view->jobModel()->row(m_job.get());
    state.selected = current;
    state.focused = current && m_view->hasFocus();
    state.invisible = !m_view->isVisible();
    state.offscreen = !viewportRect().intersects(m_view->viewport()->rect());
    return state;
}

void *JobRowAccessible::interface_cast(QAccessible::InterfaceType type)
{
    return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface *>(this)
                                                : nullptr;
}

QStringList JobRowAccessible::actionNames() const
{
    QStringList names{setFocusAction()};
    if (m_job->hasViewableResult())
        names.prepend(pressAction());
    return names;
}

void JobRowAccessible::doAction(const QString &actionName)
{
    if (!isValid())
        return;
    if (actionName == pressAction()) {
        m_view->open(m_job);
    } else if (actionName == setFocusAction()) {
        const QModelIndex index = m_view->jobModel()->index(m_view->jobModel()->row(m_job.get()));
        m_view->setFocus(Qt::OtherFocusReason);
        m_view->setCurrentIndex(index);
        m_view->scrollTo(index);
    }
}

void JobRowAccessible::update()
{
    if (!isValid())
        return;
    const QList<Part> now = parts();
    for (const Part &part : std::as_const(m_shownParts)) {
        if (!now.contains(part))
            forget(part);
    }
    const QList<Part> before = std::exchange(m_shownParts, now);
    for (const Part &part : now) {
        if (!before.contains(part)) {
            QAccessibleEvent created(interfaceFor(part), QAccessible::ObjectCreated);
            Announcements::send(created);
        }
    }
    for (const QAccessible::Id id : std::as_const(m_pills))
        static_cast<VariantPillAccessible *>(QAccessible::accessibleInterface(id))->update();
    Announcements::sendTextChanges(this, m_shownName, m_shownDescription);
}
