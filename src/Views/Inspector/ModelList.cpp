#include "Views/Inspector/ModelList.h"

#include "Views/Inspector/ModelRow.h"
#include "Views/Inspector/PickerListModel.h"
#include "Views/Inspector/PlainButton.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyle>

ModelList::ModelList(QWidget *parent)
    : QListView(parent), m_model(new PickerListModel(this)), m_row(new ModelRow(this)),
      m_remove(new PlainButton(QStringLiteral("trash"), QString(), PlainButton::Tint::tertiary,
                               viewport()))
{
    setObjectName(QStringLiteral("modelList"));
    setAccessibleName(QStringLiteral("Models"));
    setModel(m_model);
    setItemDelegate(m_row);
    setFrameShape(QFrame::NoFrame);
    setMouseTracking(true);
    setSelectionMode(QAbstractItemView::NoSelection);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setUniformItemSizes(false);
    setAutoFillBackground(false);
    viewport()->setAutoFillBackground(false);
    setContentsMargins(0, 5, 0, 5);
    setViewportMargins(0, 5, 0, 5);
    m_remove->setObjectName(QStringLiteral("removeModel"));
    m_remove->setToolTip(QStringLiteral("Remove this model"));
    m_remove->setSymbolSize(9);
    m_remove->setFocusPolicy(Qt::NoFocus);
    m_remove->hide();
    connect(m_remove, &QAbstractButton::clicked, this, [this] {
        if (m_removeTarget.isValid())
            Q_EMIT removeRequested(m_model->model(m_removeTarget.row()));
    });
    connect(this, &QAbstractItemView::clicked, this,
            [this](const QModelIndex &index) { Q_EMIT picked(m_model->model(index.row())); });
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] { placeRemoveButton({}); });
}

void ModelList::setRows(const QList<CatalogModel> &rows, const QStringList &selectedSlugs,
                        bool compare)
{
    m_model->setRows(rows, selectedSlugs, compare);
}

void ModelList::placeRemoveButton(const QModelIndex &index)
{
    const bool custom = index.isValid() && m_model->model(index.row()).isCustom;
    if (!custom) {
        m_removeTarget = QPersistentModelIndex();
        m_remove->hide();
        return;
    }
    m_removeTarget = index;
    const CatalogModel model = m_model->model(index.row());
    m_remove->setAccessibleName(QStringLiteral("Remove ") + model.title);
    m_remove->setGeometry(ModelRow::trashRect(visualRect(index)));
    m_remove->show();
}

void ModelList::keyPressEvent(QKeyEvent *event)
{
    const QModelIndex current = currentIndex();
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        if (current.isValid()) {
            Q_EMIT picked(m_model->model(current.row()));
            return;
        }
        break;
    case Qt::Key_Delete:
    case Qt::Key_Backspace:
        if (current.isValid() && m_model->model(current.row()).isCustom) {
            Q_EMIT removeRequested(m_model->model(current.row()));
            return;
        }
        break;
    default:
        break;
    }
    QListView::keyPressEvent(event);
}

void ModelList::resizeEvent(QResizeEvent *event)
{
    // Measured as if the scroll bar were always there: its coming and going as the list fills
    // and empties would otherwise throw away every row's measured height.
    m_row->setWidth(width() - style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this));
    QListView::resizeEvent(event);
    doItemsLayout();
}

bool ModelList::viewportEvent(QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseMove:
    case QEvent::HoverMove:
    case QEvent::HoverEnter: {
        const QPoint position = event->type() == QEvent::MouseMove
                                    ? static_cast<QMouseEvent *>(event)->position().toPoint()
                                    : static_cast<QHoverEvent *>(event)->position().toPoint();
        const QModelIndex index = indexAt(position);
        if (index != m_removeTarget)
            placeRemoveButton(index);
        break;
    }
    case QEvent::Leave:
    case QEvent::HoverLeave:
        if (!m_remove->underMouse())
            placeRemoveButton(hasFocus() ? currentIndex() : QModelIndex());
        break;
    default:
        break;
    }
    return QListView::viewportEvent(event);
}

void ModelList::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QListView::currentChanged(current, previous);
    if (hasFocus())
        placeRemoveButton(current);
}

void ModelList::scrollContentsBy(int dx, int dy)
{
    QListView::scrollContentsBy(dx, dy);
    if (m_removeTarget.isValid())
        placeRemoveButton(m_removeTarget);
}
