#include "Views/Theme/Card.h"

#include "Views/Theme/Theme.h"

#include <QPainter>
#include <QVBoxLayout>

Card::Card(int padding, QWidget *parent) : QWidget(parent), m_content(new QVBoxLayout(this))
{
    m_content->setContentsMargins(padding, padding, padding, padding);
    m_content->setSpacing(8);
}

void Card::paint(QPainter &painter, const QRectF &rect, const QPalette &palette, qreal radius)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    // A half-pixel inset keeps the 0.5 px stroke inside the rect, so neighbours never clip it.
    const QRectF shape = rect.adjusted(0.25, 0.25, -0.25, -0.25);
    painter.setPen(QPen(Theme::cardStroke(palette), 0.5));
    painter.setBrush(Theme::cardFill(palette));
    painter.drawRoundedRect(shape, radius, radius);
    painter.restore();
}

void Card::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paint(painter, rect(), palette(), Theme::cardRadius);
}
