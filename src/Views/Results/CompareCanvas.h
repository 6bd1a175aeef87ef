#pragma once

#include "Services/ImagePyramid.h"
#include "Views/Results/ZoomState.h"
#include "Views/Theme/Animation.h"

#include <QPixmap>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <optional>

class ProgressRing;

// The compare canvas: the result over a transparency checkerboard with the original drawn on top
// in the same frame, left of a draggable divider; zoom by wheel, pinch and the toolbar's buttons;
// pan by dragging. A drag that starts on the "After" badge carries the result file out instead.
class CompareCanvas final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CompareCanvas)
public:
    explicit CompareCanvas(QWidget *parent = nullptr);

    // Both images at once (`before` may be null for prompt jobs); nulls show the progress ring.
    // Both are drawn into one frame of `grid` pixels (the result's size when not given), so zoom
    // and pan move them together.
    void setImages(ImagePyramidPtr before, ImagePyramidPtr after,
                   std::optional<QSize> grid = std::nullopt);
    void clearImages();
    ImagePyramidPtr before() const { return m_before; }
    ImagePyramidPtr after() const { return m_after; }
    void setBadges(const std::optional<QString> &source, const std::optional<QString> &result);
    // What the two badges are called: "Before" and "After", or the models' titles.
    void setBadgeLabels(const QString &before, const QString &after);
    QString beforeLabel() const { return m_beforeLabel; }
    QString afterLabel() const { return m_afterLabel; }
    void setResultFile(const QUrl &file) { m_resultFile = file; }

    ZoomState &zoom() { return m_zoom; }
    const ZoomState &zoom() const { return m_zoom; }
    // Every zoom control ends here; `animated` eases scale and pan over 0.18 s.
    void applyZoom(ZoomMode mode, bool animated);
    // Resets zoom and pan without animation (a result of another size).
    void resetZoom(ZoomMode mode);
    // What is on screen this instant (mid-animation values included).
    double displayedScale() const;
    QPointF displayedPan() const;
    // "100%": the scale on screen as a whole percentage.
    QString zoomText() const;
    // Whether frames are drawn the quick way (a wheel or pinch zoom is under way).
    bool isDrawingQuickly() const { return m_quick; }

    double split() const { return m_split; }
    // Puts the divider at `x` (canvas coordinates), clamped to the canvas.
    void setSplitAt(qreal x);
    void setSplit(double split);
    // Where the divider's round handle is; empty without an original.
    QRectF handleRect() const;
    bool hasDivider() const { return m_before != nullptr; }
    QRectF imageFrame() const;
    QRectF afterBadgeRect() const;

Q_SIGNALS:
    void zoomChanged();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    bool event(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    enum class Press { none, pending, panning, divider, fileDrag };

    bool onHandle(QPointF point) const;
    void updateCursor(QPointF point);
    void paintCheckerboard(QPainter &painter);
    void paintDivider(QPainter &painter, qreal x);
    void paintBadge(QPainter &painter, const QRectF &rect, const QString &label,
                    const QString &detail);
    QRectF badgeRect(const QString &label, const QString &detail, bool right) const;
    void afterChange();
    // Wheel and pinch steps paint quickly; the smooth picture follows once they pause.
    void zoomStep();

    ZoomState m_zoom;
    AnimatedValue m_progress;
    double m_fromScale = 1.0;
    QPointF m_fromPan;
    ImagePyramidPtr m_before;
    ImagePyramidPtr m_after;
    std::optional<QString> m_sourceDimensions;
    std::optional<QString> m_resultDimensions;
    QString m_beforeLabel = QStringLiteral("Before");
    QString m_afterLabel = QStringLiteral("After");
    QSize m_grid;
    QUrl m_resultFile;
    double m_split = 0.5;
    Press m_press = Press::none;
    QPointF m_pressAt;
    double m_pinchMagnification = 1.0;
    bool m_pinching = false;
    QPixmap m_checkerTile;
    bool m_tileDark = false;
    ProgressRing *m_spinner;
    QTimer m_settle;
    bool m_quick = false;
};
