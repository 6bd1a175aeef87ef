#include "Views/Theme/TextButton.h"

#include "Views/Theme/Theme.h"

#include <QPainter>

namespace
{
constexpr int padding = 4;
}

TextButton::TextButton(const QString &text, Look look, qreal pixels, QWidget *parent)
    : ThemedButton(text, parent), m_look(look)
{
    setFont(Theme::font(pixels));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setPressedScale(0.98);
}

QSize TextButton::sizeHint() const
{
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(text()) + 2 * padding, metrics.height() + 2 * padding};
}

void TextButton::paintButton(QPainter &painter, const QRectF &rect)
{
    const QPalette &palette = this->palette();
    QColor colour = m_look == Look::link ? Theme::accent() : Theme::secondary(palette);
    if (!isEnabled())
        colour = Theme::tertiary(palette);
    else if (isDown())
        colour = Theme::withAlpha(colour, 0.7);
    QFont face = font();
    face.setUnderline(m_hovering && isEnabled());
    painter.setFont(face);
    painter.setPen(colour);
    painter.drawText(rect, Qt::AlignCenter, text());
}

void TextButton::enterEvent(QEnterEvent *event)
{
    m_hovering = true;
    update();
    ThemedButton::enterEvent(event);
}

void TextButton::leaveEvent(QEvent *event)
{
    m_hovering = false;
    update();
    ThemedButton::leaveEvent(event);
}
