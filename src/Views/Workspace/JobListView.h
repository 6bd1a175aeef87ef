#pragma once

#include "Models/ImageJob.h"
#include "Views/Theme/Animation.h"
#include "Views/Workspace/JobRowDelegate.h"

#include <QAbstractItemView>
#include <QHash>
#include <QTimer>

class AppStore;
class JobListModel;
class QMenu;

// The job list: one painted card per job, 7 pixels apart, with hover, clicks on the row, its
// buttons and its pills, a context menu and keyboard control. Rows are records in a model and
// painted by one delegate, so only the rows on screen cost anything; heights are kept per row
// and summed once, so a change to one row never measures the others.
class JobListView final : public QAbstractItemView
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(JobListView)
public:
    explicit JobListView(AppStore &store, QWidget *parent = nullptr);
    ~JobListView() override;

    JobListModel *jobModel() const { return m_model; }
    JobRowDelegate *rowDelegate() const { return m_delegate; }

    // ("Play", "Play Result") for a player, else ("Compare", "Compare Results") for a file and
    // ("View", "View Result") for a prompt.
    QString openLabel(const ImageJob &job) const;
    QString longOpenLabel(const ImageJob &job) const;
    // The context menu of a row, in its order; the caller owns it.
    QMenu *contextMenu(const ImageJobPtr &job, QWidget *parent);
    // The card of `row` in viewport coordinates.
    QRect rowRect(int row) const;
    // First and last row whose card meets the viewport; (0, -1) when none does.
    std::pair<int, int> visibleRows() const;
    // The remove button of `job` shows right now.
    bool showsRemove(const ImageJob &job) const;

    // What clicks on a row, its remove button and its pills do; the keyboard, the context menu
    // and assistive tools go the same way.
    void open(const ImageJobPtr &job);
    void remove(const ImageJobPtr &job);
    void openPill(const ImageJobPtr &job, int pill);
    // A pill opens its job only once its result is done and on disk.
    static bool pillOpens(const ModelVariant &variant);

    QRect visualRect(const QModelIndex &index) const override;
    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override;
    QModelIndex indexAt(const QPoint &point) const override;

    static constexpr int sideMargin = 16;
    static constexpr int rowSpacing = 7;
    static constexpr int bottomMargin = 16;

protected:
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    int horizontalOffset() const override { return 0; }
    int verticalOffset() const override;
    bool isIndexHidden(const QModelIndex &) const override { return false; }
    void setSelection(const QRect &rect, QItemSelectionModel::SelectionFlags command) override;
    QRegion visualRegionForSelection(const QItemSelection &selection) const override;
    void updateGeometries() override;
    void scrollContentsBy(int dx, int dy) override;

    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    bool viewportEvent(QEvent *event) override;
    void changeEvent(QEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;

protected Q_SLOTS:
    void dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                     const QList<int> &roles = {}) override;
    void rowsInserted(const QModelIndex &parent, int start, int end) override;
    void rowsAboutToBeRemoved(const QModelIndex &parent, int start, int end) override;
    void reset() override;

private:
    bool showsPlayer(const ImageJob &job) const;
    void relayout();
    void restack(int from);
    int layoutWidth() const;
    int rowAt(int contentY) const;
    void setHovered(const ImageJob *job);
    void updatePointer(const QPoint &position);
    void activate(int row, JobRowDelegate::Hit hit);
    void updateRow(const ImageJob *job);
    // Records the pills' statuses of rows first … last; those on screen that changed start a
    // colour fade.
    void noteStatuses(int first, int last, bool fade);
    // The rows on screen that move: a spinner turns or a pill fades.
    QList<int> movingRows() const;
    // Holds the animation clock while anything on screen moves.
    void followMotion();
    void tick();
    void updatePreviewSide();
    void schedulePriority();

    AppStore &m_store;
    JobListModel *m_model;
    JobRowDelegate *m_delegate;

    // Per row: height, pill sizes and top edge in content coordinates.
    QList<int> m_heights;
    QList<QList<QSizeF>> m_pills;
    QList<int> m_tops;
    int m_contentHeight = 0;
    int m_laidOutWidth = -1;

    // Hover: the row under the pointer fades in while the one it left fades out.
    const ImageJob *m_hovered = nullptr;
    const ImageJob *m_fading = nullptr;
    AnimatedValue m_hoverIn;
    AnimatedValue m_hoverOut;
    JobRowDelegate::Hit m_pointer;
    const ImageJob *m_pressedJob = nullptr;
    JobRowDelegate::Hit m_pressed;
    // The current row is ringed only while the keyboard drives the list.
    bool m_keyboardFocus = false;

    // Status changes seen on screen and the colour each pill had before; a fade is over once the
    // animation clock says so, and is dropped on the next tick.
    struct Transition {
        qint64 startedMs = 0;
        QColor from;
    };
    QHash<const ModelVariant *, RunStatus::Kind> m_shownKinds;
    QHash<const ModelVariant *, Transition> m_transitions;
    bool m_holdsClock = false;
    QTimer m_priority;
};
