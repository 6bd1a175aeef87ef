#include "Services/CostPlanner.h"

#include "Services/Pricing.h"

namespace
{

const SchemaParam *firstParam(const ModelSchema &schema, const QSet<QString> &keys)
{
    for (const SchemaParam &param : schema.params) {
        if (keys.contains(param.key.toLower()))
            return &param;
    }
    return nullptr;
}

// A value as the service will read it as a number: an override goes out in its own type, and a
// boolean reads as 1 or 0.
std::optional<double> sentNumber(const ParamValue &value)
{
    if (value.kind() == ParamValue::Kind::boolean)
        return value.boolValue() ? 1.0 : 0.0;
    return value.doubleValue();
}

std::optional<double> scaleFactor(const ParamValue &value)
{
    switch (value.kind()) {
    case ParamValue::Kind::string: {
        QString digits;
        for (const QChar c : value.stringValue()) {
            if (c.isDigit() || c == QLatin1Char('.'))
                digits.append(c);
        }
        return Pricing::decimal(digits);
    }
    case ParamValue::Kind::number:
        return value.numberValue();
    case ParamValue::Kind::integer:
        return static_cast<double>(value.integerValue());
    case ParamValue::Kind::boolean:
        return std::nullopt;
    }
    Q_UNREACHABLE();
    return std::nullopt;
}

} // namespace

namespace CostPlanner
{

const QSet<QString> &outputCountKeys()
{
    static const QSet<QString> keys{
        QStringLiteral("num_outputs"),      QStringLiteral("num_images"),
        QStringLiteral("number_of_images"), QStringLiteral("num_images_per_prompt"),
        QStringLiteral("max_images"),       QStringLiteral("image_count"),
        QStringLiteral("batch_size"),       QStringLiteral("samples"),
    };
    return keys;
}

const QSet<QString> &durationKeys()
{
    static const QSet<QString> keys{
        QStringLiteral("duration"),     QStringLiteral("duration_seconds"),
        QStringLiteral("video_length"), QStringLiteral("length"),
        QStringLiteral("seconds"),
    };
    return keys;
}

const QSet<QString> &scaleKeys()
{
    static const QSet<QString> keys{
        QStringLiteral("scale"),          QStringLiteral("scale_factor"),
        QStringLiteral("upscale_factor"), QStringLiteral("upscaling_factor"),
        QStringLiteral("factor"),         QStringLiteral("upscale"),
        QStringLiteral("resolution"),     QStringLiteral("magnification"),
    };
    return keys;
}

std::optional<double> plannedNumber(const ModelSchema &schema, const ParamOverrides &overrides,
                                    const QSet<QString> &keys)
{
    const SchemaParam *param = firstParam(schema, keys);
    if (!param)
        return std::nullopt;
    const auto override = overrides.constFind(param->key);
    if (override != overrides.constEnd()) {
        if (const std::optional<double> value = sentNumber(*override))
            return value;
    }
    // An override that is no number leaves the service reading the default.
    return param->defaultValue ? param->defaultValue->doubleValue() : std::nullopt;
}

std::optional<double> plannedScale(const ModelSchema &schema, const ParamOverrides &overrides)
{
    const SchemaParam *param = firstParam(schema, scaleKeys());
    if (!param) {
        for (const SchemaParam &candidate : schema.params) {
            const QString key = candidate.key.toLower();
            if ((key.contains(QLatin1String("scale")) || key.contains(QLatin1String("factor"))) &&
                candidate.kind.type != SchemaParam::Kind::Type::toggle) {
                param = &candidate;
                break;
            }
        }
    }
    if (!param)
        return std::nullopt;
    const auto override = overrides.constFind(param->key);
    if (override != overrides.constEnd())
        return scaleFactor(*override);
    return param->defaultValue ? scaleFactor(*param->defaultValue) : std::nullopt;
}

std::optional<CostRange> pairCost(const ModelPrice &price, const ModelSchema &schema,
                                  const ParamOverrides &overrides,
                                  std::optional<QSizeF> inputPixels)
{
    switch (price.unit) {
    case PriceUnit::image:
        return price.cost(plannedNumber(schema, overrides, outputCountKeys()).value_or(1));
    case PriceUnit::videoSecond: {
        const std::optional<double> seconds = plannedNumber(schema, overrides, durationKeys());
        if (!seconds)
            return std::nullopt;
        return price.cost(*seconds);
    }
    case PriceUnit::computeSecond:
        // Run time is unknown in advance; the page's typical run stands in for it.
        if (!price.typicalRun)
            return std::nullopt;
        return CostRange{*price.typicalRun, *price.typicalRun};
    case PriceUnit::outputMegapixel:
    case PriceUnit::megapixelStep: {
        if (!inputPixels)
            return std::nullopt;
        const double scale = plannedScale(schema, overrides).value_or(1);
        const double megapixels =
            inputPixels->width() * inputPixels->height() * scale * scale / 1000000;
        return price.cost(megapixels);
    }
    }
    Q_UNREACHABLE();
    return std::nullopt;
}

std::optional<CostEstimate> estimate(const QList<PendingCost> &pairs)
{
    CostEstimate total;
    int priced = 0;
    int unpriced = 0;
    for (const PendingCost &pair : pairs) {
        if (pair.cost) {
            total.low += pair.cost->low;
            total.high += pair.cost->high;
            ++priced;
        } else if (!pair.priceLoading) {
            ++unpriced;
        }
    }
    if (priced == 0)
        return std::nullopt;
    total.hasUnpriced = unpriced > 0;
    return total;
}

} // namespace CostPlanner
