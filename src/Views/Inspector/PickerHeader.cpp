#include "Views/Inspector/PickerHeader.h"

#include "Views/Theme/Icons.h"
#include "Views/Theme/Theme.h"

#include <QPainter>
#include <QtMath>

PickerHeader::PickerHeader(QWidget *parent) : ThemedButton(QString(), parent), m_turn(this, 0)
{
    setObjectName(QStringLiteral("pickerHeader"));
    setFont(Theme::font(11.5));
    setPressedScale(0.99);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void PickerHeader::setSummary(const QString &summary)
{
    setText(summary);
    setAccessibleName(QStringLiteral("Models: ") + summary);
    update();
}

void PickerHeader::setExpanded(bool expanded)
{
    m_turn.springTo(expanded ? 1 : 0, 0.18);
    setAccessibleDescription(expanded ? QStringLiteral("Expanded") : QStringLiteral("Collapsed"));
}

QSize PickerHeader::sizeHint() const
{
    return {200, QFontMetrics(font()).height() + 14};
}

QSize PickerHeader::minimumSizeHint() const
{
    return {80, sizeHint().height()};
}

void PickerHeader::paintButton(QPainter &painter, const QRectF &rect)
{
    const QPalette pal = palette();
    painter.setPen(QPen(Theme::cardStroke(pal), 1));
    painter.setBrush(underMouse() ? Theme::primaryAt(pal, 0.06) : Theme::cardFill(pal));
    painter.drawRoundedRect(rect.adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
    const QRectF inner = rect.adjusted(10, 7, -10, -7);
    const QRectF chevron(inner.right() - 8, inner.center().y() - 4, 8, 8);
    painter.setFont(font());
    painter.setPen(Theme::primary(pal));
    painter.drawText(
        inner.adjusted(0, 0, -14, 0), Qt::AlignVCenter | Qt::AlignLeft,
        QFontMetrics(font()).elidedText(text(), Qt::ElideRight, qFloor(inner.width() - 14)));
    painter.save();
    painter.translate(chevron.center());
    painter.rotate(180 * m_turn.value());
    Icons::paint(painter, chevron.translated(-chevron.center()), QStringLiteral("chevron.down"),
                 Theme::secondary(pal), Icons::Weight::semibold);
    painter.restore();
}
