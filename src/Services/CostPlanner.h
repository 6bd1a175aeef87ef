#pragma once

#include "Models/CostEstimate.h"
#include "Models/CostRange.h"
#include "Models/ModelPrice.h"
#include "Models/ModelSchema.h"

#include <QJsonObject>
#include <QList>
#include <QSizeF>
#include <QString>

#include <optional>

// The list-price cost of queued work: what one (model, job) pair will cost with the current
// parameter values, and the sum over every pending pair. Pure functions over values, so the
// store only gathers what they need.
namespace CostPlanner
{

// The cost of one job on a priced model with a ready schema, or none when it cannot be worked
// out in advance. `inputs` is the parameter part of the input a run would send
// (ModelSchema::requestInputs), `scale` the model's upscale factor (AppStore::scale, 1 when none)
// and `inputPixels` the job's input size (none for a prompt job).
std::optional<CostRange> pairCost(const ModelPrice &price, const ModelSchema &schema,
                                  const QJsonObject &inputs, std::optional<double> scale,
                                  std::optional<QSizeF> inputPixels);

// The upscale factor the model applies with these overrides, when its schema says.
std::optional<double> scale(const ModelSchema &schema, const ParamOverrides &overrides);

// One pending pair as the estimate sees it.
struct PendingCost {
    std::optional<CostRange> cost;
    // Its model's price or schema, or its photo's size, is still being read: the pair counts
    // neither as priced nor unpriced.
    bool loading = false;
};

// None without a priced pair.
std::optional<CostEstimate> estimate(const QList<PendingCost> &pairs);

// "Around $0.12" (with " plus unpriced models"), and the help text that goes with it.
QString estimateLabel(const CostEstimate &estimate);
QString estimateHelp(const CostEstimate &estimate);

} // namespace CostPlanner
