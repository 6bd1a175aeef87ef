// The store's side of schema loading: which slugs to load, and the inspector's Retry. The loads
// themselves live in ModelDirectorySchemas.cpp.
#include "Services/AppStore.h"

#include <QHash>

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
    // What each loaded model refuses is worked out once, not per variant: a drop of a whole
    // archive calls this for every slice it adds, and the list holds tens of thousands of jobs.
    struct Refusals {
        std::optional<SchemaParseError> file;
        std::optional<SchemaParseError> prompt;
    };
    QHash<QString, Refusals> refusing;
    const QMap<QString, SchemaState> &schemas = m_directory->schemaStates();
    for (auto it = schemas.cbegin(); it != schemas.cend(); ++it) {
        if (!it->isReady())
            continue;
        Refusals refusals{it->schema()->refusal(false), it->schema()->refusal(true)};
        if (refusals.file || refusals.prompt)
            refusing.insert(it.key(), std::move(refusals));
    }
    if (refusing.isEmpty())
        return;
    const auto mark = [&refusing](const ImageJobPtr &job) {
        for (const ModelVariantPtr &variant : job->variants()) {
            if (variant->status().kind() != RunStatus::Kind::waiting)
                continue;
            const auto found = refusing.constFind(variant->modelSlug());
            if (found == refusing.constEnd())
                continue;
            const auto &refusal = job->input().isPrompt() ? found->prompt : found->file;
            if (refusal)
                variant->setStatus(RunStatus::failed(refusal->message()));
        }
    };
    // Jobs already listed were marked when they came, or by a later change of the schemas.
    if (!m_appendedFrom.isEmpty()) {
        for (const ImageJobPtr &job : appendedJobs())
            mark(job);
        return;
    }
    for (const QList<ImageJobPtr> &modeJobs : std::as_const(m_jobsByMode)) {
        for (const ImageJobPtr &job : modeJobs)
            mark(job);
    }
}
