#include "Views/Workspace/SymbolButton.h"

#include "Views/Theme/Theme.h"

#include <QPainter>

SymbolButton::SymbolButton(const QString &symbol, int side, const QString &accessibleName,
                           QWidget *parent)
    : ThemedButton(QString(), parent), m_symbol(symbol), m_side(side)
{
    setAccessibleName(accessibleName);
    setFixedSize(side, side);
    setPressedScale(0.9);
}

void SymbolButton::setWeight(Icons::Weight weight)
{
    m_weight = weight;
    update();
}

void SymbolButton::setTone(Tone tone)
{
    m_tone = tone;
    update();
}

void SymbolButton::setSymbolFraction(qreal fraction)
{
    m_fraction = fraction;
    update();
}

void SymbolButton::paintButton(QPainter &painter, const QRectF &rect)
{
    if (underMouse() || isDown()) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(Theme::primaryAt(palette(), isDown() ? 0.15 : 0.07));
        painter.drawEllipse(rect);
    }
    QColor tint = m_tone == Tone::accent      ? Theme::accent()
                  : m_tone == Tone::secondary ? Theme::secondary(palette())
                                              : Theme::tertiary(palette());
    if (underMouse() && m_tone == Tone::tertiary)
        tint = Theme::secondary(palette());
    const qreal side = rect.width() * m_fraction;
    const QRectF symbol(rect.center() - QPointF(side / 2, side / 2), QSizeF(side, side));
    Icons::paint(painter, symbol, m_symbol, tint, m_weight);
}
