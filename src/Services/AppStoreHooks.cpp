// Entry points that later parts of the store fill in. Each is called from the places the rest of
// the store needs it, so callers stay correct as the bodies arrive.
#include "Services/AppStore.h"

void AppStore::cancelRun()
{
    if (m_runTask)
        m_runTask->cancel();
}
