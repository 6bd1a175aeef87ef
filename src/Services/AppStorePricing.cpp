// The estimate of what the queued work will cost at list price.
#include "Services/AppStore.h"
#include "Services/CostPlanner.h"

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
    QList<CostPlanner::PendingCost> pending;
    for (const JobVariantPair &pair : pendingPairs()) {
        const QString slug = pair.variant->modelSlug();
        pending.append({plannedCost(slug, *pair.job), pricesInFlight().contains(slug)});
    }
    return CostPlanner::estimate(pending);
}
