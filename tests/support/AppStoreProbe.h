#pragma once

#include "Services/AppStore.h"
#include "Services/OutputPlan.h"
#include "Services/VariantPipeline.h"

// Puts a store into states that its loaders would otherwise have to reach over the network, reads
// the handles of its background work, and drives one pair the way a run would.
class AppStoreProbe
{
public:
    static void setSchemaState(AppStore &store, const QString &slug, const SchemaState &state)
    {
        store.m_directory->m_schemaStates.insert(slug, state);
        Q_EMIT store.m_directory->schemaStatesChanged();
    }
    // The handle every price load of the store runs under.
    static TaskHandle priceLoads(const AppStore &store) { return store.m_directory->loads(); }
    // The manager the store's listing and schema requests go through.
    static QNetworkAccessManager *network(AppStore &store) { return store.m_directory->network(); }
    // The token every request of a run would use, as the run reads it.
    static QCoro::Task<std::optional<QString>> readToken(AppStore &store)
    {
        return store.m_vault->read();
    }
    // One pair through the service to its result files, as the run starts it.
    static QCoro::Task<void> process(AppStore &store, ImageJobPtr job, ModelVariantPtr variant,
                                     ReplicateClient client, ModelPlan plan, bool tagWithModel,
                                     OutputPlan output)
    {
        return store.process(std::move(job), std::move(variant), std::move(client), std::move(plan),
                             tagWithModel, std::move(output));
    }
};
