// Entry points that later parts of the store fill in. Each is called from the places the rest of
// the store needs it, so callers stay correct as the bodies arrive.
#include "Services/AppStore.h"

// Schema loading arrives with the schema cache; until then nothing is fetched.
void AppStore::loadSelectedSchemas() {}
void AppStore::startSchemaLoad(const QString &) {}

// Collection loading arrives with the service client.
void AppStore::loadCatalog(Mode) {}

// Preferences and history persistence arrive with their stored formats.
void AppStore::savePreferences() {}
void AppStore::saveHistory() {}
void AppStore::loadPreferences() {}
void AppStore::loadHistory() {}
