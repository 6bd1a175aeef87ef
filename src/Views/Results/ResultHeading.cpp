#include "Views/Results/ResultHeading.h"

#include "Views/Results/ResultFileDrag.h"
#include "Views/Theme/Icons.h"
#include "Views/Theme/Theme.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>

namespace
{
constexpr qreal titleSize = 13;
constexpr qreal subtitleSize = 11;
constexpr int lineGap = 2;
constexpr qreal arrowSize = 7;

QFont titleFont()
{
    return Theme::font(titleSize, QFont::DemiBold);
}

QFont subtitleFont()
{
    return Theme::font(subtitleSize);
}
} // namespace

ResultHeading::ResultHeading(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("resultHeading"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    updateAccessibility();
}

void ResultHeading::setTitle(const QString &title)
{
    if (m_title == title)
        return;
    m_title = title;
    updateAccessibility();
    update();
}

QString ResultHeading::subtitleText() const
{
    QString text;
    for (const Segment &segment : m_subtitle)
        text += segment.kind == Segment::Kind::arrow ? QStringLiteral(" → ") : segment.text;
    return text;
}

void ResultHeading::setSubtitle(const QList<Segment> &segments)
{
    m_subtitle = segments;
    updateAccessibility();
    updateGeometry();
    update();
}

void ResultHeading::setDragFile(const QUrl &file)
{
    m_dragFile = file;
    setCursor(file.isEmpty() ? Qt::ArrowCursor : Qt::OpenHandCursor);
    setToolTip(file.isEmpty()
                   ? QString()
                   : QStringLiteral("Drag to use %1 in another application").arg(file.fileName()));
}

void ResultHeading::updateAccessibility()
{
    setAccessibleName(m_title);
    setAccessibleDescription(subtitleText());
}

QSize ResultHeading::sizeHint() const
{
    const int height = QFontMetrics(titleFont()).height() +
                       (m_subtitle.isEmpty() ? 0 : lineGap + QFontMetrics(subtitleFont()).height());
    return {320, height};
}

QSize ResultHeading::minimumSizeHint() const
{
    return {80, sizeHint().height()};
}

void ResultHeading::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QFontMetricsF titleMetrics(titleFont());
    painter.setFont(titleFont());
    painter.setPen(Theme::primary(palette()));
    const QString title = titleMetrics.elidedText(m_title, Qt::ElideRight, width());
    painter.drawText(QPointF(0, titleMetrics.ascent()), title);

    if (m_subtitle.isEmpty())
        return;
    const QFontMetricsF metrics(subtitleFont());
    painter.setFont(subtitleFont());
    const qreal top = titleMetrics.height() + lineGap;
    const qreal baseline = top + metrics.ascent();
    qreal x = 0;
    for (const Segment &segment : m_subtitle) {
        if (x >= width())
            break;
        if (segment.kind == Segment::Kind::arrow) {
            const QRectF box(x + 3, top + (metrics.height() - arrowSize) / 2, arrowSize, arrowSize);
            Icons::paint(painter, box, QStringLiteral("arrow.right"), Theme::secondary(palette()),
                         Icons::Weight::bold);
            x += arrowSize + 6;
            continue;
        }
        painter.setPen(segment.kind == Segment::Kind::result ? Theme::green(palette())
                                                             : Theme::secondary(palette()));
        const QString text = metrics.elidedText(segment.text, Qt::ElideRight, width() - x);
        painter.drawText(QPointF(x, baseline), text);
        x += metrics.horizontalAdvance(text);
    }
}

void ResultHeading::mousePressEvent(QMouseEvent *event)
{
    m_pressed = event->button() == Qt::LeftButton && !m_dragFile.isEmpty();
    m_pressAt = event->position().toPoint();
    QWidget::mousePressEvent(event);
}

void ResultHeading::mouseMoveEvent(QMouseEvent *event)
{
    if (m_pressed && (event->position().toPoint() - m_pressAt).manhattanLength() >=
                         QApplication::startDragDistance()) {
        m_pressed = false;
        ResultFileDrag::start(this, m_dragFile);
        return;
    }
    QWidget::mouseMoveEvent(event);
}

void ResultHeading::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::PaletteChange)
        update();
    QWidget::changeEvent(event);
}
