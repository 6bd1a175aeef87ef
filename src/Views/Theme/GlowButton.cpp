#include "Views/Theme/GlowButton.h"

#include "Views/Theme/Icons.h"
#include "Views/Theme/ProgressRing.h"
#include "Views/Theme/Theme.h"

#include <QPainter>
#include <QPainterPath>

namespace
{
constexpr qreal radius = 10;
// Room around the button's face for its glow.
constexpr int glowMargin = 6;
} // namespace

GlowButton::GlowButton(const QString &text, QWidget *parent)
    : ThemedButton(text, parent), m_turn(this, 900, false)
{
    setFont(Theme::font(13, QFont::DemiBold));
    setPressedScale(0.985);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void GlowButton::setDestructive(bool destructive)
{
    if (m_destructive == destructive)
        return;
    m_destructive = destructive;
    update();
}

void GlowButton::setSymbol(const QString &symbol)
{
    m_symbol = symbol;
    updateGeometry();
    update();
}

void GlowButton::setBusy(bool busy)
{
    if (m_busy == busy)
        return;
    m_busy = busy;
    if (busy)
        m_turn.start();
    else
        m_turn.stop();
    updateGeometry();
    update();
}

QSize GlowButton::sizeHint() const
{
    const QFontMetrics metrics(font());
    const int symbolWidth = m_symbol.isEmpty() && !m_busy ? 0 : 20;
    return {metrics.horizontalAdvance(text()) + symbolWidth + 32 + 2 * glowMargin,
            36 + 2 * glowMargin};
}

QSize GlowButton::minimumSizeHint() const
{
    return {80, sizeHint().height()};
}

void GlowButton::paintButton(QPainter &painter, const QRectF &rect)
{
    const QPalette &palette = this->palette();
    const QRectF face = rect.adjusted(glowMargin, glowMargin, -glowMargin, -glowMargin);
    const bool enabled = isEnabled();

    QColor glow;
    if (m_destructive)
        glow = Theme::withAlpha(Theme::red(palette), 0.30);
    else if (enabled)
        glow = Theme::withAlpha(Theme::accent(), 0.38);
    if (glow.isValid()) {
        // A soft shadow: a few widening, fading outlines under the face, offset downwards.
        painter.setPen(Qt::NoPen);
        for (int step = glowMargin; step >= 1; --step) {
            QColor ring = glow;
            ring.setAlphaF(glow.alphaF() * (1.0f - float(step) / (glowMargin + 1)) * 0.45f);
            painter.setBrush(ring);
            painter.drawRoundedRect(face.adjusted(-step, -step + 2, step, step + 2), radius + step,
                                    radius + step);
        }
    }

    QPainterPath shape;
    shape.addRoundedRect(face, radius, radius);
    if (m_destructive)
        painter.fillPath(shape, Theme::withAlpha(Theme::red(palette), 0.85));
    else if (enabled)
        painter.fillPath(shape, Theme::accentGradient(face));
    else
        painter.fillPath(shape, Theme::primaryAt(palette, 0.06));

    const QColor label = enabled ? QColor(Qt::white) : Theme::secondary(palette);
    const QFontMetrics metrics(font());
    const qreal textWidth = metrics.horizontalAdvance(text());
    // The spinner is a 16-pixel ring at 0.7 of its size.
    const qreal symbolSide = m_busy ? 16 * 0.7 : m_symbol.isEmpty() ? 0 : 14;
    const qreal gap = symbolSide > 0 ? 6 : 0;
    qreal x = face.center().x() - (textWidth + symbolSide + gap) / 2;
    if (m_busy) {
        ProgressRing::paint(painter,
                            QRectF(x, face.center().y() - symbolSide / 2, symbolSide, symbolSide),
                            label, palette, m_turn.isRunning() ? m_turn.value() : 0);
        x += symbolSide + gap;
    } else if (!m_symbol.isEmpty()) {
        Icons::paint(painter, QRectF(x, face.center().y() - symbolSide / 2, symbolSide, symbolSide),
                     m_symbol, label, Icons::Weight::semibold);
        x += symbolSide + gap;
    }
    painter.setFont(font());
    painter.setPen(label);
    painter.drawText(QRectF(x, face.top(), textWidth + 1, face.height()),
                     Qt::AlignVCenter | Qt::AlignLeft, text());
}
