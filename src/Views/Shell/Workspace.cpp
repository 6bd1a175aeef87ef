#include "Views/Shell/Workspace.h"

#include "Services/AppStore.h"
#include "Views/Inspector/InspectorView.h"
#include "Views/Shell/DropOverlay.h"
#include "Views/Shell/Header.h"
#include "Views/Shell/StatusBar.h"
#include "Views/Shell/StoreWatcher.h"
#include "Views/Theme/Theme.h"
#include "Views/Workspace/CentreContent.h"

#include <QDragEnterEvent>
#include <QHBoxLayout>
#include <QMimeData>
#include <QPainter>
#include <QVBoxLayout>

namespace
{
// The line between the centre pane and the inspector.
class ColumnDivider final : public QWidget
{
public:
    explicit ColumnDivider(QWidget *parent) : QWidget(parent) { setFixedWidth(1); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), Theme::withAlpha(Theme::separator(palette()), 0.4));
    }
};
} // namespace

Workspace::Workspace(AppStore &store, StoreWatcher &watcher, QWidget *parent)
    : QWidget(parent), m_store(store), m_header(new Header(store, watcher, this)),
      m_centre(new CentreContent(store, this)), m_statusBar(new StatusBar(store, watcher, this)),
      m_inspector(new InspectorView(store, this)), m_overlay(new DropOverlay(this))
{
    setObjectName(QStringLiteral("workspace"));
    setAcceptDrops(true);
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    auto *centrePane = new QWidget(this);
    centrePane->setObjectName(QStringLiteral("centrePane"));
    auto *column = new QVBoxLayout(centrePane);
    column->setContentsMargins(0, 8, 0, 0);
    column->setSpacing(0);
    column->addWidget(m_header);
    column->addWidget(m_centre, 1);
    column->addWidget(m_statusBar);
    row->addWidget(centrePane, 1);
    row->addWidget(new ColumnDivider(this));
    row->addWidget(m_inspector);
    m_overlay->raise();
    connect(&watcher, &StoreWatcher::changed, this, &Workspace::refreshOverlay);
}

void Workspace::dragEnterEvent(QDragEnterEvent *event)
{
    if (!event->mimeData()->hasUrls())
        return;
    event->acceptProposedAction();
    setTargeted(true);
}

void Workspace::dragMoveEvent(QDragMoveEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void Workspace::dragLeaveEvent(QDragLeaveEvent *event)
{
    QWidget::dragLeaveEvent(event);
    setTargeted(false);
}

void Workspace::dropEvent(QDropEvent *event)
{
    setTargeted(false);
    if (!event->mimeData()->hasUrls())
        return;
    // The store ignores files outside upscale; the drop still counts as taken.
    m_store.addFiles(event->mimeData()->urls());
    event->acceptProposedAction();
}

void Workspace::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_overlay->setGeometry(rect());
}

void Workspace::setTargeted(bool targeted)
{
    if (m_targeted == targeted)
        return;
    m_targeted = targeted;
    m_centre->setDragTargeted(targeted);
    refreshOverlay();
}

void Workspace::refreshOverlay()
{
    // An empty list shows the hover on the drop zone itself; prompt modes take no files here.
    const std::optional<Mode> mode = m_store.mode();
    m_overlay->setShown(m_targeted && (!mode || mode == Mode::upscale) &&
                        !m_store.jobs().isEmpty());
}
