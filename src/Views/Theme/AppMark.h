#pragma once

#include <QWidget>

// The application icon as a square of `size` pixels. Decorative: screen readers skip it.
class AppMark final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AppMark)
public:
    explicit AppMark(int size, QWidget *parent = nullptr);

    QSize sizeHint() const override { return {m_size, m_size}; }
    // The icon at `size` device-independent pixels for `devicePixelRatio`.
    static QPixmap pixmap(int size, qreal devicePixelRatio);
    static QIcon applicationIcon();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int m_size;
};
