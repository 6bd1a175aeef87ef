// The estimate of what the queued work will cost at list price.
#include "Services/AppStore.h"
#include "Services/CostPlanner.h"
#include "Services/FileInspector.h"

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

    std::optional<CostRange> cost(const ImageJob &job) const
    {
        if (!price)
            return std::nullopt;
        return CostPlanner::pairCost(*price, *schema, inputs, scale, job.pixelSize());
    }
};

ModelCostPlan costPlan(const AppStore &store, const QString &slug)
{
    ModelCostPlan plan;
    const SchemaState schemaState = store.directory().schemaStates().value(slug);
    const auto price = store.directory().prices().constFind(slug);
    // A price is read once the schema has loaded, so a schema on its way means the price may
    // still come.
    const bool schemaLoading = schemaState.kind() == SchemaState::Kind::loading ||
                               schemaState.kind() == SchemaState::Kind::idle;
    if (price == store.directory().prices().constEnd()) {
        plan.loading = store.directory().pricesInFlight().contains(slug) ||
                       (schemaLoading && !store.directory().priceLoads().contains(slug));
    } else if (schemaState.isReady() && schemaState.schema()) {
        plan.price = *price;
        plan.schema = *schemaState.schema();
        // The parameters exactly as a run would send them.
        plan.inputs = plan.schema->requestInputs(slug, store.state().overrides);
        plan.scale = store.scale(slug);
    } else {
        plan.loading = schemaLoading;
    }
    return plan;
}

bool needsSourceSize(PriceUnit unit)
{
    return unit == PriceUnit::outputMegapixel || unit == PriceUnit::megapixelStep;
}

} // namespace

std::optional<CostRange> AppStore::plannedCost(const QString &slug, const ImageJob &job) const
{
    return costPlan(*this, slug).cost(job);
}

std::optional<CostEstimate> AppStore::estimatedCost() const
{
    QHash<QString, ModelCostPlan> plans;
    QList<CostPlanner::PendingCost> pending;
    for (const JobVariantPair &pair : pendingPairs()) {
        const QString slug = pair.variant->modelSlug();
        auto plan = plans.constFind(slug);
        if (plan == plans.constEnd())
            plan = plans.insert(slug, costPlan(*this, slug));
        CostPlanner::PendingCost cost{plan->cost(*pair.job), plan->loading};
        // The photo's size is still being read: its cost will be known in a moment.
        if (plan->price && !cost.cost)
            cost.loading = needsSourceSize(plan->price->unit) && !pair.job->pixelSize() &&
                           m_inspector->isReading(*pair.job);
        pending.append(cost);
    }
    return CostPlanner::estimate(pending);
}
