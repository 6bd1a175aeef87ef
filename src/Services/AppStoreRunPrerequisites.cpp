// Token reads and schema loads as the run needs them, until the keyring and the schema cache
// take them over.
#include "Services/AppStore.h"

#include "Models/AppError.h"
#include "Services/TaskGroup.h"

bool AppStore::hasToken() const
{
    return readToken().has_value();
}

std::optional<QString> AppStore::readToken() const
{
    const QString token = m_environment.environmentToken.trimmed();
    if (token.isEmpty())
        return std::nullopt;
    return token;
}

QCoro::Task<void> AppStore::loadSchemasForRun(const QStringList &slugs,
                                              const QList<CatalogModel> &models)
{
    const QPointer<AppStore> store(this);
    const ReplicateClient client(network(), m_environment.apiBase, m_environment.clock,
                                 readToken().value_or(QString()));
    TaskGroup group;
    for (const QString &slug : slugs) {
        std::optional<CatalogModel> model = CatalogModel::fromSlug(slug, std::nullopt, {}, false);
        for (const CatalogModel &known : models) {
            if (known.slug() == slug)
                model = known;
        }
        if (!model)
            continue;
        m_schemaStates.insert(slug, SchemaState::loading());
        group.start([store, client, model = *model]() -> QCoro::Task<void> {
            SchemaState loaded;
            try {
                const QJsonObject record = co_await client.fetchModel(model.owner, model.name);
                loaded = SchemaState::ready(ModelSchema::parse(record));
            } catch (const std::exception &error) {
                loaded = SchemaState::failed(localizedDescription(error));
            }
            if (store) {
                store->m_schemaStates.insert(model.slug(), loaded);
                Q_EMIT store->schemaStatesChanged();
            }
        });
    }
    Q_EMIT schemaStatesChanged();
    co_await group.waitForAll();
}

std::optional<ModelPrice> AppStore::knownPrice(const QString &) const
{
    return std::nullopt;
}
