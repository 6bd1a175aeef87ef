#include "Views/Theme/QuietButton.h"

#include "Views/Theme/Theme.h"

#include <QPainter>

namespace
{
constexpr int horizontalPadding = 10;
constexpr int verticalPadding = 7;
QFont labelFont()
{
    return Theme::font(11.5, QFont::Medium);
}
} // namespace

QuietButton::QuietButton(const QString &text, bool prominent, QWidget *parent)
    : ThemedButton(text, parent), m_prominent(prominent)
{
    setFont(labelFont());
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void QuietButton::setProminent(bool prominent)
{
    if (m_prominent == prominent)
        return;
    m_prominent = prominent;
    update();
}

QSize QuietButton::sizeFor(const QString &text)
{
    const QFontMetrics metrics(labelFont());
    return {metrics.horizontalAdvance(text) + 2 * horizontalPadding,
            metrics.height() + 2 * verticalPadding};
}

QSize QuietButton::sizeHint() const
{
    return sizeFor(text());
}

void QuietButton::paint(QPainter &painter, const QRectF &rect, const QString &text, bool prominent,
                        bool pressed, bool enabled, const QPalette &palette)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Theme::primaryAt(palette, pressed ? 0.15 : 0.07));
    painter.drawRoundedRect(rect, 7, 7);
    QColor label = prominent ? Theme::accent() : Theme::secondary(palette);
    if (!enabled)
        label = Theme::tertiary(palette);
    painter.setPen(label);
    painter.setFont(labelFont());
    painter.drawText(rect, Qt::AlignCenter, text);
    painter.restore();
}

void QuietButton::paintButton(QPainter &painter, const QRectF &rect)
{
    paint(painter, rect, text(), m_prominent, isDown(), isEnabled(), palette());
}
