// The store's side of pricing: reading each model's list price once per run and estimating what
// the queued work will cost.
#include "Services/AppStore.h"

#include "Services/CostPlanner.h"
#include "Services/PriceCache.h"
#include "Services/Pricing.h"

#include <QNetworkAccessManager>

namespace
{

// The manager's last user may be a coroutine resumed from one of its replies' signals.
void deleteManagerLater(QNetworkAccessManager *network)
{
    network->deleteLater();
}

} // namespace

void AppStore::loadPrice(const QString &slug)
{
    if (m_prices.contains(slug) || m_priceLoads.contains(slug))
        return;
    m_priceLoads.insert(slug);
    m_pricesInFlight.insert(slug);
    Q_EMIT pricesChanged();

    // A manager of its own, without the service's token or settings: the page is public.
    if (!m_pageNetwork) {
        m_pageNetwork =
            std::shared_ptr<QNetworkAccessManager>(new QNetworkAccessManager, deleteManagerLater);
        // Destroyed first among the members: it aborts the page reads still running; they end
        // without a store to write to.
        const TaskHandle loads = m_priceLoadsTask;
        m_priceLoadsCanceller = std::shared_ptr<void>(nullptr, [loads](void *) { loads.cancel(); });
    }
    const TaskHandle loads = m_priceLoadsTask;
    QCoro::connect(Pricing::fetch(m_pageNetwork, m_environment.webBase,
                                  PriceCache(m_environment.cacheFolder), slug, loads),
                   this, [this, slug, loads](const std::optional<ModelPrice> &price) {
                       if (!loads.isCancelled())
                           finishPriceLoad(slug, price);
                   });
}

void AppStore::finishPriceLoad(const QString &slug, const std::optional<ModelPrice> &price)
{
    if (price)
        m_prices.insert(slug, *price);
    m_pricesInFlight.remove(slug);
    Q_EMIT pricesChanged();
}

std::optional<CostRange> AppStore::plannedCost(const QString &slug, const ImageJob &job) const
{
    const auto price = m_prices.constFind(slug);
    const auto schemaState = m_schemaStates.constFind(slug);
    if (price == m_prices.constEnd() || schemaState == m_schemaStates.constEnd() ||
        !schemaState->isReady() || !schemaState->schema())
        return std::nullopt;
    const ModelSchema &schema = *schemaState->schema();
    // The parameters exactly as a run would send them.
    const QJsonObject inputs = requestInputs(schema, slug, state().overrides);
    return CostPlanner::pairCost(*price, schema, inputs, scale(slug), job.pixelSize());
}

std::optional<AppStore::CostEstimate> AppStore::estimatedCost() const
{
    QList<CostPlanner::PendingCost> pending;
    for (const JobVariantPair &pair : pendingPairs()) {
        const QString slug = pair.variant->modelSlug();
        pending.append({plannedCost(slug, *pair.job), m_pricesInFlight.contains(slug)});
    }
    return CostPlanner::estimate(pending);
}

QString AppStore::estimateLabel(const CostEstimate &estimate)
{
    QString label = QStringLiteral("Around ") + Pricing::format(estimate.low, estimate.high);
    if (estimate.hasUnpriced)
        label += QStringLiteral(" plus unpriced models");
    return label;
}

QString AppStore::estimateHelp(const CostEstimate &estimate)
{
    if (estimate.hasUnpriced)
        return QStringLiteral("Some selected models don't publish a price this app can work out, "
                              "so the real total is higher.");
    return QStringLiteral(
        "Replicate's list price for what's queued. The exact charge appears on each result.");
}
