// Schema loading: the on-disk cache first, then the service, with the rule that a schema once
// shown is only ever replaced by a newer one.
#include "Models/AppError.h"
#include "Models/ModelCatalog.h"
#include "Services/ModelDirectory.h"
#include "Services/SchemaCache.h"
#include "Services/TaskGroup.h"
#include "Services/TokenVault.h"

#include <QCoroFuture>
#include <QPromise>
#include <QScopeGuard>

void ModelDirectory::setSchemaState(const QString &slug, const SchemaState &state)
{
    const auto it = m_schemaStates.constFind(slug);
    if (it != m_schemaStates.constEnd() && *it == state)
        return;
    m_schemaStates.insert(slug, state);
    Q_EMIT schemaStatesChanged();
}

QCoro::Task<void> ModelDirectory::loadSchema(QString slug,
                                             std::optional<QList<CatalogModel>> models)
{
    const QPointer<ModelDirectory> self(this);
    const QString cacheRoot = m_environment.cacheFolder;
    loadPrice(slug);
    const auto isReady = [this, &slug] { return m_schemaStates.value(slug).isReady(); };
    if (isReady() && !SchemaCache::isStale(cacheRoot, slug))
        co_return;

    if (const std::optional<QJsonObject> record = SchemaCache::load(cacheRoot, slug)) {
        try {
            setSchemaState(slug, SchemaState::ready(ModelSchema::parse(*record)));
            if (!SchemaCache::isStale(cacheRoot, slug))
                co_return;
        } catch (const SchemaParseError &) {
            // A cached record without a usable schema counts as no cache.
        }
    }
    // A schema shown from memory stays while the service is asked again.
    if (!isReady())
        setSchemaState(slug, SchemaState::loading());

    auto reading = m_vault.read();
    const std::optional<QString> token = co_await reading;
    if (!isLive(self))
        co_return;
    if (!token) {
        // A fetch under way read a token after this load looked: its answer is the newer one.
        if (!isReady() && !m_schemaFetches.contains(slug))
            setSchemaState(slug, SchemaState::failed(AppError::missingToken().message()));
        co_return;
    }

    const std::optional<CatalogModel> model =
        ModelCatalog::find(models ? *models : m_currentModels(), slug);
    if (!model) {
        // Nothing to ask the service for: end the load rather than leave it loading for ever.
        if (!isReady())
            setSchemaState(slug, SchemaState::failed(unknownModelText()));
        co_return;
    }

    // One fetch per model at a time: a load that finds one under way waits for it and takes its
    // answer, which that fetch has already written. Two fetches side by side could otherwise
    // finish in either order and leave the older answer in place.
    if (const auto running = m_schemaFetches.constFind(slug); running != m_schemaFetches.cend()) {
        QFuture<void> done = *running;
        co_await done;
        co_return;
    }
    QPromise<void> fetched;
    fetched.start();
    m_schemaFetches.insert(slug, fetched.future());
    // Ends the entry on every way out; a directory being torn down is left alone.
    const auto finish = qScopeGuard([&fetched, &slug, self] {
        if (isLive(self))
            self->m_schemaFetches.remove(slug);
        fetched.finish();
    });

    if (!isReady())
        setSchemaState(slug, SchemaState::loading());
    std::optional<SchemaState> outcome;
    try {
        const ReplicateClient service = client(*token);
        auto fetch = service.fetchModel(model->owner, model->name, m_loads);
        const QJsonObject record = co_await fetch;
        if (!isLive(self))
            co_return;
        try {
            const ModelSchema schema = ModelSchema::parse(record);
            SchemaCache::store(cacheRoot, slug, record);
            outcome = SchemaState::ready(schema);
        } catch (const SchemaParseError &error) {
            outcome = SchemaState::failed(error.message());
        }
    } catch (const std::exception &error) {
        if (!isLive(self))
            co_return;
        outcome = SchemaState::failed(localizedDescription(error));
    }
    // Network and parse trouble never take away a schema that is already shown.
    if (outcome->isReady() || !isReady())
        setSchemaState(slug, *outcome);
}

QString ModelDirectory::unknownModelText()
{
    return QStringLiteral("This model isn't in any model list, so its settings can't be read.");
}

QCoro::Task<void> ModelDirectory::loadSchemasForRun(QStringList slugs, QList<CatalogModel> models)
{
    const QPointer<ModelDirectory> self(this);
    TaskGroup group;
    for (const QString &slug : slugs) {
        if (m_schemaStates.value(slug).isReady())
            continue;
        group.start([self, slug, models]() -> QCoro::Task<void> {
            if (!isLive(self))
                co_return;
            auto load = self->loadSchema(slug, models);
            co_await load;
        });
    }
    auto all = group.waitForAll();
    co_await all;
}
