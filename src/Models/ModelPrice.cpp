#include "Models/ModelPrice.h"

#include <QJsonArray>

#include <algorithm>

CostRange ModelPrice::cost(double quantity) const
{
    // `!(x > 0)` also catches NaN.
    if (!(quantity > 0))
        quantity = 0;
    switch (unit) {
    case PriceUnit::image:
    case PriceUnit::outputMegapixel:
    case PriceUnit::videoSecond:
    case PriceUnit::computeSecond:
        return {quantity * low, quantity * high};
    case PriceUnit::megapixelStep: {
        if (steps.isEmpty())
            return {0, 0};
        for (const PriceStep &step : steps) {
            if (step.megapixels >= quantity)
                return {step.cost, step.cost};
        }
        // Larger than every tier: the service charges the largest tier.
        return {steps.constLast().cost, steps.constLast().cost};
    }
    }
    Q_UNREACHABLE();
    return {};
}

std::optional<CostRange> ModelPrice::charge(const Usage &usage) const
{
    const int outputs = std::max(usage.outputs, 0);
    switch (unit) {
    case PriceUnit::image:
        return cost(outputs);
    case PriceUnit::outputMegapixel:
    case PriceUnit::megapixelStep:
        // Every output is taken to be as large as the first.
        if (!usage.pixelSize)
            return std::nullopt;
        return cost(megapixels(*usage.pixelSize)) * outputs;
    case PriceUnit::videoSecond:
        if (!usage.videoSeconds)
            return std::nullopt;
        return cost(*usage.videoSeconds);
    case PriceUnit::computeSecond:
        if (!usage.predictSeconds)
            return std::nullopt;
        return cost(*usage.predictSeconds);
    }
    Q_UNREACHABLE();
    return std::nullopt;
}

double ModelPrice::megapixels(const QSizeF &pixels)
{
    return pixels.width() * pixels.height() / 1000000;
}

QJsonObject ModelPrice::toStored() const
{
    QJsonArray storedSteps;
    for (const PriceStep &step : steps)
        storedSteps.append(step.toStored());
    QJsonObject object{
        {QStringLiteral("unit"), PriceUnits::storedText(unit)},
        {QStringLiteral("low"), low},
        {QStringLiteral("high"), high},
        {QStringLiteral("steps"), storedSteps},
    };
    if (typicalRun)
        object.insert(QStringLiteral("typicalRun"), *typicalRun);
    return object;
}

std::optional<ModelPrice> ModelPrice::fromStored(const QJsonObject &object)
{
    const std::optional<PriceUnit> unit =
        PriceUnits::fromStoredText(object.value(QStringLiteral("unit")).toString());
    const QJsonValue low = object.value(QStringLiteral("low"));
    const QJsonValue high = object.value(QStringLiteral("high"));
    const QJsonValue typicalRun = object.value(QStringLiteral("typicalRun"));
    const QJsonValue steps = object.value(QStringLiteral("steps"));
    if (!unit || !low.isDouble() || !high.isDouble() || !steps.isArray())
        return std::nullopt;
    // An explicit null reads as absent, as a missing key does.
    if (!typicalRun.isUndefined() && !typicalRun.isNull() && !typicalRun.isDouble())
        return std::nullopt;

    ModelPrice price;
    price.unit = *unit;
    price.low = low.toDouble();
    price.high = high.toDouble();
    if (typicalRun.isDouble())
        price.typicalRun = typicalRun.toDouble();
    for (const QJsonValue &stored : steps.toArray()) {
        const std::optional<PriceStep> step =
            stored.isObject() ? PriceStep::fromStored(stored.toObject()) : std::nullopt;
        if (!step)
            return std::nullopt;
        price.steps.append(*step);
    }
    return price;
}
