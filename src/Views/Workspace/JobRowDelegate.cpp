#include "Views/Workspace/JobRowDelegate.h"

#include "Views/Theme/Icons.h"
#include "Views/Theme/QuietButton.h"
#include "Views/Theme/Theme.h"
#include "Views/Workspace/JobListModel.h"
#include "Views/Workspace/VariantPill.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

using namespace Qt::StringLiterals;

namespace
{

constexpr qreal partGap = 12; // thumbnail to text
constexpr qreal lineGap = 5;  // name line to pills
constexpr qreal itemGap = 8;  // between the items of the name line
constexpr qreal pillGap = 5;  // between pills and between their lines
constexpr qreal removeSide = 20;
constexpr qreal thumbnailRadius = 7;
// Enough for every row height and hover step of a wide window at twice the pixel ratio.
constexpr int cardCacheKiB = 32 * 1024;

QFont nameFont()
{
    return Theme::font(12.5, QFont::Medium);
}
QFont dimensionsFont()
{
    return Theme::font(10.5);
}

// The name line is as tall as the open button, whether it shows or not, so a row does not jump
// when its first result arrives.
qreal nameLineHeight()
{
    static const qreal height = std::max<qreal>(QuietButton::sizeFor(u"View"_s).height(), 22);
    return height;
}

qreal textLeft(const QRectF &rect)
{
    return rect.left() + JobRowDelegate::padding + JobRowDelegate::thumbnailSide + partGap;
}

// Wraps pills as FlowLayout does and returns the height they take; `frames` receives their
// places relative to the flow's origin when given.
qreal flow(const QList<QSizeF> &sizes, qreal width, QList<QRectF> *frames)
{
    qreal x = 0;
    qreal y = 0;
    qreal lineHeight = 0;
    for (const QSizeF &size : sizes) {
        if (x > 0 && x + size.width() > width) {
            y += lineHeight + pillGap;
            x = 0;
            lineHeight = 0;
        }
        if (frames)
            frames->append(QRectF(QPointF(x, y), size));
        x += size.width() + pillGap;
        lineHeight = std::max(lineHeight, size.height());
    }
    return y + lineHeight;
}

} // namespace

JobRowDelegate::JobRowDelegate(QObject *parent)
    : QAbstractItemDelegate(parent), m_previews(4096), m_cards(cardCacheKiB), m_names(nameFont()),
      m_dimensions(dimensionsFont())
{
}

QList<QSizeF> JobRowDelegate::pillSizes(const ImageJob &job)
{
    QList<QSizeF> sizes;
    sizes.reserve(job.variants().size());
    for (const ModelVariantPtr &variant : job.variants())
        sizes.append(VariantPill::sizeFor(*variant));
    return sizes;
}

int JobRowDelegate::heightFor(int width, const QList<QSizeF> &pillSizes)
{
    const qreal textWidth = width - 2 * padding - thumbnailSide - partGap;
    const qreal pills = flow(pillSizes, textWidth, nullptr);
    const qreal content = nameLineHeight() + (pillSizes.isEmpty() ? 0 : lineGap + pills);
    return int(std::ceil(2 * padding + std::max<qreal>(thumbnailSide, content)));
}

JobRowDelegate::Geometry JobRowDelegate::geometry(const QRectF &rect, const ImageJob &job)
{
    Geometry g;
    g.thumbnail = QRectF(rect.left() + padding, rect.top() + padding, thumbnailSide, thumbnailSide);
    const qreal left = textLeft(rect);
    const qreal right = rect.right() - padding;
    const qreal top = rect.top() + padding;
    const qreal line = nameLineHeight();
    g.remove = QRectF(right - removeSide, top + (line - removeSide) / 2, removeSide, removeSide);
    const QSizeF open = QuietButton::sizeFor(u"Compare"_s);
    g.open = QRectF(g.remove.left() - itemGap - open.width(), top + (line - open.height()) / 2,
                    open.width(), open.height());
    g.name = QRectF(left, top, std::max<qreal>(0, g.open.left() - itemGap - left), line);
    QList<QRectF> frames;
    flow(pillSizes(job), right - left, &frames);
    const QPointF origin(left, top + line + lineGap);
    for (QRectF &frame : frames)
        frame.translate(origin);
    g.pills = frames;
    return g;
}

bool JobRowDelegate::showsRemove(const ImageJob &job, bool hovered)
{
    return hovered || job.status().isTerminal();
}

JobRowDelegate::Hit JobRowDelegate::hitTest(const QRectF &rect, const ImageJob &job,
                                            const QPointF &point)
{
    if (!rect.contains(point))
        return {};
    const Geometry g = geometry(rect, job);
    if (g.remove.contains(point))
        return {Part::remove, -1};
    if (g.open.contains(point) && job.hasViewableResult())
        return {Part::open, -1};
    for (int i = 0; i < g.pills.size(); ++i)
        if (g.pills.at(i).contains(point))
            return {Part::pill, i};
    return {Part::row, -1};
}

void JobRowDelegate::paintRow(QPainter &painter, const QRectF &rect, const ImageJob &job,
                              const QString &openLabel, const QPalette &palette,
                              const RowState &state) const
{
    painter.save();
    paintCard(painter, rect.toAlignedRect(), Theme::primaryAt(palette, 0.05 + 0.03 * state.hover),
              state.current ? QPen(Theme::withAlpha(Theme::accent(), 0.8), 1.5)
                            : QPen(Theme::cardStroke(palette), 0.5));
    painter.setRenderHint(QPainter::Antialiasing);

    const Geometry g = geometry(rect, job);
    paintThumbnail(painter, g.thumbnail, job, palette);

    // Name, then the source's size 8 points after it; the name gives way in its middle.
    const QString dimensions = job.sourceDimensions().value_or(QString());
    const qreal centreY = g.name.center().y();
    const qreal dimensionsWidth = dimensions.isEmpty() ? 0 : m_dimensions.width(dimensions);
    const qreal nameRoom =
        std::max<qreal>(0, g.name.width() - (dimensions.isEmpty() ? 0 : itemGap + dimensionsWidth));
    QString name = JobListModel::name(job);
    if (m_names.width(name) > nameRoom)
        name = m_names.metrics().elidedText(name, Qt::ElideMiddle, nameRoom);
    painter.setPen(Theme::primary(palette));
    m_names.draw(painter, g.name.left(), centreY, name);
    if (!dimensions.isEmpty()) {
        painter.setPen(Theme::tertiary(palette));
        m_dimensions.draw(painter, g.name.left() + m_names.width(name) + itemGap, centreY,
                          dimensions);
    }

    if (job.hasViewableResult()) {
        const QSizeF size = QuietButton::sizeFor(openLabel);
        const QRectF button(g.open.right() - size.width(), g.open.top(), size.width(),
                            size.height());
        QuietButton::paint(painter, button, openLabel, true, state.pressed.part == Part::open, true,
                           palette);
    }
    if (showsRemove(job, state.hovered)) {
        if (state.pointer.part == Part::remove) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(
                Theme::primaryAt(palette, state.pressed.part == Part::remove ? 0.15 : 0.07));
            painter.drawEllipse(g.remove);
        }
        Icons::paint(painter, g.remove.adjusted(5, 5, -5, -5), u"xmark"_s, Theme::tertiary(palette),
                     Icons::Weight::medium);
    }

    const QList<ModelVariantPtr> &variants = job.variants();
    for (int i = 0; i < g.pills.size() && i < variants.size(); ++i) {
        const auto transition =
            i < state.transitions.size() ? state.transitions.at(i) : std::pair{1.0, QColor()};
        VariantPill::paint(painter, g.pills.at(i), *variants.at(i), palette, state.ringRotation,
                           transition.first, transition.second);
    }
    painter.restore();
}

void JobRowDelegate::paintCard(QPainter &painter, const QRect &rect, const QColor &fill,
                               const QPen &pen) const
{
    // An antialiased rounded rect as wide as the list costs more than the rest of the row, and
    // rows share a handful of sizes and looks: each card is drawn once, then copied.
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QString key = u"%1x%2@%3 %4 %5 %6"_s.arg(rect.width())
                            .arg(rect.height())
                            .arg(ratio)
                            .arg(fill.rgba())
                            .arg(pen.color().rgba())
                            .arg(pen.widthF());
    QPixmap *card = m_cards.object(key);
    if (!card) {
        const QSize pixels = (QSizeF(rect.size()) * ratio).toSize();
        card = new QPixmap(pixels);
        card->setDevicePixelRatio(ratio);
        card->fill(Qt::transparent);
        QPainter shape(card);
        shape.setRenderHint(QPainter::Antialiasing);
        shape.setBrush(fill);
        shape.setPen(pen);
        // A quarter-pixel inset keeps the thin stroke inside the row, so neighbours never clip it.
        shape.drawRoundedRect(
            QRectF(QPointF(0, 0), QSizeF(rect.size())).adjusted(0.25, 0.25, -0.25, -0.25),
            Theme::cardRadius, Theme::cardRadius);
        shape.end();
        m_cards.insert(key, card, int(qint64(pixels.width()) * pixels.height() * 4 / 1024));
    }
    painter.drawPixmap(rect.topLeft(), *card);
}

void JobRowDelegate::paintThumbnail(QPainter &painter, const QRectF &rect, const ImageJob &job,
                                    const QPalette &palette) const
{
    const QImage image = job.thumbnail();
    if (image.isNull()) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(Theme::primaryAt(palette, 0.08));
        painter.drawRoundedRect(rect, thumbnailRadius, thumbnailRadius);
        Icons::paint(painter, rect.adjusted(13, 13, -13, -13), u"photo"_s,
                     Theme::tertiary(palette));
        return;
    }
    // Scaled to fill the square and rounded once per image and pixel ratio, then drawn 1:1.
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const int side = int(std::ceil(rect.width() * ratio));
    const QString key = QString::number(image.cacheKey()) + u'@' + QString::number(side);
    QPixmap *preview = m_previews.object(key);
    if (!preview) {
        const QImage filled = image.width() == side && image.height() == side
                                  ? image
                                  : image.scaled(side, side, Qt::KeepAspectRatioByExpanding,
                                                 Qt::SmoothTransformation);
        const QRect crop((filled.width() - side) / 2, (filled.height() - side) / 2, side, side);
        QImage rounded(side, side, QImage::Format_ARGB32_Premultiplied);
        rounded.fill(Qt::transparent);
        QPainter mask(&rounded);
        mask.setRenderHint(QPainter::Antialiasing);
        mask.setPen(Qt::NoPen);
        // An opaque mask: SourceAtop keeps the mask's alpha, so a faint one would fade the photo.
        mask.setBrush(Qt::black);
        const qreal radius = thumbnailRadius * ratio;
        mask.drawRoundedRect(QRectF(0, 0, side, side), radius, radius);
        mask.setCompositionMode(QPainter::CompositionMode_SourceAtop);
        mask.drawImage(QPoint(0, 0), filled, crop);
        mask.end();
        preview = new QPixmap(QPixmap::fromImage(rounded));
        m_previews.insert(key, preview, 1);
    }
    preview->setDevicePixelRatio(ratio);
    painter.drawPixmap(rect.topLeft(), *preview);
}

void JobRowDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                           const QModelIndex &index) const
{
    const auto *job =
        static_cast<const ImageJob *>(index.data(JobListModel::JobRole).value<void *>());
    if (!job)
        return;
    RowState state;
    state.hovered = option.state.testFlag(QStyle::State_MouseOver);
    state.hover = state.hovered ? 1 : 0;
    paintRow(*painter, option.rect, *job, u"Compare"_s, option.palette, state);
}

QSize JobRowDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const auto *job =
        static_cast<const ImageJob *>(index.data(JobListModel::JobRole).value<void *>());
    if (!job)
        return {};
    return {option.rect.width(), heightFor(option.rect.width(), pillSizes(*job))};
}
