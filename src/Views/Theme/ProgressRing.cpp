#include "Views/Theme/ProgressRing.h"

#include "Views/Theme/AnimationClock.h"
#include "Views/Theme/Theme.h"

#include <QPainter>

namespace
{
constexpr int turnMilliseconds = 900;
constexpr qreal lineWidth = 1.8;
} // namespace

ProgressRing::ProgressRing(int size, QColor tint, QWidget *parent)
    : QWidget(parent), m_size(size), m_tint(tint.isValid() ? tint : Theme::accent()),
      m_turn(this, turnMilliseconds, false)
{
    setFixedSize(size, size);
    setAccessibleName(QStringLiteral("In progress"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void ProgressRing::setTint(const QColor &tint)
{
    m_tint = tint;
    update();
}

qreal ProgressRing::arcLength()
{
    return Animation::enabled() ? 0.28 : 0.75;
}

qreal ProgressRing::rotation()
{
    if (!Animation::enabled())
        return 0;
    return AnimationClock::instance().phase(0, turnMilliseconds);
}

void ProgressRing::paint(QPainter &painter, const QRectF &rect, const QColor &tint,
                         const QPalette &palette, qreal rotation)
{
    const qreal side = std::min(rect.width(), rect.height()) - lineWidth;
    const QRectF circle(rect.center() - QPointF(side / 2, side / 2), QSizeF(side, side));
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Theme::primaryAt(palette, 0.12), lineWidth));
    painter.drawEllipse(circle);
    QPen arc(tint, lineWidth);
    arc.setCapStyle(Qt::RoundCap);
    painter.setPen(arc);
    // Qt measures arcs counter-clockwise from three o'clock in sixteenths of a degree.
    const int start = int((90 - rotation * 360) * 16);
    const int span = int(-arcLength() * 360 * 16);
    painter.drawArc(circle, start, span);
    painter.restore();
}

void ProgressRing::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paint(painter, rect(), m_tint, palette(), m_turn.isRunning() ? rotation() : 0);
}

void ProgressRing::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_turn.start();
}

void ProgressRing::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    m_turn.stop();
}
