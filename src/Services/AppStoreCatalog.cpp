// The service's curated collection per mode, and model search.
#include "Services/AppStore.h"
#include "Services/Coroutine.h"

#include <QCoreApplication>
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
        // Shared with the cancels still on their way when the store goes, and deleted from the
        // event loop: the last of them ends inside one of the manager's own replies.
        m_network.reset(new QNetworkAccessManager, [](QNetworkAccessManager *network) {
            if (QCoreApplication::instance())
                network->deleteLater();
            else
                delete network;
        });
        ReplicateClient::configure(*m_network);
    }
    return m_network.get();
}

std::shared_ptr<ServiceWork> AppStore::serviceWork()
{
    if (!m_serviceWork) {
        network();
        m_serviceWork = std::make_shared<ServiceWork>(m_network);
    }
    return m_serviceWork;
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
    auto read = readToken();
    const std::optional<QString> token = co_await read;
    if (!isLive(self))
        co_return;
    QList<CatalogModel> models;
    if (token) {
        try {
            const ReplicateClient service = client(*token);
            auto fetch = service.fetchCollection(collectionSlug(mode), m_loads.handle);
            models = co_await fetch;
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
    auto read = readToken();
    const std::optional<QString> token = co_await read;
    if (!token || !isLive(self))
        co_return {};
    try {
        const ReplicateClient service = client(*token);
        auto search = service.searchModels(query, m_loads.handle);
        QList<CatalogModel> found = co_await search;
        co_return found;
    } catch (const std::exception &) {
        co_return {};
    }
}
