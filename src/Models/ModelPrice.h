#pragma once

#include "Models/CostRange.h"
#include "Models/PriceStep.h"
#include "Models/PriceUnit.h"

#include <QJsonObject>
#include <QList>

#include <optional>

// A model's published list price, as read from its web page.
struct ModelPrice {
    PriceUnit unit = PriceUnit::image;
    double low = 0;  // lowest listed price per unit, dollars
    double high = 0; // highest listed price per unit; equals `low` with one listed price
    // computeSecond: the page's typical (median) cost of one run.
    std::optional<double> typicalRun;
    // megapixelStep: the tiers, ascending by megapixels; empty otherwise.
    QList<PriceStep> steps;

    // The price of `quantity` units. A tiered price charges one output by its size in
    // megapixels. A negative (or non-numeric) quantity counts as zero: an odd override must
    // never turn an estimate negative.
    CostRange cost(double quantity) const;

    // Stored form of the price cache: "unit", "low", "high", "typicalRun" (left out when
    // absent) and "steps".
    QJsonObject toStored() const;
    // Gives nothing for anything that is not a complete stored price.
    static std::optional<ModelPrice> fromStored(const QJsonObject &object);

    friend bool operator==(const ModelPrice &, const ModelPrice &) = default;
};
