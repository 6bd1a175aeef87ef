#pragma once

#include <QString>

#include <optional>

// What one unit of a model's list price is.
enum class PriceUnit {
    image,           // dollars per output image
    outputMegapixel, // dollars per megapixel of output
    videoSecond,     // dollars per second of output video
    computeSecond,   // dollars per second of run time
    megapixelStep,   // a tiered table: dollars per output, by output size
};

namespace PriceUnits
{

// The stored text of a unit: its case name.
QString storedText(PriceUnit unit);
std::optional<PriceUnit> fromStoredText(const QString &text);

} // namespace PriceUnits
