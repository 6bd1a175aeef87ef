#pragma once

#include "Views/Results/ZoomState.h"
#include "Views/Theme/ThemedButton.h"

#include <QWidget>

// One of the three zoom buttons; the active one (whose mode is the current zoom) is lit.
class ZoomButton final : public ThemedButton
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ZoomButton)
public:
    ZoomButton(const QString &text, ZoomMode mode, QWidget *parent = nullptr);
    ZoomMode mode() const { return m_mode; }
    QSize sizeHint() const override;

protected:
    void paintButton(QPainter &painter, const QRectF &rect) override;

private:
    ZoomMode m_mode;
};

// "Fit", "1:1" and "2×" grouped on a faint rounded plate; Ctrl+0, Ctrl+1 and Ctrl+2 press them.
class ZoomButtons final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ZoomButtons)
public:
    explicit ZoomButtons(QWidget *parent = nullptr);

    // Lights the button whose mode equals `mode`, if any.
    void setCurrent(ZoomMode mode);
    ZoomButton *button(int index) const { return m_buttons[index]; }

Q_SIGNALS:
    void zoomRequested(ZoomMode mode);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    ZoomButton *m_buttons[3];
};
