#include "Views/Shell/DropOverlay.h"

#include "Views/Theme/Icons.h"
#include "Views/Theme/Theme.h"

#include <QPainter>
#include <QPainterPath>

namespace
{
constexpr qreal inset = 14;
constexpr qreal radius = 16;
constexpr qreal symbolSide = 34;
} // namespace

DropOverlay::DropOverlay(QWidget *parent) : QWidget(parent), m_opacity(this, 0)
{
    setObjectName(QStringLiteral("dropOverlay"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    hide();
    connect(&m_opacity, &AnimatedValue::changed, this, [this] {
        if (!m_shown && m_opacity.value() <= 0)
            hide();
    });
}

void DropOverlay::setShown(bool shown)
{
    if (m_shown == shown)
        return;
    m_shown = shown;
    if (shown) {
        raise();
        show();
    }
    m_opacity.springTo(shown ? 1 : 0, 0.25);
    if (!shown && m_opacity.value() <= 0)
        hide();
}

void DropOverlay::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(m_opacity.value());
    painter.fillRect(rect(), QColor(0, 0, 0, 77));

    const QRectF panel = QRectF(rect()).adjusted(inset, inset, -inset, -inset);
    QPainterPath shape;
    shape.addRoundedRect(panel, radius, radius);
    painter.fillPath(shape, Theme::withAlpha(Theme::accent(), 0.12));
    QPen dashes(Theme::withAlpha(Theme::accent(), 0.5), 2);
    // Qt measures dashes in pen widths: 7 and 5 pixels at a width of 2.
    dashes.setDashPattern({3.5, 2.5});
    painter.setPen(dashes);
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(shape);

    const QFont font = Theme::font(13.5, QFont::Medium);
    const QFontMetricsF metrics(font);
    const qreal blockHeight = symbolSide + 10 + metrics.height();
    const QPointF centre = panel.center();
    const qreal top = centre.y() - blockHeight / 2;
    Icons::paint(painter, QRectF(centre.x() - symbolSide / 2, top, symbolSide, symbolSide),
                 QStringLiteral("plus.circle.fill"), Theme::accent());
    painter.setFont(font);
    painter.setPen(Theme::primary(palette()));
    painter.drawText(QRectF(panel.left(), top + symbolSide + 10, panel.width(), metrics.height()),
                     Qt::AlignCenter, QStringLiteral("Add to queue"));
}
