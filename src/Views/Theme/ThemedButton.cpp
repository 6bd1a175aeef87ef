#include "Views/Theme/ThemedButton.h"

#include "Views/Theme/Theme.h"

#include <QFocusEvent>
#include <QPainter>

ThemedButton::ThemedButton(const QString &text, QWidget *parent)
    : QPushButton(text, parent), m_scale(this, 1.0)
{
    setCursor(Qt::PointingHandCursor);
    setAccessibleName(text);
    connect(this, &QAbstractButton::pressed, this,
            [this] { m_scale.springTo(m_pressScale, 0.22); });
    connect(this, &QAbstractButton::released, this, [this] { m_scale.springTo(1.0, 0.22); });
}

bool ThemedButton::showsFocusRing() const
{
    return m_keyboardFocus && hasFocus();
}

void ThemedButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = rect();
    const qreal scale = m_scale.value();
    if (scale != 1.0) {
        painter.translate(bounds.center());
        painter.scale(scale, scale);
        painter.translate(-bounds.center());
    }
    paintButton(painter, bounds);
    if (showsFocusRing()) {
        painter.setPen(QPen(Theme::withAlpha(Theme::accent(), 0.8), 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(bounds.adjusted(1, 1, -1, -1), 8, 8);
    }
}

void ThemedButton::focusInEvent(QFocusEvent *event)
{
    m_keyboardFocus = event->reason() == Qt::TabFocusReason ||
                      event->reason() == Qt::BacktabFocusReason ||
                      event->reason() == Qt::ShortcutFocusReason;
    QPushButton::focusInEvent(event);
}

void ThemedButton::focusOutEvent(QFocusEvent *event)
{
    m_keyboardFocus = false;
    QPushButton::focusOutEvent(event);
}

void ThemedButton::changeEvent(QEvent *event)
{
    QPushButton::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::EnabledChange)
        update();
}
