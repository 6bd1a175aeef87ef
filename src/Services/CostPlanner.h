#pragma once

#include "Models/CostEstimate.h"
#include "Models/CostRange.h"
#include "Models/ModelPrice.h"
#include "Models/ModelSchema.h"
#include "Models/ModeState.h"

#include <QList>
#include <QSet>
#include <QSizeF>

#include <optional>

// The list-price cost of queued work: what one (model, job) pair will cost with the current
// parameter values, and the sum over every pending pair. Pure functions over values, so the
// store only gathers what they need.
namespace CostPlanner
{

// Parameters that set how many images one run makes, and how long a generated video is
// (compared with lower-cased schema keys).
const QSet<QString> &outputCountKeys();
const QSet<QString> &durationKeys();
const QSet<QString> &scaleKeys();

// The number the first parameter named by `keys` will be sent with: the model's override
// (converted as it is sent), else the parameter's default. None without such a parameter.
std::optional<double> plannedNumber(const ModelSchema &schema, const ParamOverrides &overrides,
                                    const QSet<QString> &keys);
// The upscale factor the model will apply; a choice such as "4x" reads 4, "auto" none.
std::optional<double> plannedScale(const ModelSchema &schema, const ParamOverrides &overrides);

// The cost of one job on a priced model with a ready schema; `inputPixels` is the job's input
// size (none for a prompt job). None when it cannot be worked out in advance.
std::optional<CostRange> pairCost(const ModelPrice &price, const ModelSchema &schema,
                                  const ParamOverrides &overrides,
                                  std::optional<QSizeF> inputPixels);

// One pending pair as the estimate sees it.
struct PendingCost {
    std::optional<CostRange> cost;
    // Its model's price is still being read: the pair counts neither as priced nor unpriced.
    bool priceLoading = false;
};

// None without a priced pair.
std::optional<CostEstimate> estimate(const QList<PendingCost> &pairs);

} // namespace CostPlanner
