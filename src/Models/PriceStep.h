#pragma once

#include <QJsonObject>

#include <optional>

// One tier of a tiered price: outputs of up to `megapixels` cost `cost` dollars each.
struct PriceStep {
    double megapixels = 0;
    double cost = 0;

    // Stored form: {"megapixels": …, "cost": …}.
    QJsonObject toStored() const;
    // Both keys must hold numbers; anything else gives nothing.
    static std::optional<PriceStep> fromStored(const QJsonObject &object);

    friend bool operator==(const PriceStep &, const PriceStep &) = default;
};
