#include "Views/Inspector/PlainButton.h"

#include "Views/Theme/Icons.h"
#include "Views/Theme/Theme.h"

#include <QPainter>
#include <QtMath>

namespace
{
constexpr int spacing = 5;
}

PlainButton::PlainButton(const QString &symbol, const QString &text, Tint tint, QWidget *parent)
    : ThemedButton(text, parent), m_symbol(symbol), m_tint(tint)
{
    setFont(Theme::font(11, QFont::Medium));
    setPressedScale(0.97);
    setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
}

void PlainButton::setLabel(const QString &text)
{
    setText(text);
    updateGeometry();
    update();
}

void PlainButton::setTextFont(const QFont &font)
{
    setFont(font);
    updateGeometry();
}

void PlainButton::setFilled(bool filled)
{
    m_filled = filled;
    setSizePolicy(filled ? QSizePolicy::Expanding : QSizePolicy::Maximum, QSizePolicy::Fixed);
    update();
}

void PlainButton::setPadding(int horizontal, int vertical)
{
    m_padX = horizontal;
    m_padY = vertical;
    updateGeometry();
}

QSize PlainButton::sizeHint() const
{
    const QFontMetrics metrics(font());
    int width = 2 * m_padX;
    if (!m_symbol.isEmpty())
        width += qCeil(m_symbolSize) + (text().isEmpty() ? 0 : spacing);
    width += metrics.horizontalAdvance(text());
    const int height = qMax(metrics.height(), qCeil(m_symbolSize)) + 2 * m_padY;
    return {width, height};
}

QSize PlainButton::minimumSizeHint() const
{
    // A label may shrink to a few characters; the ends stay readable.
    const QSize full = sizeHint();
    return {qMin(full.width(), 2 * m_padX + qCeil(m_symbolSize) + 60), full.height()};
}

QColor PlainButton::colour(Tint tint) const
{
    switch (tint) {
    case Tint::accent:
        return Theme::accent();
    case Tint::orange:
        return Theme::orange(palette());
    case Tint::primary:
        return Theme::primary(palette());
    case Tint::secondary:
        return Theme::secondary(palette());
    case Tint::tertiary:
        return Theme::tertiary(palette());
    }
    return Theme::primary(palette());
}

void PlainButton::paintButton(QPainter &painter, const QRectF &rect)
{
    QColor tint = colour(m_tint);
    QColor symbolTint = colour(m_symbolTint.value_or(m_tint));
    if (!isEnabled()) {
        tint = Theme::withAlpha(tint, 0.4);
        symbolTint = Theme::withAlpha(symbolTint, 0.4);
    } else if (underMouse() || isDown()) {
        tint = tint.darker(isDown() ? 125 : 110);
        symbolTint = symbolTint.darker(isDown() ? 125 : 110);
    }
    if (m_filled) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(Theme::withAlpha(colour(m_tint), 0.16));
        painter.drawRoundedRect(rect, 8, 8);
    }
    const QFontMetrics metrics(font());
    const QRectF inner = rect.adjusted(m_padX, m_padY, -m_padX, -m_padY);
    const qreal symbolWidth =
        m_symbol.isEmpty() ? 0 : m_symbolSize + (text().isEmpty() ? 0 : spacing);
    const QString shown =
        metrics.elidedText(text(), Qt::ElideMiddle, qMax(0, qFloor(inner.width() - symbolWidth)));
    const qreal contentWidth = symbolWidth + metrics.horizontalAdvance(shown);
    qreal x = m_filled ? inner.center().x() - contentWidth / 2 : inner.left();
    if (!m_symbol.isEmpty()) {
        const QRectF box(x, inner.center().y() - m_symbolSize / 2, m_symbolSize, m_symbolSize);
        Icons::paint(painter, box, m_symbol, symbolTint, Icons::Weight::semibold);
        x += symbolWidth;
    }
    if (!shown.isEmpty()) {
        painter.setFont(font());
        painter.setPen(tint);
        painter.drawText(QRectF(x, inner.top(), inner.right() - x, inner.height()),
                         Qt::AlignVCenter | Qt::AlignLeft, shown);
    }
}
