// Entry points that later parts of the store fill in. Each is called from the places the rest of
// the store needs it, so callers stay correct as the bodies arrive.
#include "Services/AppStore.h"

// Price loading arrives with pricing.
void AppStore::loadPrice(const QString &) {}

// Preferences and history persistence arrive with their stored formats.
void AppStore::savePreferences() {}
void AppStore::saveHistory() {}
void AppStore::loadPreferences() {}
void AppStore::loadHistory() {}

void AppStore::cancelRun()
{
    if (m_runTask)
        m_runTask->cancel();
}
