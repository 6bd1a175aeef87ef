#include "Views/Workspace/ToneLabel.h"

#include "Views/Theme/Theme.h"

#include <QPainter>

ToneLabel::ToneLabel(const QString &text, qreal pixels, Tone tone, QWidget *parent)
    : QLabel(text, parent), m_tone(tone)
{
    setFont(Theme::font(pixels));
}

void ToneLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QPalette &colours = palette();
    painter.setPen(m_tone == Tone::primary     ? Theme::primary(colours)
                   : m_tone == Tone::secondary ? Theme::secondary(colours)
                                               : Theme::tertiary(colours));
    painter.setFont(font());
    painter.drawText(contentsRect(), int(alignment()) | Qt::TextSingleLine, text());
}
