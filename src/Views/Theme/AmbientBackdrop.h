#pragma once

#include <QImage>
#include <QPixmap>
#include <QWidget>

// The window's background: the window colour with two large, soft coloured glows placed relative
// to the window's size, stronger in the dark appearance. It paints behind its children only.
class AmbientBackdrop final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AmbientBackdrop)
public:
    explicit AmbientBackdrop(QWidget *parent = nullptr);

    // Paints the backdrop into `rect` for widgets that host their own background.
    static void paint(QPainter &painter, const QRectF &rect, const QPalette &palette);
    // Paints what the window's backdrop shows under `rect` of `widget`, so the widget can be
    // opaque, and scroll by copying what it already painted, yet look as if it were not there.
    // A widget outside any backdrop gets the window colour.
    static void paintBehind(QPainter &painter, const QWidget &widget, const QRect &rect);

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    // The glows, rendered once per size and palette at half resolution (they have no detail)
    // with 16-bit channels, then dithered to 8 bits: faint wide gradients otherwise show rings.
    static QImage render(QSize size, const QPalette &palette);
    const QPixmap &rendered() const;

    // The rendered glows scaled once to the widget's device pixels, so a repaint (every scroll
    // step of a list above it) is a plain copy, not a smooth scale.
    mutable QPixmap m_cache;
    mutable QSize m_cacheSize;
    mutable qreal m_cacheRatio = 0;
    mutable QRgb m_cacheWindow = 0;
};
