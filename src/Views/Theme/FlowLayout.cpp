#include "Views/Theme/FlowLayout.h"

#include <QWidget>

#include <algorithm>

FlowLayout::FlowLayout(int spacing, int lineSpacing, QWidget *parent)
    : QLayout(parent), m_spacing(spacing), m_lineSpacing(lineSpacing)
{
    setContentsMargins(0, 0, 0, 0);
}

FlowLayout::~FlowLayout()
{
    qDeleteAll(m_items);
}

FlowLayout::Placement FlowLayout::place(const QList<QSize> &sizes, int width, int spacing,
                                        int lineSpacing)
{
    Placement result;
    int x = 0;
    int y = 0;
    int lineHeight = 0;
    int widest = 0;
    for (const QSize &size : sizes) {
        if (width >= 0 && x > 0 && x + size.width() > width) {
            y += lineHeight + lineSpacing;
            x = 0;
            lineHeight = 0;
        }
        result.frames.append(QRect(QPoint(x, y), size));
        widest = std::max(widest, x + size.width());
        x += size.width() + spacing;
        lineHeight = std::max(lineHeight, size.height());
    }
    result.size = QSize(widest, sizes.isEmpty() ? 0 : y + lineHeight);
    return result;
}

void FlowLayout::addItem(QLayoutItem *item)
{
    m_items.append(item);
}

QLayoutItem *FlowLayout::itemAt(int index) const
{
    return m_items.value(index);
}

QLayoutItem *FlowLayout::takeAt(int index)
{
    if (index < 0 || index >= m_items.size())
        return nullptr;
    return m_items.takeAt(index);
}

QList<QSize> FlowLayout::visibleSizes() const
{
    QList<QSize> sizes;
    for (QLayoutItem *item : m_items) {
        if (!item->isEmpty())
            sizes.append(item->sizeHint());
    }
    return sizes;
}

int FlowLayout::heightForWidth(int width) const
{
    const QMargins margins = contentsMargins();
    return place(visibleSizes(), width - margins.left() - margins.right(), m_spacing, m_lineSpacing)
               .size.height() +
           margins.top() + margins.bottom();
}

QSize FlowLayout::sizeHint() const
{
    const QMargins margins = contentsMargins();
    return place(visibleSizes(), -1, m_spacing, m_lineSpacing).size +
           QSize(margins.left() + margins.right(), margins.top() + margins.bottom());
}

QSize FlowLayout::minimumSize() const
{
    QSize smallest;
    for (QLayoutItem *item : m_items) {
        if (!item->isEmpty())
            smallest = smallest.expandedTo(item->minimumSize());
    }
    const QMargins margins = contentsMargins();
    return smallest + QSize(margins.left() + margins.right(), margins.top() + margins.bottom());
}

void FlowLayout::setGeometry(const QRect &rect)
{
    QLayout::setGeometry(rect);
    const QRect area = rect.marginsRemoved(contentsMargins());
    const Placement placement = place(visibleSizes(), area.width(), m_spacing, m_lineSpacing);
    int index = 0;
    for (QLayoutItem *item : m_items) {
        if (item->isEmpty())
            continue;
        item->setGeometry(placement.frames.at(index++).translated(area.topLeft()));
    }
}
