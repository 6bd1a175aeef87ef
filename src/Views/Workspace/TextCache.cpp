#include "Views/Workspace/TextCache.h"

#include <QPainter>

#include <cmath>

namespace
{
// Names are unique per job; past this many the cache starts again rather than grow for ever.
constexpr qsizetype maximumEntries = 4000;
} // namespace

TextCache::TextCache(const QFont &font) : m_font(font), m_metrics(font) {}

QStaticText &TextCache::entry(const QString &text)
{
    auto it = m_texts.find(text);
    if (it == m_texts.end()) {
        if (m_texts.size() >= maximumEntries)
            m_texts.clear();
        QStaticText laidOut(text);
        laidOut.setTextFormat(Qt::PlainText);
        laidOut.setPerformanceHint(QStaticText::AggressiveCaching);
        laidOut.prepare(QTransform(), m_font);
        it = m_texts.insert(text, laidOut);
    }
    return *it;
}

qreal TextCache::width(const QString &text)
{
    return std::ceil(entry(text).size().width());
}

void TextCache::draw(QPainter &painter, qreal left, qreal centreY, const QString &text)
{
    const QStaticText &laidOut = entry(text);
    painter.setFont(m_font);
    painter.drawStaticText(QPointF(left, std::round(centreY - laidOut.size().height() / 2)),
                           laidOut);
}
