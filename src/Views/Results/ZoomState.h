#pragma once

#include <QPointF>
#include <QSizeF>

#include <optional>

// How the result is scaled: fitted to the canvas, or a fixed number of canvas pixels per result
// pixel (1.0 shows the result pixel for pixel).
struct ZoomMode {
    bool fit = false;
    double scale = 1.0;

    static ZoomMode fitted() { return {true, 1.0}; }
    static ZoomMode ratio(double scale) { return {false, scale}; }
    friend bool operator==(const ZoomMode &a, const ZoomMode &b)
    {
        return a.fit == b.fit && (a.fit || a.scale == b.scale);
    }
};

// The compare canvas's zoom and pan, without any widget: what the zoom controls, the wheel, a
// pinch and a drag do to the scale and the offset of the images from the canvas centre.
class ZoomState final
{
public:
    static constexpr double minScale = 0.02;
    static constexpr double maxScale = 16.0;
    // Wheel zoom per unit of vertical delta: a trackpad's pixel deltas, a wheel's lines.
    static constexpr double preciseStep = 0.005;
    static constexpr double lineStep = 0.03;
    // How far the pointer moves before a press becomes a pan.
    static constexpr double dragThreshold = 10.0;

    ZoomMode mode() const { return m_mode; }
    QPointF pan() const { return m_pan; }
    QSizeF viewport() const { return m_viewport; }
    std::optional<QSizeF> resultPixels() const { return m_resultPixels; }

    void setViewport(const QSizeF &viewport);
    void setResultPixels(std::optional<QSizeF> pixels) { m_resultPixels = pixels; }
    // Sets mode and pan as they are, for resets; the pan anchor follows.
    void reset(ZoomMode mode);

    // The scale a mode gives in the current viewport (fit: the whole result visible).
    double scaleFor(ZoomMode mode) const;
    double currentScale() const { return scaleFor(m_mode); }
    // The furthest the images may be offset on each axis at `scale`.
    QPointF panLimit(double scale) const;
    QPointF clampPan(QPointF pan, double scale) const;

    // Changes the zoom keeping the image point under the canvas centre where it is.
    void applyZoom(ZoomMode mode);
    // The scale the wheel leads to, or nothing when the event should pass on.
    std::optional<double> wheelScale(double deltaY, bool precise) const;
    void wheel(double deltaY, bool precise);

    // A pinch: `magnification` is the total since the pinch began (1.0 = unchanged).
    void pinch(double magnification);
    void endPinch() { m_pinchBase.reset(); }

    // A drag translated by `translation` since the press; endDrag keeps where it got to.
    void drag(QPointF translation);
    void endDrag() { m_panAnchor = m_pan; }

private:
    ZoomMode m_mode = ZoomMode::ratio(1.0);
    QPointF m_pan;
    QPointF m_panAnchor;
    QSizeF m_viewport;
    std::optional<QSizeF> m_resultPixels;
    std::optional<double> m_pinchBase;
};
