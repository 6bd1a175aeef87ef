#include "Views/Theme/AmbientBackdrop.h"

#include "Views/Theme/Theme.h"

#include <QEvent>
#include <QPainter>
#include <QRadialGradient>

#include <algorithm>

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

QImage AmbientBackdrop::render(QSize size, const QPalette &palette)
{
    const QSize reduced = (size / 2).expandedTo(QSize(1, 1));
    QImage deep(reduced, QImage::Format_RGBA64_Premultiplied);
    QPainter painter(&deep);
    paint(painter, QRectF(QPointF(0, 0), QSizeF(reduced)), palette);
    painter.end();

    // Ordered noise of less than one step per channel before rounding: the bands dissolve.
    QImage result(reduced, QImage::Format_RGB32);
    quint32 seed = 0x9e3779b9u;
    for (int y = 0; y < reduced.height(); ++y) {
        const auto *source = reinterpret_cast<const QRgba64 *>(deep.constScanLine(y));
        auto *target = reinterpret_cast<QRgb *>(result.scanLine(y));
        for (int x = 0; x < reduced.width(); ++x) {
            seed = seed * 1664525u + 1013904223u;
            const double noise = double(seed >> 8) / double(1u << 24) - 0.5;
            const auto channel = [noise](quint16 value) {
                return std::clamp(int(value / 257.0 + noise + 0.5), 0, 255);
            };
            const QRgba64 colour = source[x];
            target[x] =
                qRgb(channel(colour.red()), channel(colour.green()), channel(colour.blue()));
        }
    }
    return result;
}

const QPixmap &AmbientBackdrop::rendered() const
{
    const QRgb window = palette().color(QPalette::Window).rgba();
    const qreal ratio = devicePixelRatioF();
    if (m_cache.isNull() || m_cacheSize != size() || m_cacheRatio != ratio ||
        m_cacheWindow != window) {
        const QSize pixels = (QSizeF(size()) * ratio).toSize();
        m_cache = QPixmap::fromImage(
            render(size(), palette())
                .scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        m_cache.setDevicePixelRatio(ratio);
        m_cacheSize = size();
        m_cacheRatio = ratio;
        m_cacheWindow = window;
    }
    return m_cache;
}

void AmbientBackdrop::paintBehind(QPainter &painter, const QWidget &widget, const QRect &rect)
{
    for (const QWidget *ancestor = widget.parentWidget(); ancestor;
         ancestor = ancestor->parentWidget()) {
        if (const auto *backdrop = qobject_cast<const AmbientBackdrop *>(ancestor)) {
            const QPixmap &pixmap = backdrop->rendered();
            const qreal ratio = pixmap.devicePixelRatio();
            const QRectF under(widget.mapTo(backdrop, rect.topLeft()), QSizeF(rect.size()));
            painter.drawPixmap(QRectF(rect), pixmap,
                               QRectF(under.topLeft() * ratio, under.size() * ratio));
            return;
        }
    }
    painter.fillRect(rect, widget.palette().color(QPalette::Window));
}

void AmbientBackdrop::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.drawPixmap(QPoint(0, 0), rendered());
}

void AmbientBackdrop::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        update();
}
