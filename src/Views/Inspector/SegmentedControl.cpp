#include "Views/Inspector/SegmentedControl.h"

#include "Views/Accessibility/Announcements.h"
#include "Views/Theme/Theme.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <utility>

SegmentedControl::SegmentedControl(const QStringList &segments, QWidget *parent)
    : QWidget(parent), m_segments(segments)
{
    setFont(Theme::font(11, QFont::Medium));
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
    setAccessibleDescription(m_segments.value(m_current));
}

void SegmentedControl::setCurrent(int index)
{
    if (index == m_current || index < 0 || index >= m_segments.size())
        return;
    const int previous = std::exchange(m_current, index);
    setAccessibleDescription(m_segments.value(index));
    update();
    if (Announcements::wanted()) {
        // Both segments' checked states changed: screen readers say which one now holds.
        QAccessible::State checked;
        checked.checked = true;
        for (const int segment : {previous, index}) {
            QAccessibleStateChangeEvent event(this, checked);
            event.setChild(segment);
            Announcements::send(event);
        }
    }
}

void SegmentedControl::choose(int index)
{
    if (index != m_current && index >= 0 && index < m_segments.size())
        Q_EMIT chosen(index);
}

QRect SegmentedControl::segmentRect(int index) const
{
    const int count = qMax(1, static_cast<int>(m_segments.size()));
    const int width = (this->width() - 4) / count;
    return {2 + index * width, 2, width, height() - 4};
}

QSize SegmentedControl::sizeHint() const
{
    const QFontMetrics metrics(font());
    int widest = 0;
    for (const QString &segment : m_segments)
        widest = qMax(widest, metrics.horizontalAdvance(segment));
    return {static_cast<int>(m_segments.size()) * (widest + 20) + 4, metrics.height() + 10};
}

void SegmentedControl::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette pal = palette();
    painter.setPen(Qt::NoPen);
    painter.setBrush(Theme::primaryAt(pal, 0.07));
    painter.drawRoundedRect(QRectF(rect()), 7, 7);
    const bool dark = Theme::isDark(pal);
    for (int i = 0; i < m_segments.size(); ++i) {
        const QRectF segment = segmentRect(i);
        if (i == m_current) {
            painter.setPen(QPen(Theme::cardStroke(pal), 0.5));
            painter.setBrush(dark ? Theme::primaryAt(pal, 0.18) : QColor(Qt::white));
            painter.drawRoundedRect(segment, 5.5, 5.5);
        }
        painter.setPen(i == m_current ? Theme::primary(pal) : Theme::secondary(pal));
        painter.setFont(font());
        painter.drawText(segment, Qt::AlignCenter, m_segments.at(i));
    }
    if (hasFocus()) {
        painter.setPen(QPen(Theme::withAlpha(Theme::accent(), 0.8), 1.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.75, 0.75, -0.75, -0.75), 7, 7);
    }
}

void SegmentedControl::mousePressEvent(QMouseEvent *event)
{
    for (int i = 0; i < m_segments.size(); ++i) {
        if (segmentRect(i).contains(event->position().toPoint())) {
            choose(i);
            return;
        }
    }
}

void SegmentedControl::keyPressEvent(QKeyEvent *event)
{
    const int step = event->key() == Qt::Key_Left ? -1 : event->key() == Qt::Key_Right ? 1 : 0;
    const int next = m_current + step;
    if (step != 0 && next >= 0 && next < m_segments.size()) {
        choose(next);
        return;
    }
    QWidget::keyPressEvent(event);
}
