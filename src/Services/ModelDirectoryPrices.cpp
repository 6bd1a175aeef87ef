// Prices: each model's list price, read once per run of the application from the cache or the
// model's public page.
#include "Services/ModelDirectory.h"
#include "Services/PriceCache.h"
#include "Services/Pricing.h"

void ModelDirectory::loadPrice(const QString &slug)
{
    if (m_prices.contains(slug) || m_priceLoads.contains(slug))
        return;
    m_priceLoads.insert(slug);
    m_pricesInFlight.insert(slug);
    Q_EMIT pricesChanged();

    // A manager of its own, without the service's token or settings: the page is public.
    if (!m_pageNetwork)
        m_pageNetwork = std::shared_ptr<QNetworkAccessManager>(
            new QNetworkAccessManager,
            [](QNetworkAccessManager *network) { network->deleteLater(); });
    const TaskHandle loads = m_loads;
    QCoro::connect(Pricing::fetch(m_pageNetwork, m_environment.webBase,
                                  PriceCache(m_environment.cacheFolder), slug, loads),
                   this, [this, slug, loads](const std::optional<ModelPrice> &price) {
                       // A read aborted by the teardown ends without a directory to write to.
                       if (!loads.isCancelled())
                           finishPriceLoad(slug, price);
                   });
}

void ModelDirectory::finishPriceLoad(const QString &slug, const std::optional<ModelPrice> &price)
{
    if (price)
        m_prices.insert(slug, *price);
    m_pricesInFlight.remove(slug);
    Q_EMIT pricesChanged();
}
