#include "Services/CostPlanner.h"

#include "Services/Pricing.h"

namespace CostPlanner
{

std::optional<CostRange> pairCost(const ModelPrice &price, const ModelSchema &schema,
                                  const QJsonObject &inputs, std::optional<double> scale,
                                  std::optional<QSizeF> inputPixels)
{
    switch (price.unit) {
    case PriceUnit::image:
        // A model without an output-count parameter makes one image.
        return price.cost(schema.numericValue(ModelSchema::outputCountKeys(), inputs).value_or(1));
    case PriceUnit::videoSecond: {
        const std::optional<double> seconds =
            schema.numericValue(ModelSchema::durationKeys(), inputs);
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
        const double s = scale.value_or(1);
        return price.cost(ModelPrice::megapixels(*inputPixels) * s * s);
    }
    }
    Q_UNREACHABLE();
    return std::nullopt;
}

std::optional<double> scale(const ModelSchema &schema, const ParamOverrides &overrides)
{
    const auto param = schema.scaleParam();
    if (!param)
        return std::nullopt;
    std::optional<ParamValue> value = param->defaultValue;
    if (overrides.contains(param->key))
        value = overrides.value(param->key);
    return value ? value->scaleFactor() : std::nullopt;
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
        } else if (!pair.loading) {
            ++unpriced;
        }
    }
    if (priced == 0)
        return std::nullopt;
    total.hasUnpriced = unpriced > 0;
    return total;
}

QString estimateLabel(const CostEstimate &estimate)
{
    QString label = QStringLiteral("Around ") + Pricing::format(estimate.low, estimate.high);
    if (estimate.hasUnpriced)
        label += QStringLiteral(" plus unpriced models");
    return label;
}

QString estimateHelp(const CostEstimate &estimate)
{
    if (estimate.hasUnpriced)
        return QStringLiteral("Some selected models don't publish a price this app can work out, "
                              "so the real total is higher.");
    return QStringLiteral(
        "Replicate's list price for what's queued. The exact charge appears on each result.");
}

} // namespace CostPlanner
