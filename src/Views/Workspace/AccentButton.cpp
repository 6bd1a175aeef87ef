#include "Views/Workspace/AccentButton.h"

#include "Views/Theme/Theme.h"

#include <QPainter>

AccentButton::AccentButton(const QString &text, QWidget *parent) : ThemedButton(text, parent)
{
    setFont(Theme::font(13, QFont::Medium));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setPressedScale(0.97);
}

QSize AccentButton::sizeHint() const
{
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(text()) + 28, metrics.height() + 12};
}

void AccentButton::paintButton(QPainter &painter, const QRectF &rect)
{
    QColor fill = Theme::accent();
    if (isDown())
        fill = fill.darker(115);
    if (!isEnabled())
        fill = Theme::primaryAt(palette(), 0.1);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRoundedRect(rect.adjusted(0.5, 0.5, -0.5, -0.5), 7, 7);
    painter.setPen(isEnabled() ? QColor(Qt::white) : Theme::tertiary(palette()));
    painter.setFont(font());
    painter.drawText(rect, Qt::AlignCenter, text());
}
