#include "Services/ModelDirectory.h"

#include "Models/AppError.h"
#include "Models/ModelCatalog.h"
#include "Services/TokenVault.h"

#include <QCoreApplication>

namespace
{
bool isRejection(const AppError &error)
{
    return error.kind() == AppError::Kind::api && error.status() == 401;
}

// The manager's last user may be a coroutine resumed from one of its replies' signals, so it
// goes from the event loop.
void deleteManagerLater(QNetworkAccessManager *network)
{
    if (QCoreApplication::instance())
        network->deleteLater();
    else
        delete network;
}
} // namespace

ModelDirectory::ModelDirectory(AppEnvironment environment, TokenVault &vault,
                               std::function<QList<CatalogModel>()> currentModels, QObject *parent)
    : QObject(parent), m_environment(std::move(environment)), m_vault(vault),
      m_currentModels(std::move(currentModels))
{
}

ModelDirectory::~ModelDirectory()
{
    m_closing = true;
    // Aborted replies may resume their loads right here; those see m_closing and return.
    m_loads.cancel();
}

bool ModelDirectory::isLive(const QPointer<ModelDirectory> &directory)
{
    return directory && !directory->m_closing;
}

QNetworkAccessManager *ModelDirectory::network()
{
    return sharedNetwork().get();
}

std::shared_ptr<QNetworkAccessManager> ModelDirectory::sharedNetwork()
{
    if (!m_network) {
        m_network.reset(new QNetworkAccessManager, deleteManagerLater);
        ReplicateClient::configure(*m_network);
    }
    return m_network;
}

ReplicateClient ModelDirectory::client(const QString &token)
{
    return ReplicateClient(network(), m_environment.apiBase, m_environment.clock, token);
}

void ModelDirectory::loadCatalog(Mode mode)
{
    // Membership is what keeps two loads of one mode from running side by side.
    if (!m_vault.hasToken() || m_catalogLoads.contains(mode))
        return;
    m_catalogLoads.insert(mode);
    fetchCatalog(mode);
}

QCoro::Task<void> ModelDirectory::fetchCatalog(Mode mode)
{
    const QPointer<ModelDirectory> self(this);
    auto reading = m_vault.read();
    const std::optional<QString> token = co_await reading;
    if (!isLive(self))
        co_return;
    QList<CatalogModel> models;
    if (token) {
        std::optional<bool> rejected;
        try {
            const ReplicateClient service = client(*token);
            auto fetch = service.fetchCollection(ModelCatalog::collectionSlug(mode), m_loads);
            models = co_await fetch;
            rejected = false;
        } catch (const AppError &error) {
            // Only a turned-away token is told; other failures stay silent and the next
            // trigger tries again.
            if (isRejection(error))
                rejected = true;
        } catch (const std::exception &) {
        }
        if (!isLive(self))
            co_return;
        if (rejected)
            noteListingAnswer(*rejected);
    }
    if (models.isEmpty()) {
        m_catalogLoads.remove(mode);
        co_return;
    }
    m_catalogs.insert(mode, models);
    Q_EMIT catalogsChanged();
}

QCoro::Task<QList<CatalogModel>> ModelDirectory::searchModels(QString query)
{
    const QPointer<ModelDirectory> self(this);
    auto reading = m_vault.read();
    const std::optional<QString> token = co_await reading;
    if (!token || !isLive(self))
        co_return {};
    bool rejected = false;
    try {
        const ReplicateClient service = client(*token);
        auto search = service.searchModels(query, m_loads);
        QList<CatalogModel> found = co_await search;
        if (isLive(self))
            noteListingAnswer(false);
        co_return found;
    } catch (const AppError &error) {
        rejected = isRejection(error);
    } catch (const std::exception &) {
    }
    if (rejected && isLive(self))
        noteListingAnswer(true);
    co_return {};
}

void ModelDirectory::noteListingAnswer(bool tokenRejected)
{
    if (m_tokenRejected == tokenRejected)
        return;
    m_tokenRejected = tokenRejected;
    Q_EMIT catalogsChanged();
}
