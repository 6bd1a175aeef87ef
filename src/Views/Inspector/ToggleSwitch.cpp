#include "Views/Inspector/ToggleSwitch.h"

#include "Views/Theme/Theme.h"

#include <QPainter>
#include <QtMath>

namespace
{
constexpr qreal trackWidth = 26;
constexpr qreal trackHeight = 15;
constexpr qreal gap = 7;
} // namespace

ToggleSwitch::ToggleSwitch(const QString &label, QWidget *parent)
    : QAbstractButton(parent), m_position(this, 0)
{
    setCheckable(true);
    setText(label);
    setAccessibleName(label);
    setFont(Theme::font(11));
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize ToggleSwitch::sizeHint() const
{
    const QFontMetrics metrics(font());
    return {qCeil(trackWidth + gap) + metrics.horizontalAdvance(text()) + 2,
            qMax(qCeil(trackHeight) + 2, metrics.height())};
}

QSize ToggleSwitch::minimumSizeHint() const
{
    return {qCeil(trackWidth + gap) + 40, sizeHint().height()};
}

void ToggleSwitch::checkStateSet()
{
    // Set from the store: no motion.
    m_position.setValue(isChecked() ? 1 : 0);
    update();
}

void ToggleSwitch::nextCheckState()
{
    QAbstractButton::nextCheckState();
    m_position.springTo(isChecked() ? 1 : 0, 0.2);
}

void ToggleSwitch::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette pal = palette();
    const qreal t = m_position.value();
    const QRectF track(1, (height() - trackHeight) / 2, trackWidth, trackHeight);
    QColor off = Theme::primaryAt(pal, 0.14);
    QColor on = Theme::accent();
    QColor fill = QColor::fromRgbF(off.redF() + (on.redF() - off.redF()) * t,
                                   off.greenF() + (on.greenF() - off.greenF()) * t,
                                   off.blueF() + (on.blueF() - off.blueF()) * t,
                                   off.alphaF() + (on.alphaF() - off.alphaF()) * t);
    if (!isEnabled())
        fill = Theme::withAlpha(fill, 0.5);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRoundedRect(track, trackHeight / 2, trackHeight / 2);
    const qreal knob = trackHeight - 3;
    const QRectF knobRect(track.left() + 1.5 + (trackWidth - knob - 3) * t, track.top() + 1.5, knob,
                          knob);
    painter.setBrush(Qt::white);
    painter.setPen(QPen(Theme::withAlpha(Qt::black, 0.12), 0.5));
    painter.drawEllipse(knobRect);
    if (hasFocus()) {
        painter.setPen(QPen(Theme::withAlpha(Theme::accent(), 0.8), 1.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(track.adjusted(-1, -1, 1, 1), trackHeight / 2 + 1,
                                trackHeight / 2 + 1);
    }
    painter.setPen(Theme::secondary(pal));
    painter.setFont(font());
    painter.drawText(QRectF(track.right() + gap, 0, width() - track.right() - gap, height()),
                     Qt::AlignVCenter | Qt::AlignLeft,
                     QFontMetrics(font()).elidedText(
                         text(), Qt::ElideRight, qMax(0, width() - qCeil(track.right() + gap))));
}
