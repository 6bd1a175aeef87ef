#pragma once

// What the queued work will cost at list prices: the summed ranges of the pairs that have a
// cost, and whether some pair has none although its model's price is no longer loading.
struct CostEstimate {
    double low = 0;
    double high = 0;
    bool hasUnpriced = false;

    friend bool operator==(const CostEstimate &, const CostEstimate &) = default;
};
