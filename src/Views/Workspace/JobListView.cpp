#include "Views/Workspace/JobListView.h"

#include "Services/AppStore.h"
#include "Services/FileInspector.h"
#include "Views/Theme/AmbientBackdrop.h"
#include "Views/Theme/AnimationClock.h"
#include "Views/Theme/ProgressRing.h"
#include "Views/Workspace/JobListModel.h"
#include "Views/Workspace/VariantPill.h"

#include <QEasingCurve>
#include <QPainter>
#include <QPaintEvent>
#include <QScrollBar>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace
{

constexpr int statusChangeMs = 300; // a spring of response 0.3 s

RunStatus statusOfKind(RunStatus::Kind kind)
{
    switch (kind) {
    case RunStatus::Kind::waiting:
        return RunStatus::waiting();
    case RunStatus::Kind::preparing:
        return RunStatus::preparing();
    case RunStatus::Kind::uploading:
        return RunStatus::uploading();
    case RunStatus::Kind::running:
        return RunStatus::running();
    case RunStatus::Kind::downloading:
        return RunStatus::downloading();
    case RunStatus::Kind::done:
        return RunStatus::done();
    case RunStatus::Kind::failed:
        return RunStatus::failed({});
    case RunStatus::Kind::cancelled:
        break;
    }
    return RunStatus::cancelled();
}

} // namespace

JobListView::JobListView(AppStore &store, QWidget *parent)
    : QAbstractItemView(parent), m_store(store), m_model(new JobListModel(store, this)),
      m_delegate(new JobRowDelegate(this)), m_hoverIn(nullptr, 0), m_hoverOut(nullptr, 0)
{
    setObjectName(u"jobList"_s);
    setFrameShape(QFrame::NoFrame);
    viewport()->setAutoFillBackground(false);
    setAutoFillBackground(false);
    // The viewport paints the backdrop under its rows itself, so scrolling copies what is on
    // screen and paints only the strip that comes into view.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    setVerticalScrollMode(ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setSelectionMode(SingleSelection);
    setEditTriggers(NoEditTriggers);
    setMouseTracking(true);
    setItemDelegate(m_delegate);
    setModel(m_model);
    // Naming the list may build its accessible interface at once, which follows the model and
    // its selection: both must exist by then.
    setAccessibleName(u"Jobs"_s);
    // Previews of files added before the list first paints are already made at its size.
    updatePreviewSide();
    connect(&AnimationClock::instance(), &AnimationClock::tick, this, &JobListView::tick);
    // Switched off, a fade in flight shows its end at once; switched on, spinners turn again.
    connect(&Animation::notifier(), &Animation::Switch::toggled, this, [this] {
        viewport()->update();
        followMotion();
    });
    // A hover fade repaints its own row only: the rest of the list stays as it is on screen.
    connect(&m_hoverIn, &AnimatedValue::changed, this, [this] { updateRow(m_hovered); });
    connect(&m_hoverOut, &AnimatedValue::changed, this, [this] { updateRow(m_fading); });
    m_priority.setSingleShot(true);
    m_priority.setInterval(30);
    connect(&m_priority, &QTimer::timeout, this, [this] {
        // The rows on screen first, then the next screen down.
        if (!isVisible())
            return;
        auto [first, last] = visibleRows();
        if (last < first)
            return;
        last = std::min(m_model->rowCount() - 1, last + (last - first + 1));
        QList<ImageJobPtr> jobs;
        for (int r = first; r <= last; ++r)
            jobs.append(m_model->job(r));
        m_store.prioritizeInspection(jobs);
    });
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, [this] { schedulePriority(); });
    reset();
}

JobListView::~JobListView()
{
    if (m_holdsClock)
        AnimationClock::instance().release(this);
}

bool JobListView::showsPlayer(const ImageJob &job) const
{
    // A job that has just left the list is still asked about by an open menu.
    const ImageJobPtr listed = m_model->job(m_model->row(&job));
    return listed ? m_store.showsPlayer(listed) : m_store.mode() == Mode::video;
}

QString JobListView::openLabel(const ImageJob &job) const
{
    if (showsPlayer(job))
        return u"Play"_s;
    return job.input().isFile() ? u"Compare"_s : u"View"_s;
}

QString JobListView::longOpenLabel(const ImageJob &job) const
{
    if (showsPlayer(job))
        return u"Play Result"_s;
    return job.input().isFile() ? u"Compare Results"_s : u"View Result"_s;
}

bool JobListView::showsRemove(const ImageJob &job) const
{
    return JobRowDelegate::showsRemove(job, m_hovered == &job);
}

// --- Geometry ------------------------------------------------------------------------------------

int JobListView::layoutWidth() const
{
    return std::max(120, viewport()->width() - 2 * sideMargin);
}

void JobListView::relayout()
{
    const int width = layoutWidth();
    m_laidOutWidth = width;
    for (qsizetype r = 0; r < m_heights.size(); ++r)
        m_heights[r] = JobRowDelegate::heightFor(width, m_pills.at(r));
    restack(0);
}

void JobListView::restack(int from)
{
    m_tops.resize(m_heights.size());
    for (qsizetype r = std::max(0, from); r < m_heights.size(); ++r)
        m_tops[r] = r == 0 ? 0 : m_tops.at(r - 1) + m_heights.at(r - 1) + rowSpacing;
    m_contentHeight = m_heights.isEmpty() ? 0 : m_tops.last() + m_heights.last() + bottomMargin;
    updateGeometries();
    viewport()->update();
}

int JobListView::rowAt(int contentY) const
{
    // The last row whose top is at or above y.
    const auto it = std::upper_bound(m_tops.cbegin(), m_tops.cend(), contentY);
    if (it == m_tops.cbegin())
        return -1;
    const int row = int(it - m_tops.cbegin()) - 1;
    return contentY < m_tops.at(row) + m_heights.at(row) ? row : -1;
}

QRect JobListView::rowRect(int row) const
{
    if (row < 0 || row >= m_tops.size())
        return {};
    return {sideMargin, m_tops.at(row) - verticalOffset(), layoutWidth(), m_heights.at(row)};
}

std::pair<int, int> JobListView::visibleRows() const
{
    if (m_tops.isEmpty())
        return {0, -1};
    const int top = verticalOffset();
    const int bottom = top + viewport()->height();
    auto first = int(std::upper_bound(m_tops.cbegin(), m_tops.cend(), top) - m_tops.cbegin()) - 1;
    first = std::max(0, first);
    if (m_tops.at(first) + m_heights.at(first) < top)
        ++first;
    const int last =
        int(std::upper_bound(m_tops.cbegin(), m_tops.cend(), bottom) - m_tops.cbegin()) - 1;
    return {first, std::min(last, int(m_tops.size()) - 1)};
}

QRect JobListView::visualRect(const QModelIndex &index) const
{
    return index.isValid() ? rowRect(index.row()) : QRect();
}

void JobListView::scrollTo(const QModelIndex &index, ScrollHint hint)
{
    const QRect rect = visualRect(index);
    if (rect.isEmpty())
        return;
    QScrollBar *bar = verticalScrollBar();
    const int top = rect.top() + verticalOffset();
    const int bottom = top + rect.height();
    const int height = viewport()->height();
    switch (hint) {
    case PositionAtTop:
        bar->setValue(top);
        break;
    case PositionAtBottom:
        bar->setValue(bottom - height + rowSpacing);
        break;
    case PositionAtCenter:
        bar->setValue(top - (height - rect.height()) / 2);
        break;
    case EnsureVisible:
        if (top < bar->value())
            bar->setValue(top);
        else if (bottom > bar->value() + height)
            bar->setValue(bottom - height + rowSpacing);
        break;
    }
}

QModelIndex JobListView::indexAt(const QPoint &point) const
{
    if (point.x() < sideMargin || point.x() >= sideMargin + layoutWidth())
        return {};
    const int row = rowAt(point.y() + verticalOffset());
    return row < 0 ? QModelIndex() : m_model->index(row);
}

int JobListView::verticalOffset() const
{
    return verticalScrollBar()->value();
}

QModelIndex JobListView::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers)
{
    const int count = m_model->rowCount();
    if (count == 0)
        return {};
    const int current = currentIndex().isValid() ? currentIndex().row() : -1;
    int row = current;
    switch (cursorAction) {
    case MoveUp:
    case MovePrevious:
        row = current < 0 ? 0 : current - 1;
        break;
    case MoveDown:
    case MoveNext:
        row = current + 1;
        break;
    case MoveHome:
        row = 0;
        break;
    case MoveEnd:
        row = count - 1;
        break;
    case MovePageUp:
    case MovePageDown: {
        const int step = cursorAction == MovePageUp ? -viewport()->height() : viewport()->height();
        const int y = (current < 0 ? 0 : m_tops.at(current)) + step;
        row = rowAt(std::clamp(y, 0, std::max(0, m_contentHeight - 1)));
        if (row < 0)
            row = cursorAction == MovePageUp ? 0 : count - 1;
        break;
    }
    case MoveLeft:
    case MoveRight:
        break;
    }
    return m_model->index(std::clamp(row, 0, count - 1));
}

void JobListView::setSelection(const QRect &rect, QItemSelectionModel::SelectionFlags command)
{
    const QModelIndex index = indexAt(rect.center());
    if (index.isValid())
        selectionModel()->select(index, command);
}

QRegion JobListView::visualRegionForSelection(const QItemSelection &selection) const
{
    QRegion region;
    for (const QModelIndex &index : selection.indexes())
        region += visualRect(index);
    return region;
}

void JobListView::updateGeometries()
{
    QScrollBar *bar = verticalScrollBar();
    bar->setSingleStep(24);
    bar->setPageStep(viewport()->height());
    bar->setRange(0, std::max(0, m_contentHeight - viewport()->height()));
    QAbstractItemView::updateGeometries();
}

void JobListView::scrollContentsBy(int dx, int dy)
{
    // The base class repaints the whole viewport; moving what is on screen and painting the
    // strip that comes into view is far cheaper.
    scrollDirtyRegion(dx, dy);
    viewport()->scroll(dx, dy);
    updatePointer(viewport()->mapFromGlobal(QCursor::pos()));
    followMotion();
    schedulePriority();
}

void JobListView::resizeEvent(QResizeEvent *event)
{
    QAbstractItemView::resizeEvent(event);
    if (layoutWidth() != m_laidOutWidth)
        relayout();
    else
        updateGeometries();
    updatePreviewSide();
    followMotion();
    schedulePriority();
}

void JobListView::updatePreviewSide()
{
    // Previews are made for the square a row paints, at this screen's pixel ratio.
    const int side =
        int(std::ceil(JobRowDelegate::thumbnailSide * viewport()->devicePixelRatioF()));
    if (side != m_store.inspector().previewFillSide())
        m_store.setPreviewFillSide(side);
}

// --- Model changes -------------------------------------------------------------------------------

void JobListView::reset()
{
    QAbstractItemView::reset();
    m_shownKinds.clear();
    m_transitions.clear();
    m_hovered = m_fading = m_pressedJob = nullptr;
    const int count = m_model->rowCount();
    m_pills.resize(count);
    m_heights.resize(count);
    for (int r = 0; r < count; ++r)
        m_pills[r] = JobRowDelegate::pillSizes(*m_model->job(r));
    relayout();
    noteStatuses(0, count - 1, false);
    followMotion();
    schedulePriority();
}

void JobListView::rowsInserted(const QModelIndex &parent, int start, int end)
{
    QAbstractItemView::rowsInserted(parent, start, end);
    const int count = end - start + 1;
    const int width = layoutWidth();
    m_pills.insert(start, count, {});
    m_heights.insert(start, count, 0);
    for (int r = start; r <= end; ++r) {
        m_pills[r] = JobRowDelegate::pillSizes(*m_model->job(r));
        m_heights[r] = JobRowDelegate::heightFor(width, m_pills.at(r));
    }
    restack(start);
    noteStatuses(start, end, false);
    followMotion();
    schedulePriority();
}

void JobListView::rowsAboutToBeRemoved(const QModelIndex &parent, int start, int end)
{
    QAbstractItemView::rowsAboutToBeRemoved(parent, start, end);
    for (int r = start; r <= end; ++r) {
        const ImageJobPtr job = m_model->job(r);
        for (const ModelVariantPtr &variant : job->variants()) {
            m_shownKinds.remove(variant.get());
            m_transitions.remove(variant.get());
        }
        if (m_hovered == job.get())
            m_hovered = nullptr;
        if (m_fading == job.get())
            m_fading = nullptr;
        if (m_pressedJob == job.get())
            m_pressedJob = nullptr;
    }
    m_pills.remove(start, end - start + 1);
    m_heights.remove(start, end - start + 1);
    restack(start);
}

void JobListView::dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                              const QList<int> &roles)
{
    QAbstractItemView::dataChanged(topLeft, bottomRight, roles);
    int firstMoved = -1;
    for (int r = topLeft.row(); r <= bottomRight.row() && r < m_pills.size(); ++r) {
        QList<QSizeF> sizes = JobRowDelegate::pillSizes(*m_model->job(r));
        if (sizes == m_pills.at(r))
            continue;
        m_pills[r] = std::move(sizes);
        const int height = JobRowDelegate::heightFor(layoutWidth(), m_pills.at(r));
        if (height != m_heights.at(r)) {
            m_heights[r] = height;
            if (firstMoved < 0)
                firstMoved = r;
        }
    }
    if (firstMoved >= 0)
        restack(firstMoved);
    else
        viewport()->update(visualRect(topLeft).united(visualRect(bottomRight)));
    noteStatuses(topLeft.row(), bottomRight.row(), true);
    followMotion();
}

void JobListView::noteStatuses(int first, int last, bool fade)
{
    const bool animate = fade && Animation::enabled();
    const QRect onScreen = viewport()->rect();
    const qint64 now = AnimationClock::instance().now();
    for (int r = std::max(0, first); r <= last && r < m_model->rowCount(); ++r) {
        const bool seen = animate && rowRect(r).intersects(onScreen);
        for (const ModelVariantPtr &variant : m_model->job(r)->variants()) {
            const RunStatus::Kind kind = variant->status().kind();
            const auto shown = m_shownKinds.constFind(variant.get());
            if (seen && shown != m_shownKinds.cend() && *shown != kind)
                m_transitions.insert(variant.get(),
                                     {now, VariantPill::colour(statusOfKind(*shown), palette())});
            m_shownKinds.insert(variant.get(), kind);
        }
    }
}

QList<int> JobListView::movingRows() const
{
    const bool animate = Animation::enabled();
    QList<int> rows;
    const auto [first, last] = visibleRows();
    for (int r = first; r <= last; ++r) {
        const auto &variants = m_model->job(r)->variants();
        if (std::any_of(variants.begin(), variants.end(), [&](const ModelVariantPtr &variant) {
                return (animate && variant->status().isActive()) ||
                       m_transitions.contains(variant.get());
            }))
            rows.append(r);
    }
    return rows;
}

void JobListView::followMotion()
{
    const bool moving = !m_transitions.isEmpty() || !movingRows().isEmpty();
    if (moving == m_holdsClock)
        return;
    m_holdsClock = moving;
    if (moving)
        AnimationClock::instance().hold(this);
    else
        AnimationClock::instance().release(this);
}

// --- Painting ------------------------------------------------------------------------------------

void JobListView::paintEvent(QPaintEvent *event)
{
    QPainter painter(viewport());
    AmbientBackdrop::paintBehind(painter, *viewport(), event->rect());
    const auto [first, last] = visibleRows();
    const AnimationClock &clock = AnimationClock::instance();
    const qreal rotation = ProgressRing::rotation();
    const QModelIndex current = currentIndex();
    const bool focused = hasFocus() && m_keyboardFocus;
    for (int r = first; r <= last; ++r) {
        const QRect rect = rowRect(r);
        if (!rect.intersects(event->rect()))
            continue;
        const ImageJobPtr job = m_model->job(r);
        JobRowDelegate::RowState state;
        for (const ModelVariantPtr &variant : job->variants()) {
            std::pair<qreal, QColor> transition{1.0, QColor()};
            if (const auto it = m_transitions.constFind(variant.get());
                it != m_transitions.cend()) {
                if (const qreal t = clock.progress(it->startedMs, statusChangeMs); t < 1)
                    transition = {QEasingCurve(QEasingCurve::OutCubic).valueForProgress(t),
                                  it->from};
            }
            state.transitions.append(transition);
        }
        state.hovered = m_hovered == job.get();
        state.hover =
            state.hovered ? m_hoverIn.value() : (m_fading == job.get() ? m_hoverOut.value() : 0);
        state.current = focused && current.row() == r;
        if (m_pressedJob == job.get())
            state.pressed = m_pressed;
        if (state.hovered)
            state.pointer = m_pointer;
        state.ringRotation = rotation;
        m_delegate->paintRow(painter, rect, *job, openLabel(*job), palette(), state);
    }
}

void JobListView::updateRow(const ImageJob *job)
{
    if (const int row = job ? m_model->row(job) : -1; row >= 0)
        viewport()->update(rowRect(row));
}

void JobListView::tick()
{
    if (!m_holdsClock)
        return;
    // Rows whose fade ends now paint once more, at rest.
    for (int r : movingRows())
        viewport()->update(rowRect(r));
    const AnimationClock &clock = AnimationClock::instance();
    for (auto it = m_transitions.begin(); it != m_transitions.end();) {
        if (clock.progress(it->startedMs, statusChangeMs) >= 1)
            it = m_transitions.erase(it);
        else
            ++it;
    }
    followMotion();
}

void JobListView::changeEvent(QEvent *event)
{
    QAbstractItemView::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        viewport()->update();
}

void JobListView::schedulePriority()
{
    if (!m_priority.isActive())
        m_priority.start();
}
