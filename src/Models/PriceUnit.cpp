#include "Models/PriceUnit.h"

#include <array>
#include <utility>

namespace
{

const std::array<std::pair<PriceUnit, const char *>, 5> storedTexts{{
    {PriceUnit::image, "image"},
    {PriceUnit::outputMegapixel, "outputMegapixel"},
    {PriceUnit::videoSecond, "videoSecond"},
    {PriceUnit::computeSecond, "computeSecond"},
    {PriceUnit::megapixelStep, "megapixelStep"},
}};

} // namespace

QString PriceUnits::storedText(PriceUnit unit)
{
    for (const auto &[candidate, text] : storedTexts) {
        if (candidate == unit)
            return QLatin1String(text);
    }
    Q_UNREACHABLE();
    return QString();
}

std::optional<PriceUnit> PriceUnits::fromStoredText(const QString &text)
{
    for (const auto &[unit, stored] : storedTexts) {
        if (text == QLatin1String(stored))
            return unit;
    }
    return std::nullopt;
}
