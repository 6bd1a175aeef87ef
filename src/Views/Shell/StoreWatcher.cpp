#include "Views/Shell/StoreWatcher.h"

#include "Services/AppStore.h"
#include "Services/JobTracker.h"

StoreWatcher::StoreWatcher(AppStore &store, QObject *parent) : QObject(parent)
{
    const auto now = [this] { Q_EMIT changed(); };
    connect(&store, &AppStore::modeChanged, this, now);
    connect(&store, &AppStore::jobsChanged, this, now);
    connect(&store, &AppStore::stateChanged, this, now);
    connect(&store, &AppStore::catalogsChanged, this, now);
    connect(&store, &AppStore::runningChanged, this, now);
    connect(&store, &AppStore::tokenChanged, this, now);
    // The chrome counts pairs by their status; previews and costs do not show there.
    connect(&store.jobTracker(), &JobTracker::jobsUpdated, this,
            [this](const QList<ImageJobPtr> &, JobTracker::Changes changes) {
                if (changes.testAnyFlags(JobTracker::Change::status | JobTracker::Change::variants))
                    Q_EMIT changed();
            });
}
