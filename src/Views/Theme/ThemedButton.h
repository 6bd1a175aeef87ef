#pragma once

#include "Views/Theme/Animation.h"

#include <QPushButton>

// The base of the painted buttons: a QPushButton (so it takes focus, shortcuts and the dialog's
// default role) that paints itself, scales down a little while pressed, and draws a focus ring
// when it was reached from the keyboard.
class ThemedButton : public QPushButton
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ThemedButton)
public:
    explicit ThemedButton(const QString &text, QWidget *parent = nullptr);

protected:
    // Paints the button's look into `rect` (the widget's rect, already scaled for pressing).
    virtual void paintButton(QPainter &painter, const QRectF &rect) = 0;
    qreal pressedScale() const { return m_pressScale; }
    void setPressedScale(qreal scale) { m_pressScale = scale; }
    bool showsFocusRing() const;

    void paintEvent(QPaintEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    AnimatedValue m_scale;
    qreal m_pressScale = 1.0;
    bool m_keyboardFocus = false;
};
