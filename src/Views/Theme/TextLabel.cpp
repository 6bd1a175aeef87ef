#include "Views/Theme/TextLabel.h"

#include "Views/Theme/Theme.h"

#include <QApplication>
#include <QEvent>

TextLabel::TextLabel(const QString &text, qreal pixels, QFont::Weight weight, Tone tone,
                     QWidget *parent)
    : QLabel(text, parent), m_tone(tone)
{
    setFont(Theme::font(pixels, weight));
    setTextFormat(Qt::PlainText);
    applyTone();
}

void TextLabel::setTone(Tone tone)
{
    if (m_tone == tone)
        return;
    m_tone = tone;
    applyTone();
}

void TextLabel::changeEvent(QEvent *event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ParentChange)
        applyTone();
}

void TextLabel::applyTone()
{
    if (m_applying)
        return;
    // Our own palette carries the tinted text colour, so the tone is taken from the parent's.
    const QPalette surrounding =
        parentWidget() ? parentWidget()->palette() : QApplication::palette(this);
    QColor colour;
    switch (m_tone) {
    case Tone::primary:
        colour = Theme::primary(surrounding);
        break;
    case Tone::secondary:
        colour = Theme::secondary(surrounding);
        break;
    case Tone::tertiary:
        colour = Theme::tertiary(surrounding);
        break;
    case Tone::accent:
        colour = Theme::accent();
        break;
    case Tone::red:
        colour = Theme::red(surrounding);
        break;
    case Tone::orange:
        colour = Theme::orange(surrounding);
        break;
    case Tone::green:
        colour = Theme::green(surrounding);
        break;
    }
    m_applying = true;
    QPalette own = palette();
    own.setColor(QPalette::WindowText, colour);
    own.setColor(QPalette::Text, colour);
    setPalette(own);
    m_applying = false;
}
