// The store's side of schema loading: which slugs to load, and the inspector's Retry. The loads
// themselves live in ModelDirectorySchemas.cpp.
#include "Services/AppStore.h"

SchemaState AppStore::schemaState() const
{
    return schemaStates().value(state().focusedSlug);
}

void AppStore::loadSelectedSchemas()
{
    for (const QString &slug : state().selectedSlugs)
        startSchemaLoad(slug);
}

void AppStore::startSchemaLoad(const QString &slug)
{
    // Looked up in the models of the moment the token has been read.
    m_directory->loadSchema(slug, std::nullopt);
}

void AppStore::refreshSchema()
{
    const QString slug = state().focusedSlug;
    m_directory->setSchemaState(slug, SchemaState::loading());
    startSchemaLoad(slug);
}

QCoro::Task<void> AppStore::loadSchema(QString slug, std::optional<QList<CatalogModel>> models)
{
    return m_directory->loadSchema(std::move(slug), std::move(models));
}

QCoro::Task<void> AppStore::loadSchemasForRun(QStringList slugs, QList<CatalogModel> models)
{
    return m_directory->loadSchemasForRun(std::move(slugs), std::move(models));
}

QCoro::Task<QList<CatalogModel>> AppStore::searchModels(QString query)
{
    return m_directory->searchModels(std::move(query));
}
