#include "Views/Theme/AmbientBackdrop.h"

#include "Views/Theme/Theme.h"

#include <QEvent>
#include <QPainter>
#include <QRadialGradient>

namespace
{

// A blurred disc is a radial gradient: full colour at the centre fading to nothing at the edge.
void glow(QPainter &painter, QPointF centre, qreal radius, QColor colour)
{
    QRadialGradient gradient(centre, radius);
    gradient.setColorAt(0, colour);
    QColor middle = colour;
    middle.setAlphaF(colour.alphaF() * 0.45f);
    gradient.setColorAt(0.45, middle);
    colour.setAlphaF(0);
    gradient.setColorAt(1, colour);
    painter.fillRect(QRectF(centre - QPointF(radius, radius), QSizeF(2 * radius, 2 * radius)),
                     gradient);
}

} // namespace

AmbientBackdrop::AmbientBackdrop(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void AmbientBackdrop::paint(QPainter &painter, const QRectF &rect, const QPalette &palette)
{
    painter.fillRect(rect, palette.color(QPalette::Window));
    const bool dark = Theme::isDark(palette);
    const qreal w = rect.width();
    const qreal h = rect.height();
    glow(painter, rect.topLeft() + QPointF(w * 0.12, h * 0.05), std::max(w, h) * 0.45,
         Theme::withAlpha(Theme::accent(), dark ? 0.22 : 0.12));
    glow(painter, rect.topLeft() + QPointF(w * 0.92, h * 0.95), std::max(w, h) * 0.5,
         Theme::withAlpha(Theme::accentSoft(), dark ? 0.16 : 0.09));
}

void AmbientBackdrop::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paint(painter, rect(), palette());
}

void AmbientBackdrop::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        update();
}
