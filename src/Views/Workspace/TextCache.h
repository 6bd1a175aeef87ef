#pragma once

#include <QFont>
#include <QFontMetricsF>
#include <QHash>
#include <QStaticText>
#include <QString>

class QPainter;

// Laid-out texts of one font, kept for repeated painting: a list repaints the same titles,
// sizes and names many times a second, and laying a text out costs far more than drawing it.
class TextCache final
{
public:
    explicit TextCache(const QFont &font);

    const QFont &font() const { return m_font; }
    const QFontMetricsF &metrics() const { return m_metrics; }
    qreal width(const QString &text);
    // Draws `text` from `left`, centred on `centreY`.
    void draw(QPainter &painter, qreal left, qreal centreY, const QString &text);

private:
    QStaticText &entry(const QString &text);

    QFont m_font;
    QFontMetricsF m_metrics;
    QHash<QString, QStaticText> m_texts;
};
