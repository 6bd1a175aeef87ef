// The service's curated collection per mode, and model search.
#include "Services/AppStore.h"

#include <QCoroFuture>

QString AppStore::collectionSlug(Mode mode)
{
    switch (mode) {
    case Mode::upscale:
        return QStringLiteral("super-resolution");
    case Mode::image:
        return QStringLiteral("text-to-image");
    case Mode::video:
        return QStringLiteral("text-to-video");
    }
    return {};
}

QNetworkAccessManager *AppStore::network()
{
    if (!m_network) {
        m_network = std::make_unique<QNetworkAccessManager>();
        ReplicateClient::configure(*m_network);
    }
    return m_network.get();
}

ReplicateClient AppStore::client(const QString &token)
{
    return ReplicateClient(network(), m_environment.apiBase, m_environment.clock, token);
}

void AppStore::loadCatalog(Mode mode)
{
    // Membership is what keeps two loads of one mode from running side by side.
    if (!m_hasToken || m_catalogLoads.contains(mode))
        return;
    m_catalogLoads.insert(mode);
    fetchCatalog(mode);
}

QCoro::Task<void> AppStore::fetchCatalog(Mode mode)
{
    const QPointer<AppStore> self(this);
    const std::optional<QString> token = co_await readToken();
    if (!isLive(self))
        co_return;
    QList<CatalogModel> models;
    if (token) {
        try {
            models = co_await client(*token).fetchCollection(collectionSlug(mode), m_loads.handle);
        } catch (const std::exception &) {
            // Silent: the collection stays unloaded and the next trigger tries again.
        }
        if (!isLive(self))
            co_return;
    }
    if (models.isEmpty()) {
        m_catalogLoads.remove(mode);
        co_return;
    }
    m_catalogs.insert(mode, models);
    Q_EMIT catalogsChanged();
}

QCoro::Task<QList<CatalogModel>> AppStore::searchModels(QString query)
{
    const QPointer<AppStore> self(this);
    const std::optional<QString> token = co_await readToken();
    if (!token || !isLive(self))
        co_return {};
    try {
        co_return co_await client(*token).searchModels(query, m_loads.handle);
    } catch (const std::exception &) {
        co_return {};
    }
}
