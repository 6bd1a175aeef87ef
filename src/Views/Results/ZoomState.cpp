#include "Views/Results/ZoomState.h"

#include <algorithm>

void ZoomState::setViewport(const QSizeF &viewport)
{
    m_viewport = viewport;
    // A smaller canvas may leave the images offset beyond what the new size allows.
    m_pan = clampPan(m_pan, currentScale());
    m_panAnchor = m_pan;
}

void ZoomState::reset(ZoomMode mode)
{
    m_mode = mode;
    m_pan = {};
    m_panAnchor = {};
}

double ZoomState::scaleFor(ZoomMode mode) const
{
    if (!mode.fit)
        return mode.scale;
    if (!m_resultPixels || m_resultPixels->isEmpty() || m_viewport.isEmpty())
        return 1.0;
    return std::min(m_viewport.width() / m_resultPixels->width(),
                    m_viewport.height() / m_resultPixels->height());
}

QPointF ZoomState::panLimit(double scale) const
{
    const QSizeF content =
        m_resultPixels && !m_resultPixels->isEmpty() ? *m_resultPixels * scale : m_viewport;
    return {std::max((content.width() - m_viewport.width()) / 2, 0.0),
            std::max((content.height() - m_viewport.height()) / 2, 0.0)};
}

QPointF ZoomState::clampPan(QPointF pan, double scale) const
{
    const QPointF limit = panLimit(scale);
    return {std::clamp(pan.x(), -limit.x(), limit.x()), std::clamp(pan.y(), -limit.y(), limit.y())};
}

// Zooming about the canvas centre. A result point p (measured from the image centre, in result
// pixels) is drawn at  centre + pan + p·s.  For the point now under the centre, pan + p·s = 0, so
// p = −pan / s_old; keeping it there at the new scale needs pan' = −p·s_new = pan · s_new / s_old.
// The pan is then clamped so that an image larger than the canvas never leaves an empty margin.
void ZoomState::applyZoom(ZoomMode mode)
{
    const double oldScale = currentScale();
    const double newScale = scaleFor(mode);
    m_mode = mode;
    if (oldScale <= 0 || newScale <= 0)
        return;
    m_pan = clampPan(m_pan * (newScale / oldScale), newScale);
    m_panAnchor = m_pan;
}

std::optional<double> ZoomState::wheelScale(double deltaY, bool precise) const
{
    if (deltaY == 0 || !m_resultPixels || m_viewport.width() <= 0)
        return std::nullopt;
    const double step = precise ? preciseStep : lineStep;
    return std::clamp((deltaY * step + 1) * currentScale(), minScale, maxScale);
}

void ZoomState::wheel(double deltaY, bool precise)
{
    if (const std::optional<double> scale = wheelScale(deltaY, precise))
        applyZoom(ZoomMode::ratio(*scale));
}

void ZoomState::pinch(double magnification)
{
    if (!m_pinchBase)
        m_pinchBase = currentScale();
    applyZoom(ZoomMode::ratio(std::clamp(*m_pinchBase * magnification, minScale, maxScale)));
}

void ZoomState::drag(QPointF translation)
{
    m_pan = clampPan(m_panAnchor + translation, currentScale());
}
