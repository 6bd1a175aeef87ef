#include "Views/Theme/Icons.h"

#include <QCache>
#include <QFile>
#include <QHash>
#include <QIconEngine>
#include <QPainter>
#include <QSvgRenderer>

#include <cmath>

using namespace Qt::StringLiterals;

namespace
{

QString resourcePath(const QString &symbol)
{
    return u":/icons/"_s + symbol + u".svg"_s;
}

// The set draws with 2-unit strokes on a 24-unit grid; the weights widen or narrow that.
QByteArray strokeWidth(Icons::Weight weight)
{
    switch (weight) {
    case Icons::Weight::light:
        return "1.5";
    case Icons::Weight::regular:
        return "2";
    case Icons::Weight::medium:
        return "2.25";
    case Icons::Weight::semibold:
        return "2.5";
    case Icons::Weight::bold:
        return "2.85";
    }
    return "2";
}

const QByteArray &svgSource(const QString &symbol)
{
    static QHash<QString, QByteArray> sources;
    auto found = sources.constFind(symbol);
    if (found == sources.cend()) {
        QFile file(resourcePath(symbol));
        found =
            sources.insert(symbol, file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray());
    }
    return *found;
}

QPixmap render(const QString &symbol, const QColor &tint, QSize devicePixels, Icons::Weight weight)
{
    QByteArray svg = svgSource(symbol);
    if (svg.isEmpty() || devicePixels.isEmpty())
        return {};
    svg.replace("currentColor", tint.name(QColor::HexRgb).toLatin1());
    const QByteArray stroke = QByteArray("stroke-width=\"") + strokeWidth(weight) + '"';
    svg.replace("stroke-width=\"2\"", stroke);
    QSvgRenderer renderer(svg);
    QPixmap result(devicePixels);
    result.fill(Qt::transparent);
    QPainter painter(&result);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(tint.alphaF());
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(devicePixels)));
    return result;
}

class TintedIconEngine final : public QIconEngine
{
public:
    TintedIconEngine(QString symbol, QColor tint, Icons::Weight weight)
        : m_symbol(std::move(symbol)), m_tint(std::move(tint)), m_weight(weight)
    {
    }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State) override
    {
        Icons::paint(*painter, rect, m_symbol, tintFor(mode), m_weight);
    }
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return scaledPixmap(size, mode, state, 1.0);
    }
    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State, qreal scale) override
    {
        const qreal side = std::min(size.width(), size.height());
        return Icons::pixmap(m_symbol, tintFor(mode), side, scale, m_weight);
    }
    QIconEngine *clone() const override { return new TintedIconEngine(m_symbol, m_tint, m_weight); }
    QString key() const override { return u"TintedIconEngine"_s; }
    bool isNull() override { return !Icons::has(m_symbol); }

private:
    QColor tintFor(QIcon::Mode mode) const
    {
        QColor colour = m_tint;
        if (mode == QIcon::Disabled)
            colour.setAlphaF(colour.alphaF() * 0.35f);
        return colour;
    }

    QString m_symbol;
    QColor m_tint;
    Icons::Weight m_weight;
};

} // namespace

namespace Icons
{

bool has(const QString &symbol)
{
    return !svgSource(symbol).isEmpty();
}

QPixmap pixmap(const QString &symbol, const QColor &tint, qreal logicalSize, qreal devicePixelRatio,
               Weight weight)
{
    const int pixels = static_cast<int>(std::ceil(logicalSize * devicePixelRatio));
    const QString key = symbol + u'|' + tint.name(QColor::HexArgb) + u'|' +
                        QString::number(pixels) + u'|' + QString::number(int(weight));
    static QCache<QString, QPixmap> cache(512);
    if (const QPixmap *cached = cache.object(key)) {
        QPixmap copy = *cached;
        copy.setDevicePixelRatio(devicePixelRatio);
        return copy;
    }
    QPixmap result = render(symbol, tint, QSize(pixels, pixels), weight);
    cache.insert(key, new QPixmap(result));
    result.setDevicePixelRatio(devicePixelRatio);
    return result;
}

void paint(QPainter &painter, const QRectF &rect, const QString &symbol, const QColor &tint,
           Weight weight)
{
    const qreal side = std::min(rect.width(), rect.height());
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QPixmap image = pixmap(symbol, tint, side, ratio, weight);
    const QRectF target(rect.center() - QPointF(side / 2, side / 2), QSizeF(side, side));
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(target, image, QRectF(image.rect()));
    painter.restore();
}

QIcon icon(const QString &symbol, const QColor &tint, Weight weight)
{
    return QIcon(new TintedIconEngine(symbol, tint, weight));
}

} // namespace Icons
