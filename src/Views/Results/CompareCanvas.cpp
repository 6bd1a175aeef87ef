#include "Views/Results/CompareCanvas.h"

#include "Views/Results/ResultFileDrag.h"
#include "Views/Theme/Icons.h"
#include "Views/Theme/ProgressRing.h"
#include "Views/Theme/Theme.h"

#include <QKeyEvent>
#include <QNativeGestureEvent>
#include <QPainter>
#include <QWheelEvent>

#include <cmath>

namespace
{
constexpr qreal checkerCell = 10;
constexpr qreal handleDiameter = 30;
// How near the divider line a press still takes the divider.
constexpr qreal lineGrab = 6;
constexpr qreal badgeMargin = 12;
// How long the wheel or a pinch must rest before the smooth picture replaces the quick one.
constexpr int settleMs = 120;

QFont badgeFont(bool bold)
{
    return Theme::font(11, bold ? QFont::DemiBold : QFont::Normal);
}

QColor white(qreal level)
{
    return QColor::fromRgbF(float(level), float(level), float(level));
}
} // namespace

CompareCanvas::CompareCanvas(QWidget *parent)
    : QWidget(parent), m_progress(this, 1.0), m_spinner(new ProgressRing(18, {}, this))
{
    setObjectName(QStringLiteral("compareCanvas"));
    setAccessibleName(QStringLiteral("Comparison"));
    setAccessibleDescription(QStringLiteral(
        "Drag or press Ctrl and an arrow to pan, scroll to zoom, drag the divider or press "
        "Shift+Left and Shift+Right to move it"));
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_AcceptTouchEvents, false);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    connect(&m_progress, &AnimatedValue::changed, this, &CompareCanvas::zoomChanged);
    m_settle.setSingleShot(true);
    m_settle.setInterval(settleMs);
    connect(&m_settle, &QTimer::timeout, this, [this] {
        m_quick = false;
        update();
    });
}

void CompareCanvas::zoomStep()
{
    // Smooth scaling costs about ten times a plain one; at 2× pixel ratio a smooth frame of a
    // large canvas takes longer than a display refresh. Between wheel notches nobody can judge
    // the interpolation, so those frames are drawn plainly and one smooth frame follows.
    m_quick = true;
    m_settle.start();
}

void CompareCanvas::setImages(ImagePyramidPtr before, ImagePyramidPtr after,
                              std::optional<QSize> grid)
{
    m_before = std::move(before);
    m_after = std::move(after);
    m_grid = m_after ? grid.value_or(m_after->size()) : QSize();
    m_zoom.setResultPixels(m_after ? std::optional<QSizeF>(QSizeF(m_grid)) : std::nullopt);
    // The ring keeps turning over a preview: the full picture is still on its way.
    m_spinner->setVisible(!m_after || m_after->isPreview());
    afterChange();
}

void CompareCanvas::clearImages()
{
    setImages(nullptr, nullptr);
}

void CompareCanvas::setBadges(const std::optional<QString> &source,
                              const std::optional<QString> &result)
{
    m_sourceDimensions = source;
    m_resultDimensions = result;
    update();
}

void CompareCanvas::setBadgeLabels(const QString &before, const QString &after)
{
    m_beforeLabel = before;
    m_afterLabel = after;
    update();
}

void CompareCanvas::applyZoom(ZoomMode mode, bool animated)
{
    m_fromScale = displayedScale();
    m_fromPan = displayedPan();
    m_zoom.applyZoom(mode);
    if (animated) {
        m_progress.setValue(0);
        m_progress.easeOutTo(1, 0.18);
    } else {
        m_progress.setValue(1);
    }
    afterChange();
}

void CompareCanvas::resetZoom(ZoomMode mode)
{
    m_zoom.reset(mode);
    m_progress.setValue(1);
    afterChange();
}

double CompareCanvas::displayedScale() const
{
    const double target = m_zoom.currentScale();
    const double t = m_progress.value();
    return t >= 1 ? target : m_fromScale + (target - m_fromScale) * t;
}

QPointF CompareCanvas::displayedPan() const
{
    const double t = m_progress.value();
    return t >= 1 ? m_zoom.pan() : m_fromPan + (m_zoom.pan() - m_fromPan) * t;
}

QString CompareCanvas::zoomText() const
{
    return QString::number(std::lround(displayedScale() * 100)) + QLatin1Char('%');
}

void CompareCanvas::setSplitAt(qreal x)
{
    setSplit(width() > 0 ? x / width() : 0.5);
}

void CompareCanvas::setSplit(double split)
{
    m_split = std::clamp(split, 0.0, 1.0);
    update();
}

QRectF CompareCanvas::handleRect() const
{
    if (!hasDivider())
        return {};
    const QPointF centre(m_split * width(), height() / 2.0);
    return {centre.x() - handleDiameter / 2, centre.y() - handleDiameter / 2, handleDiameter,
            handleDiameter};
}

QRectF CompareCanvas::imageFrame() const
{
    if (!m_after)
        return {};
    const QSizeF size = QSizeF(m_grid) * displayedScale();
    const QPointF centre = QPointF(width() / 2.0, height() / 2.0) + displayedPan();
    return {centre.x() - size.width() / 2, centre.y() - size.height() / 2, size.width(),
            size.height()};
}

bool CompareCanvas::onHandle(QPointF point) const
{
    if (!hasDivider())
        return false;
    const QRectF handle = handleRect();
    const QPointF d = point - handle.center();
    return std::hypot(d.x(), d.y()) <= handleDiameter / 2 ||
           std::abs(point.x() - handle.center().x()) <= lineGrab;
}

void CompareCanvas::updateCursor(QPointF point)
{
    if (m_press == Press::panning)
        setCursor(Qt::ClosedHandCursor);
    else if (m_press == Press::divider || onHandle(point))
        setCursor(Qt::SizeHorCursor);
    else if (m_after && afterBadgeRect().contains(point))
        setCursor(Qt::OpenHandCursor);
    else
        unsetCursor();
}

void CompareCanvas::afterChange()
{
    update();
    Q_EMIT zoomChanged();
}

void CompareCanvas::resizeEvent(QResizeEvent *event)
{
    m_zoom.setViewport(QSizeF(size()));
    m_spinner->move((width() - m_spinner->width()) / 2, (height() - m_spinner->height()) / 2);
    QWidget::resizeEvent(event);
    Q_EMIT zoomChanged();
}

void CompareCanvas::paintCheckerboard(QPainter &painter)
{
    const bool dark = Theme::isDark(palette());
    const qreal ratio = devicePixelRatioF();
    if (m_checkerTile.isNull() || m_tileDark != dark || m_checkerTile.devicePixelRatio() != ratio) {
        // One 20 × 20 tile holds both rows of the pattern: a square at the top left and one
        // offset by a cell in the row below.
        m_checkerTile = QPixmap(QSize(2 * checkerCell * ratio, 2 * checkerCell * ratio));
        m_checkerTile.setDevicePixelRatio(ratio);
        m_checkerTile.fill(white(dark ? 0.15 : 0.86));
        QPainter tile(&m_checkerTile);
        const QColor square = white(dark ? 0.19 : 0.93);
        tile.fillRect(QRectF(0, 0, checkerCell, checkerCell), square);
        tile.fillRect(QRectF(checkerCell, checkerCell, checkerCell, checkerCell), square);
        m_tileDark = dark;
    }
    painter.fillRect(rect(), QBrush(m_checkerTile));
}

void CompareCanvas::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    painter.setClipRect(event->rect());
    paintCheckerboard(painter);
    if (!m_after)
        return;
    const QRectF frame = imageFrame();
    const QRectF canvas(rect());
    const qreal splitX = m_split * width();
    // Under an opaque original only the part right of the divider can show the result.
    const bool afterHidden = m_before && !m_before->full().hasAlphaChannel();
    const QRectF afterClip = afterHidden ? canvas.adjusted(splitX, 0, 0, 0) : canvas;
    m_after->draw(painter, frame, afterClip.intersected(QRectF(event->rect())), m_quick);
    if (m_before) {
        const QRectF beforeClip(0, 0, splitX, height());
        m_before->draw(painter, frame, beforeClip.intersected(QRectF(event->rect())), m_quick);
        paintDivider(painter, splitX);
        paintBadge(painter, badgeRect(m_beforeLabel, m_sourceDimensions.value_or(QString()), false),
                   m_beforeLabel, m_sourceDimensions.value_or(QString()));
    }
    paintBadge(painter, afterBadgeRect(), m_afterLabel, m_resultDimensions.value_or(QString()));
    const QString zoom = zoomText();
    const QRectF zoomRect =
        badgeRect(zoom, {}, true)
            .translated(0, height() - 2 * badgeMargin - badgeRect(zoom, {}, true).height());
    paintBadge(painter, zoomRect, zoom, {});
}

void CompareCanvas::paintDivider(QPainter &painter, qreal x)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    // The shadow first, a hair wider, so the white line reads on white images too.
    painter.setPen(QPen(QColor::fromRgbF(0, 0, 0, 0.5f), 3.0));
    painter.drawLine(QPointF(x, 0), QPointF(x, height()));
    painter.setPen(QPen(QColor::fromRgbF(1, 1, 1, 0.9f), 1.5));
    painter.drawLine(QPointF(x, 0), QPointF(x, height()));

    const QRectF handle = handleRect();
    QRadialGradient shadow(handle.center() + QPointF(0, 1), handleDiameter / 2 + 4);
    shadow.setColorAt(0.7, QColor::fromRgbF(0, 0, 0, 0.35f));
    shadow.setColorAt(1, QColor::fromRgbF(0, 0, 0, 0));
    painter.setPen(Qt::NoPen);
    painter.setBrush(shadow);
    painter.drawEllipse(handle.adjusted(-4, -3, 4, 5));
    painter.setBrush(Qt::white);
    painter.drawEllipse(handle);
    const qreal icon = 11;
    Icons::paint(painter,
                 QRectF(handle.center().x() - icon / 2, handle.center().y() - icon / 2, icon, icon),
                 QStringLiteral("arrow.left.and.right"), QColor::fromRgbF(0, 0, 0, 0.7f),
                 Icons::Weight::bold);
    painter.restore();
}

QRectF CompareCanvas::badgeRect(const QString &label, const QString &detail, bool right) const
{
    const QFontMetricsF bold(badgeFont(true));
    const QFontMetricsF plain(badgeFont(false));
    qreal width = bold.horizontalAdvance(label) + 16;
    if (!detail.isEmpty())
        width += 6 + plain.horizontalAdvance(detail);
    const qreal height = bold.height() + 8;
    const qreal x = right ? this->width() - badgeMargin - width : badgeMargin;
    return {x, badgeMargin, width, height};
}

QRectF CompareCanvas::afterBadgeRect() const
{
    return badgeRect(m_afterLabel, m_resultDimensions.value_or(QString()), true);
}

void CompareCanvas::paintBadge(QPainter &painter, const QRectF &rect, const QString &label,
                               const QString &detail)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor::fromRgbF(0, 0, 0, 0.55f));
    painter.drawRoundedRect(rect, rect.height() / 2, rect.height() / 2);
    const QRectF inner = rect.adjusted(8, 0, -8, 0);
    painter.setPen(Qt::white);
    painter.setFont(badgeFont(true));
    painter.drawText(inner, Qt::AlignLeft | Qt::AlignVCenter, label);
    if (!detail.isEmpty()) {
        painter.setFont(badgeFont(false));
        painter.setPen(QColor::fromRgbF(1, 1, 1, 0.75f));
        painter.drawText(inner, Qt::AlignRight | Qt::AlignVCenter, detail);
    }
    painter.restore();
}

void CompareCanvas::wheelEvent(QWheelEvent *event)
{
    // A trackpad reports pixel deltas; a wheel reports eighths of a degree, 120 to a line.
    const bool precise = !event->pixelDelta().isNull();
    const double deltaY = precise ? event->pixelDelta().y() : event->angleDelta().y() / 120.0;
    if (!m_after || !m_zoom.wheelScale(deltaY, precise)) {
        event->ignore();
        return;
    }
    zoomStep();
    applyZoom(ZoomMode::ratio(*m_zoom.wheelScale(deltaY, precise)), false);
    event->accept();
}

bool CompareCanvas::event(QEvent *event)
{
    if (event->type() != QEvent::NativeGesture)
        return QWidget::event(event);
    auto *gesture = static_cast<QNativeGestureEvent *>(event);
    switch (gesture->gestureType()) {
    case Qt::BeginNativeGesture:
        m_pinchMagnification = 1.0;
        m_pinching = false;
        break;
    case Qt::ZoomNativeGesture:
        if (!m_after)
            break;
        // Each event carries the change since the last one; the total drives the scale.
        m_pinchMagnification *= 1.0 + gesture->value();
        if (!m_pinching && std::abs(m_pinchMagnification - 1.0) < 0.01)
            break;
        m_pinching = true;
        zoomStep();
        m_fromScale = displayedScale();
        m_zoom.pinch(m_pinchMagnification);
        m_progress.setValue(1);
        afterChange();
        break;
    case Qt::EndNativeGesture:
        m_zoom.endPinch();
        m_pinching = false;
        break;
    default:
        return QWidget::event(event);
    }
    event->accept();
    return true;
}

void CompareCanvas::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !m_after) {
        QWidget::mousePressEvent(event);
        return;
    }
    m_pressAt = event->position();
    if (onHandle(m_pressAt))
        m_press = Press::divider;
    else if (afterBadgeRect().contains(m_pressAt) && !m_resultFile.isEmpty())
        m_press = Press::fileDrag;
    else
        m_press = Press::pending;
    updateCursor(m_pressAt);
}

void CompareCanvas::mouseMoveEvent(QMouseEvent *event)
{
    const QPointF point = event->position();
    const QPointF translation = point - m_pressAt;
    switch (m_press) {
    case Press::none:
        break;
    case Press::divider:
        setSplitAt(point.x());
        break;
    case Press::fileDrag:
        if (translation.manhattanLength() >= ZoomState::dragThreshold) {
            m_press = Press::none;
            ResultFileDrag::start(this, m_resultFile);
        }
        break;
    case Press::pending:
        if (std::hypot(translation.x(), translation.y()) < ZoomState::dragThreshold)
            break;
        m_press = Press::panning;
        m_progress.setValue(1);
        [[fallthrough]];
    case Press::panning:
        m_zoom.drag(translation);
        update();
        break;
    }
    updateCursor(point);
}

void CompareCanvas::mouseReleaseEvent(QMouseEvent *event)
{
    if (m_press == Press::panning)
        m_zoom.endDrag();
    m_press = Press::none;
    updateCursor(event->position());
}

void CompareCanvas::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    const bool horizontal = key == Qt::Key_Left || key == Qt::Key_Right;
    const bool vertical = key == Qt::Key_Up || key == Qt::Key_Down;
    if (hasDivider() && event->modifiers() == Qt::ShiftModifier && horizontal) {
        setSplit(m_split + (key == Qt::Key_Left ? -0.05 : 0.05));
        return;
    }
    // Ctrl and an arrow pan by a tenth of the canvas, the way a drag in that direction would.
    if (m_after && event->modifiers() == Qt::ControlModifier && (horizontal || vertical)) {
        const qreal step = (horizontal ? width() : height()) / 10.0;
        const qreal sign = key == Qt::Key_Left || key == Qt::Key_Up ? 1 : -1;
        m_progress.setValue(1);
        m_zoom.drag(horizontal ? QPointF(sign * step, 0) : QPointF(0, sign * step));
        m_zoom.endDrag();
        update();
        return;
    }
    QWidget::keyPressEvent(event);
}

void CompareCanvas::leaveEvent(QEvent *event)
{
    if (m_press == Press::none)
        unsetCursor();
    QWidget::leaveEvent(event);
}

void CompareCanvas::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::PaletteChange)
        update();
    QWidget::changeEvent(event);
}
