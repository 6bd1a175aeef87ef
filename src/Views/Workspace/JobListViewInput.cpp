// The job list's input: hover, clicks on rows, buttons and pills, the keyboard, the context menu
// and tooltips.
#include "Views/Workspace/JobListView.h"

#include "Services/AppStore.h"
#include "Views/Workspace/JobListModel.h"
#include "Views/Workspace/VariantPill.h"

#include <QFocusEvent>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QToolTip>

using namespace Qt::StringLiterals;

namespace
{
constexpr int hoverMs = 140;
} // namespace

void JobListView::setHovered(const ImageJob *job)
{
    if (m_hovered == job)
        return;
    if (m_hovered) {
        // A row still fading out stops at once; the row just left takes its place.
        updateRow(m_fading);
        m_fading = m_hovered;
        m_hoverOut.setValue(m_hoverIn.value());
        m_hoverOut.easeOutTo(0, hoverMs / 1000.0);
    }
    updateRow(m_hovered);
    m_hovered = job;
    m_hoverIn.setValue(0);
    if (job)
        m_hoverIn.easeOutTo(1, hoverMs / 1000.0);
    updateRow(job);
}

void JobListView::updatePointer(const QPoint &position)
{
    const QModelIndex index =
        viewport()->rect().contains(position) ? indexAt(position) : QModelIndex();
    const ImageJobPtr job = m_model->job(index);
    JobRowDelegate::Hit hit;
    if (job)
        hit = JobRowDelegate::hitTest(rowRect(index.row()), *job, position);
    setHovered(job.get());
    if (hit != m_pointer) {
        m_pointer = hit;
        viewport()->update(visualRect(index));
    }
    const bool clickable = hit.part == JobRowDelegate::Part::open ||
                           hit.part == JobRowDelegate::Part::remove ||
                           (job && job->hasViewableResult());
    viewport()->setCursor(clickable ? Qt::PointingHandCursor : Qt::ArrowCursor);
}

void JobListView::mouseMoveEvent(QMouseEvent *event)
{
    updatePointer(event->position().toPoint());
}

void JobListView::mousePressEvent(QMouseEvent *event)
{
    setFocus(Qt::MouseFocusReason);
    m_keyboardFocus = false;
    const QModelIndex index = indexAt(event->position().toPoint());
    if (!index.isValid() || event->button() != Qt::LeftButton) {
        QAbstractItemView::mousePressEvent(event);
        return;
    }
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    const ImageJobPtr job = m_model->job(index);
    m_pressedJob = job.get();
    m_pressed = JobRowDelegate::hitTest(rowRect(index.row()), *job, event->position());
    viewport()->update(visualRect(index));
}

void JobListView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !m_pressedJob) {
        QAbstractItemView::mouseReleaseEvent(event);
        return;
    }
    const QModelIndex index = indexAt(event->position().toPoint());
    const ImageJobPtr job = m_model->job(index);
    const JobRowDelegate::Hit pressed = m_pressed;
    const bool same = job && job.get() == m_pressedJob;
    m_pressedJob = nullptr;
    m_pressed = {};
    viewport()->update();
    if (same && JobRowDelegate::hitTest(rowRect(index.row()), *job, event->position()) == pressed)
        activate(index.row(), pressed);
}

void JobListView::mouseDoubleClickEvent(QMouseEvent *event)
{
    // A double click is two clicks; the first already acted.
    event->accept();
}

void JobListView::open(const ImageJobPtr &job)
{
    if (!job)
        return;
    // Opening is when a result moved away since the last look matters; hovering reads the record.
    job->refreshResultFiles();
    if (job->hasViewableResult())
        m_store.setPresenting(job);
}

void JobListView::remove(const ImageJobPtr &job)
{
    if (job)
        m_store.remove(job);
}

bool JobListView::pillOpens(const ModelVariant &variant)
{
    return variant.status().kind() == RunStatus::Kind::done && variant.resultExists();
}

void JobListView::openPill(const ImageJobPtr &job, int pill)
{
    // Only a result that can be shown opens; any other pill does nothing.
    if (!job || pill < 0 || pill >= job->variants().size())
        return;
    job->refreshResultFiles();
    if (pillOpens(*job->variants().at(pill)))
        m_store.setPresenting(job);
}

void JobListView::activate(int row, JobRowDelegate::Hit hit)
{
    const ImageJobPtr job = m_model->job(row);
    if (!job)
        return;
    switch (hit.part) {
    case JobRowDelegate::Part::open:
    case JobRowDelegate::Part::row:
        open(job);
        break;
    case JobRowDelegate::Part::remove:
        if (showsRemove(*job))
            remove(job);
        break;
    case JobRowDelegate::Part::pill:
        openPill(job, hit.pill);
        break;
    case JobRowDelegate::Part::none:
        break;
    }
}

void JobListView::focusInEvent(QFocusEvent *event)
{
    m_keyboardFocus = event->reason() == Qt::TabFocusReason ||
                      event->reason() == Qt::BacktabFocusReason ||
                      event->reason() == Qt::ShortcutFocusReason;
    QAbstractItemView::focusInEvent(event);
}

void JobListView::keyPressEvent(QKeyEvent *event)
{
    if (!m_keyboardFocus) {
        m_keyboardFocus = true;
        viewport()->update();
    }
    const ImageJobPtr job = m_model->job(currentIndex());
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (event->modifiers() & ~Qt::KeypadModifier) {
            // Ctrl+Return belongs to the window's Run command.
            event->ignore();
            return;
        }
        open(job);
        event->accept();
        return;
    case Qt::Key_Delete:
    case Qt::Key_Backspace:
        remove(job);
        event->accept();
        return;
    default:
        QAbstractItemView::keyPressEvent(event);
    }
}

QMenu *JobListView::contextMenu(const ImageJobPtr &job, QWidget *parent)
{
    auto *menu = new QMenu(parent);
    menu->setObjectName(u"jobContextMenu"_s);
    if (job->hasViewableResult()) {
        menu->addAction(longOpenLabel(*job), this, [this, job] { open(job); });
    }
    if (job->input().isPrompt()) {
        // "&&" shows one ampersand; a single one would mark a mnemonic.
        const QString label = job->input().references().isEmpty() ? u"Reuse Prompt"_s
                                                                  : u"Reuse Prompt && References"_s;
        menu->addAction(label, this, [this, job] { m_store.reuse(job); });
    } else {
        menu->addAction(u"Reveal Original in File Manager"_s, this, [this, job] {
            if (const auto &desktop = m_store.environment().desktop)
                desktop->reveal({job->input().url()});
        });
    }
    menu->addAction(u"Remove"_s, this, [this, job] { remove(job); });
    return menu;
}

void JobListView::contextMenuEvent(QContextMenuEvent *event)
{
    const bool byMouse = event->reason() == QContextMenuEvent::Mouse;
    const QModelIndex index = byMouse ? indexAt(event->pos()) : currentIndex();
    const ImageJobPtr job = m_model->job(index);
    if (!job)
        return;
    if (byMouse)
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    QMenu *menu = contextMenu(job, this);
    const QPoint at =
        byMouse ? event->globalPos() : viewport()->mapToGlobal(visualRect(index).center());
    menu->exec(at);
    delete menu;
}

bool JobListView::viewportEvent(QEvent *event)
{
    switch (event->type()) {
    case QEvent::ToolTip: {
        auto *help = static_cast<QHelpEvent *>(event);
        const QModelIndex index = indexAt(help->pos());
        const ImageJobPtr job = m_model->job(index);
        QString text;
        if (job) {
            const auto hit = JobRowDelegate::hitTest(rowRect(index.row()), *job, help->pos());
            if (hit.part == JobRowDelegate::Part::pill && hit.pill < job->variants().size())
                text = VariantPill::helpText(*job->variants().at(hit.pill));
            else if (hit.part == JobRowDelegate::Part::remove && showsRemove(*job))
                text = u"Remove"_s;
            else if (hit.part == JobRowDelegate::Part::open)
                text = longOpenLabel(*job);
        }
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, viewport(), visualRect(index));
        return true;
    }
    case QEvent::Leave:
        setHovered(nullptr);
        m_pointer = {};
        break;
    case QEvent::ScreenChangeInternal:
        // Another screen may have another pixel ratio.
        updatePreviewSide();
        break;
    default:
        break;
    }
    return QAbstractItemView::viewportEvent(event);
}
