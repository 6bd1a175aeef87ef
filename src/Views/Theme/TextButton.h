#pragma once

#include "Views/Theme/ThemedButton.h"

// A button drawn as text only: an accent-coloured link, or a plain secondary-coloured action
// ("Skip for now"). Underlined while the pointer is over it.
class TextButton final : public ThemedButton
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TextButton)
public:
    enum class Look { link, plain };

    TextButton(const QString &text, Look look, qreal pixels = 11.5, QWidget *parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintButton(QPainter &painter, const QRectF &rect) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    Look m_look;
    bool m_hovering = false;
};
