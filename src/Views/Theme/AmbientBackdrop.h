#pragma once

#include <QImage>
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

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    // The glows, rendered once per size and palette at half resolution (they have no detail)
    // with 16-bit channels, then dithered to 8 bits: faint wide gradients otherwise show rings.
    static QImage render(QSize size, const QPalette &palette);

    QImage m_cache;
    QSize m_cacheSize;
    QRgb m_cacheWindow = 0;
};
