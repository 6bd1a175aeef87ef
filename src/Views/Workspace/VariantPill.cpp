#include "Views/Workspace/VariantPill.h"

#include "Services/Pricing.h"
#include "Views/Theme/Icons.h"
#include "Views/Theme/ProgressRing.h"
#include "Views/Theme/Theme.h"
#include "Views/Workspace/TextCache.h"

#include <QFontMetricsF>
#include <QHash>
#include <QPainter>
#include <QStringList>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace
{

constexpr qreal horizontalPadding = 7;
constexpr qreal gap = 4;
constexpr qreal iconSide = 8.5;
constexpr qreal ringSide = 10;

// Pills are measured for every row whenever the list is laid out and painted many times a
// second while a run goes; each text is laid out once per font and kept.
TextCache &titleFont()
{
    static TextCache font(Theme::font(10.5, QFont::Medium));
    return font;
}
TextCache &dimensionsFont()
{
    static TextCache font(Theme::font(10));
    return font;
}
TextCache &costFont()
{
    static TextCache font(Theme::font(10, QFont::Medium));
    return font;
}

struct Content {
    QString title;
    QString dimensions;
    QString cost;
};

Content contentOf(const ModelVariant &variant)
{
    Content content{variant.modelTitle(), {}, {}};
    if (variant.status().kind() == RunStatus::Kind::done) {
        if (const auto dimensions = variant.resultDimensions())
            content.dimensions = *dimensions;
        if (const auto cost = variant.cost())
            content.cost = Pricing::format(cost->low, cost->high);
    }
    return content;
}

qreal iconWidth(const RunStatus &status)
{
    return status.isActive() ? ringSide : iconSide;
}

} // namespace

namespace VariantPill
{

QColor colour(const RunStatus &status, const QPalette &palette)
{
    switch (status.kind()) {
    case RunStatus::Kind::done:
        return Theme::green(palette);
    case RunStatus::Kind::failed:
        return Theme::orange(palette);
    case RunStatus::Kind::waiting:
    case RunStatus::Kind::cancelled:
        return Theme::grey(palette);
    case RunStatus::Kind::preparing:
    case RunStatus::Kind::uploading:
    case RunStatus::Kind::running:
    case RunStatus::Kind::downloading:
        break;
    }
    return Theme::accent();
}

QString statusWord(const RunStatus &status)
{
    switch (status.kind()) {
    case RunStatus::Kind::waiting:
        return u"Queued"_s;
    case RunStatus::Kind::preparing:
        return u"Preparing"_s;
    case RunStatus::Kind::uploading:
        return u"Uploading"_s;
    case RunStatus::Kind::running:
        return u"Running"_s;
    case RunStatus::Kind::downloading:
        return u"Saving"_s;
    case RunStatus::Kind::cancelled:
        return u"Cancelled"_s;
    case RunStatus::Kind::done:
    case RunStatus::Kind::failed:
        break;
    }
    return {};
}

QString helpText(const ModelVariant &variant)
{
    const RunStatus status = variant.status();
    if (status.kind() == RunStatus::Kind::failed)
        return status.message();
    if (status.kind() != RunStatus::Kind::done)
        return variant.modelTitle() + u" — "_s + statusWord(status);
    QString text = variant.modelTitle();
    if (const auto elapsed = variant.elapsed())
        text += u" — "_s + QString::number(static_cast<qint64>(std::trunc(*elapsed))) + u's';
    if (const auto cost = variant.cost())
        text += u" — "_s + Pricing::format(cost->low, cost->high) + u" on Replicate"_s;
    if (!variant.resultExists())
        text += u" (output file has been moved or deleted)"_s;
    return text;
}

QString accessibleName(const ModelVariant &variant)
{
    const RunStatus status = variant.status();
    QString state;
    if (status.kind() == RunStatus::Kind::done)
        state = u"done"_s;
    else if (status.kind() == RunStatus::Kind::failed)
        state = u"failed"_s;
    else
        state = statusWord(status).toLower();
    const Content content = contentOf(variant);
    QStringList parts{content.title, state};
    if (!content.dimensions.isEmpty())
        parts.append(content.dimensions);
    if (!content.cost.isEmpty())
        parts.append(content.cost);
    return parts.join(u", "_s);
}

QSizeF sizeFor(const ModelVariant &variant)
{
    const Content content = contentOf(variant);
    qreal width = horizontalPadding + iconWidth(variant.status()) + gap +
                  titleFont().width(content.title) + horizontalPadding;
    if (!content.dimensions.isEmpty())
        width += gap + dimensionsFont().width(content.dimensions);
    if (!content.cost.isEmpty())
        width += gap + costFont().width(content.cost);
    return {width, height};
}

void paint(QPainter &painter, const QRectF &rect, const ModelVariant &variant,
           const QPalette &palette, qreal ringRotation, qreal transition, const QColor &from)
{
    const RunStatus status = variant.status();
    QColor tint = colour(status, palette);
    if (transition < 1 && from.isValid()) {
        const qreal t = std::clamp(transition, 0.0, 1.0);
        tint = QColor::fromRgbF(float(from.redF() + (tint.redF() - from.redF()) * t),
                                float(from.greenF() + (tint.greenF() - from.greenF()) * t),
                                float(from.blueF() + (tint.blueF() - from.blueF()) * t));
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Theme::withAlpha(tint, 0.28), 0.5));
    painter.setBrush(Theme::withAlpha(tint, 0.14));
    const QRectF capsule = rect.adjusted(0.25, 0.25, -0.25, -0.25);
    painter.drawRoundedRect(capsule, capsule.height() / 2, capsule.height() / 2);

    // The new icon grows in as the status changes.
    const qreal iconScale = transition < 1 ? 0.6 + 0.4 * std::clamp(transition, 0.0, 1.0) : 1.0;
    qreal x = rect.left() + horizontalPadding;
    const qreal side = iconWidth(status) * iconScale;
    const QRectF iconRect(x + (iconWidth(status) - side) / 2, rect.center().y() - side / 2, side,
                          side);
    switch (status.kind()) {
    case RunStatus::Kind::waiting:
        Icons::paint(painter, iconRect, u"clock"_s, Theme::secondary(palette),
                     Icons::Weight::medium);
        break;
    case RunStatus::Kind::done:
        Icons::paint(painter, iconRect, u"checkmark"_s, Theme::green(palette), Icons::Weight::bold);
        break;
    case RunStatus::Kind::cancelled:
        Icons::paint(painter, iconRect, u"slash.circle"_s, Theme::secondary(palette),
                     Icons::Weight::medium);
        break;
    case RunStatus::Kind::failed:
        Icons::paint(painter, iconRect, u"exclamationmark.triangle.fill"_s, Theme::orange(palette));
        break;
    case RunStatus::Kind::preparing:
    case RunStatus::Kind::uploading:
    case RunStatus::Kind::running:
    case RunStatus::Kind::downloading:
        ProgressRing::paint(painter, iconRect, Theme::accent(), palette, ringRotation);
        break;
    }
    x += iconWidth(status) + gap;

    const Content content = contentOf(variant);
    const bool done = status.kind() == RunStatus::Kind::done;
    auto text = [&](TextCache &font, const QString &value, const QColor &colour) {
        painter.setPen(colour);
        font.draw(painter, x, rect.center().y(), value);
        x += font.width(value) + gap;
    };
    text(titleFont(), content.title, done ? Theme::primary(palette) : Theme::secondary(palette));
    if (!content.dimensions.isEmpty())
        text(dimensionsFont(), content.dimensions, Theme::tertiary(palette));
    if (!content.cost.isEmpty())
        text(costFont(), content.cost, Theme::secondary(palette));
    painter.restore();
}

} // namespace VariantPill
