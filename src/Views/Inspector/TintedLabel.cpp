#include "Views/Inspector/TintedLabel.h"

#include "Views/Theme/Theme.h"

#include <QEvent>

TintedLabel::TintedLabel(const QString &text, Tint tint, qreal fontPixels, QFont::Weight weight,
                         QWidget *parent)
    : QLabel(text, parent), m_tint(tint)
{
    setFont(Theme::font(fontPixels, weight));
    applyTint();
}

void TintedLabel::changeEvent(QEvent *event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && !m_applying)
        applyTint();
}

void TintedLabel::applyTint()
{
    // Setting our own palette sends a PaletteChange too: ignore that one.
    m_applying = true;
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText,
                 m_tint == Tint::accent ? Theme::accent() : Theme::secondary(pal));
    setPalette(pal);
    m_applying = false;
}
