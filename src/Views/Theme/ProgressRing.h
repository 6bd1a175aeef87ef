#pragma once

#include "Views/Theme/Animation.h"

#include <QColor>
#include <QWidget>

// An indeterminate spinner: a faint full circle with a short arc turning once every 0.9 s; with
// animations off, a still arc over three quarters of the circle.
class ProgressRing final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ProgressRing)
public:
    explicit ProgressRing(int size = 16, QColor tint = {}, QWidget *parent = nullptr);

    void setTint(const QColor &tint);
    QColor tint() const { return m_tint; }
    QSize sizeHint() const override { return {m_size, m_size}; }

    // The fraction of the circle the arc covers: 0.28 while turning, 0.75 when still.
    static qreal arcLength();
    // Where the arc starts, in turns (0…1) clockwise from twelve o'clock, by the animation clock,
    // so every ring on screen turns in step; 0 with animations off.
    static qreal rotation();
    // Draws a ring in `rect` (square, the shorter side) for widgets and delegates alike.
    static void paint(QPainter &painter, const QRectF &rect, const QColor &tint,
                      const QPalette &palette, qreal rotation);

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    int m_size;
    QColor m_tint;
    // Repaints while shown; where the arc is comes from rotation().
    RepeatingValue m_turn;
};
