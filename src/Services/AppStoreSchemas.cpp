// The store's side of schema loading: which slugs to load, and the inspector's Retry. The loads
// themselves live in ModelDirectorySchemas.cpp.
#include "Services/AppStore.h"

SchemaState AppStore::schemaState() const
{
    return m_directory->schemaStates().value(state().focusedSlug);
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

void AppStore::markRefusedVariants()
{
    if (isRunning())
        return;
    for (const QList<ImageJobPtr> &modeJobs : std::as_const(m_jobsByMode)) {
        for (const ImageJobPtr &job : modeJobs) {
            for (const ModelVariantPtr &variant : job->variants()) {
                if (variant->status().kind() != RunStatus::Kind::waiting)
                    continue;
                const SchemaState schemaState =
                    m_directory->schemaStates().value(variant->modelSlug());
                if (!schemaState.isReady())
                    continue;
                if (const auto refusal = schemaState.schema()->refusal(job->input().isPrompt()))
                    variant->setStatus(RunStatus::failed(refusal->message()));
            }
        }
    }
}
