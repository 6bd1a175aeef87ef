#include "Views/Inspector/ModelRow.h"

#include "Models/CatalogModel.h"
#include "Views/Inspector/PickerListModel.h"
#include "Views/Theme/Icons.h"
#include "Views/Theme/Theme.h"

#include <QPainter>

namespace
{
// Row padding 6 × 5 inside a column inset 5 from the list's sides; a 14 px mark, then 8 px.
constexpr int inset = 5;
constexpr int padX = 6;
constexpr int padY = 5;
constexpr int mark = 14;
constexpr int gap = 8;
constexpr int trashSpace = 20;

int textLeft(const QRect &row)
{
    return row.left() + inset + padX + mark + gap;
}
} // namespace

ModelRow::ModelRow(QObject *parent) : QStyledItemDelegate(parent) {}

void ModelRow::setWidth(int width)
{
    if (width == m_width)
        return;
    m_width = width;
    m_heights.clear();
}

QRect ModelRow::trashRect(const QRect &row)
{
    return {row.right() - inset - padX - 16, row.top() + padY, 16, 16};
}

QSize ModelRow::sizeHint(const QStyleOptionViewItem &, const QModelIndex &index) const
{
    const CatalogModel model = index.data(PickerListModel::ModelRole).value<CatalogModel>();
    const QString key = model.slug() + QLatin1Char('\n') + model.blurb;
    auto it = m_heights.constFind(key);
    if (it == m_heights.constEnd()) {
        const QFontMetrics title(Theme::font(11.5, QFont::DemiBold));
        const QFontMetrics blurb(Theme::font(10));
        const int textWidth = m_width - (inset + padX + mark + gap) - trashSpace - inset;
        int blurbHeight = 0;
        if (!model.blurb.isEmpty()) {
            // Text no wider than the column fits one line; anything wider takes the two allowed.
            const bool wraps = blurb.horizontalAdvance(model.blurb) > qMax(40, textWidth);
            blurbHeight = (wraps ? 2 : 1) * blurb.lineSpacing();
        }
        it = m_heights.insert(key,
                              2 * padY + title.height() + (blurbHeight ? 1 + blurbHeight : 0) + 1);
    }
    return {m_width, *it};
}

void ModelRow::paint(QPainter *painter, const QStyleOptionViewItem &option,
                     const QModelIndex &index) const
{
    const CatalogModel model = index.data(PickerListModel::ModelRole).value<CatalogModel>();
    const bool selected = index.data(PickerListModel::SelectedRole).toBool();
    const bool compare = index.data(PickerListModel::CompareRole).toBool();
    const bool hovered = option.state.testFlag(QStyle::State_MouseOver);
    const QPalette &pal = option.palette;

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const QRectF row = QRectF(option.rect).adjusted(inset, 0, -inset, -1);
    painter->setPen(Qt::NoPen);
    if (selected)
        painter->setBrush(Theme::withAlpha(Theme::accent(), 0.10));
    else if (hovered)
        painter->setBrush(Theme::primaryAt(pal, 0.05));
    else
        painter->setBrush(Qt::NoBrush);
    painter->drawRoundedRect(row, 7, 7);
    if (option.state.testFlag(QStyle::State_HasFocus)) {
        painter->setPen(QPen(Theme::withAlpha(Theme::accent(), 0.7), 1.5));
        painter->setBrush(Qt::NoBrush);
        painter->drawRoundedRect(row.adjusted(0.75, 0.75, -0.75, -0.75), 7, 7);
    }

    const QRectF box(row.left() + padX, row.top() + padY + 1, mark, mark);
    if (compare) {
        painter->setPen(Qt::NoPen);
        if (selected)
            painter->setBrush(Theme::accentGradient(box));
        else
            painter->setBrush(Theme::primaryAt(pal, 0.10));
        painter->drawRoundedRect(box, 4, 4);
    }
    if (selected)
        Icons::paint(*painter, box.adjusted(3, 3, -3, -3), QStringLiteral("checkmark"),
                     compare ? QColor(Qt::white) : Theme::accent(), Icons::Weight::bold);

    const QFont titleFont = Theme::font(11.5, selected ? QFont::DemiBold : QFont::Normal);
    const QFont smallFont = Theme::font(10);
    const QFontMetrics titleMetrics(titleFont);
    const QFontMetrics smallMetrics(smallFont);
    const int left = textLeft(option.rect);
    const int right =
        option.rect.right() - inset - padX - (hovered && model.isCustom ? trashSpace : 0);
    const int width = qMax(0, right - left);
    const int top = option.rect.top() + padY;

    const QString title = titleMetrics.elidedText(model.title, Qt::ElideRight, width);
    painter->setFont(titleFont);
    painter->setPen(Theme::primary(pal));
    painter->drawText(QRect(left, top, width, titleMetrics.height()),
                      Qt::AlignLeft | Qt::AlignVCenter, title);
    const int ownerLeft = left + titleMetrics.horizontalAdvance(title) + 5;
    if (ownerLeft < left + width) {
        painter->setFont(smallFont);
        painter->setPen(Theme::secondary(pal));
        painter->drawText(
            QRect(ownerLeft, top, left + width - ownerLeft, titleMetrics.height()),
            Qt::AlignLeft | Qt::AlignVCenter,
            smallMetrics.elidedText(model.owner, Qt::ElideRight, left + width - ownerLeft));
    }
    if (!model.blurb.isEmpty()) {
        // Two lines at most: the first wraps at a word, the second is cut with an ellipsis.
        const int blurbTop = top + titleMetrics.height() + 1;
        painter->setFont(smallFont);
        painter->setPen(Theme::secondary(pal));
        const QRect area(left, blurbTop, width, option.rect.bottom() - padY - blurbTop + 1);
        QString text = model.blurb;
        if (smallMetrics.boundingRect(QRect(0, 0, width, 10000), Qt::TextWordWrap, text).height() >
            2 * smallMetrics.lineSpacing()) {
            // Find how much fits on the first line, then elide the rest onto the second.
            int cut = static_cast<int>(text.size());
            while (cut > 0 && smallMetrics.horizontalAdvance(text.left(cut)) > width)
                cut = static_cast<int>(text.lastIndexOf(QLatin1Char(' '), cut - 1));
            if (cut <= 0)
                cut = static_cast<int>(text.size()) / 2;
            text = text.left(cut) + QLatin1Char('\n') +
                   smallMetrics.elidedText(text.mid(cut).trimmed(), Qt::ElideRight, width);
            painter->drawText(area, Qt::AlignLeft | Qt::AlignTop, text);
        } else {
            painter->drawText(area, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text);
        }
    }
    painter->restore();
}
