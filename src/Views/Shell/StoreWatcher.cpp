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
    m_spendMoved.setSingleShot(true);
    m_spendMoved.setInterval(0);
    connect(&m_spendMoved, &QTimer::timeout, this, now);
    connect(&store, &AppStore::runSpendChanged, this, [this] {
        if (!m_spendMoved.isActive())
            m_spendMoved.start();
    });
    // The chrome counts pairs by their status; previews and costs do not show there.
    connect(&store.jobTracker(), &JobTracker::jobsUpdated, this,
            [this](const QList<ImageJobPtr> &, JobTracker::Changes changes) {
                if (changes.testAnyFlags(JobTracker::Change::status | JobTracker::Change::variants))
                    Q_EMIT changed();
            });
}
