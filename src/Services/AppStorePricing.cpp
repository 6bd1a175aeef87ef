// The estimate of what the queued work will cost at list price.
#include "Services/AppStore.h"
#include "Services/CostPlanner.h"

namespace
{

// What the estimate needs of one model, worked out once for all of its pairs.
struct ModelCostPlan {
    // Set when the model has a price and a ready schema.
    std::optional<ModelPrice> price;
    std::optional<ModelSchema> schema;
    QJsonObject inputs;
    std::optional<double> scale;
    // Its price or schema is still being read: its pairs are neither priced nor unpriced yet.
    bool loading = false;
};

bool needsSourceSize(PriceUnit unit)
{
    return unit == PriceUnit::outputMegapixel || unit == PriceUnit::megapixelStep;
}

} // namespace

std::optional<CostRange> AppStore::plannedCost(const QString &slug, const ImageJob &job) const
{
    const auto price = prices().constFind(slug);
    const auto schemaState = schemaStates().constFind(slug);
    if (price == prices().constEnd() || schemaState == schemaStates().constEnd() ||
        !schemaState->isReady() || !schemaState->schema())
        return std::nullopt;
    const ModelSchema &schema = *schemaState->schema();
    // The parameters exactly as a run would send them.
    const QJsonObject inputs = schema.requestInputs(slug, state().overrides);
    return CostPlanner::pairCost(*price, schema, inputs, scale(slug), job.pixelSize());
}

std::optional<AppStore::CostEstimate> AppStore::estimatedCost() const
{
    QHash<QString, ModelCostPlan> plans;
    const auto planFor = [&](const QString &slug) -> const ModelCostPlan & {
        auto found = plans.constFind(slug);
        if (found != plans.constEnd())
            return *found;
        ModelCostPlan plan;
        const SchemaState schemaState = schemaStates().value(slug);
        const auto price = prices().constFind(slug);
        // A price is read once the schema has loaded, so a schema on its way means the price
        // may still come.
        const bool schemaLoading = schemaState.kind() == SchemaState::Kind::loading ||
                                   schemaState.kind() == SchemaState::Kind::idle;
        if (price == prices().constEnd()) {
            plan.loading =
                pricesInFlight().contains(slug) || (schemaLoading && !priceLoads().contains(slug));
        } else if (schemaState.isReady() && schemaState.schema()) {
            plan.price = *price;
            plan.schema = *schemaState.schema();
            plan.inputs = plan.schema->requestInputs(slug, state().overrides);
            plan.scale = scale(slug);
        } else {
            plan.loading = schemaLoading;
        }
        return *plans.insert(slug, plan);
    };

    QList<CostPlanner::PendingCost> pending;
    for (const JobVariantPair &pair : pendingPairs()) {
        const ModelCostPlan &plan = planFor(pair.variant->modelSlug());
        CostPlanner::PendingCost cost;
        cost.loading = plan.loading;
        if (plan.price) {
            cost.cost = CostPlanner::pairCost(*plan.price, *plan.schema, plan.inputs, plan.scale,
                                              pair.job->pixelSize());
            // The photo's size is still being read: its cost will be known in a moment.
            cost.loading = !cost.cost && needsSourceSize(plan.price->unit) &&
                           !pair.job->pixelSize() && isReadingSource(*pair.job);
        }
        pending.append(cost);
    }
    return CostPlanner::estimate(pending);
}
