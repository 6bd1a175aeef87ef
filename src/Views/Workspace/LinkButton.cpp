#include "Views/Workspace/LinkButton.h"

#include "Views/Theme/Theme.h"

#include <QPainter>

LinkButton::LinkButton(const QString &text, QWidget *parent) : ThemedButton(text, parent)
{
    setFont(Theme::font(12));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize LinkButton::sizeHint() const
{
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(text()) + 6, metrics.height() + 4};
}

void LinkButton::paintButton(QPainter &painter, const QRectF &rect)
{
    QColor label = Theme::accent();
    if (isDown())
        label = label.darker(125);
    if (!isEnabled())
        label = Theme::tertiary(palette());
    painter.setPen(label);
    painter.setFont(font());
    painter.drawText(rect, Qt::AlignCenter, text());
}
