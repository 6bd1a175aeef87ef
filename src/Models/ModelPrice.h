#pragma once

#include "Models/CostRange.h"
#include "Models/PriceStep.h"
#include "Models/PriceUnit.h"

#include <QJsonObject>
#include <QList>
#include <QSizeF>

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

    // The price of `quantity` units, low…high:
    //   image            quantity = number of output images
    //   outputMegapixel  quantity = megapixels of one output (megapixels(size)); multiply the
    //                    range by the number of outputs
    //   videoSecond      quantity = seconds of output video
    //   computeSecond    quantity = seconds of run time (the prediction's predict time)
    //   megapixelStep    quantity = megapixels of one output; gives that output's tier cost
    //                    (the first tier at least that large, else the largest; 0 without tiers)
    // A negative (or non-numeric) quantity counts as zero: an odd override such as an output
    // count of -1 must never turn an estimate negative.
    CostRange cost(double quantity) const;

    // What a finished prediction measured, for its charge.
    struct Usage {
        // Output files the prediction returned.
        int outputs = 0;
        // The first result's pixel size; none for a video or an unreadable file.
        std::optional<QSizeF> pixelSize;
        // The video length asked for: ModelSchema::numericValue(ModelSchema::durationKeys(), the
        // input that was sent).
        std::optional<double> videoSeconds;
        // The prediction's own run time.
        std::optional<double> predictSeconds;
    };
    // The charge of a finished result at this price, the quantity picked by unit as listed for
    // cost(); none when the usage lacks what the unit needs (no pixel size for a per-megapixel
    // price, no video length, no run time).
    std::optional<CostRange> charge(const Usage &usage) const;

    // width × height / 1,000,000.
    static double megapixels(const QSizeF &pixels);

    // Stored form of the price cache: "unit", "low", "high", "typicalRun" (left out when
    // absent) and "steps".
    QJsonObject toStored() const;
    // Gives nothing for anything that is not a complete stored price.
    static std::optional<ModelPrice> fromStored(const QJsonObject &object);

    friend bool operator==(const ModelPrice &, const ModelPrice &) = default;
};
