#pragma once

#include "Services/AppStore.h"

// Puts a store into states that its loaders would otherwise have to reach over the network, and
// reads the handles of its background work.
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
};
