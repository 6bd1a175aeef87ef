#include "Models/PriceStep.h"

QJsonObject PriceStep::toStored() const
{
    return QJsonObject{{QStringLiteral("megapixels"), megapixels}, {QStringLiteral("cost"), cost}};
}

std::optional<PriceStep> PriceStep::fromStored(const QJsonObject &object)
{
    const QJsonValue megapixels = object.value(QStringLiteral("megapixels"));
    const QJsonValue cost = object.value(QStringLiteral("cost"));
    if (!megapixels.isDouble() || !cost.isDouble())
        return std::nullopt;
    return PriceStep{megapixels.toDouble(), cost.toDouble()};
}
