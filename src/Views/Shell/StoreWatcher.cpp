#include "Views/Shell/StoreWatcher.h"

#include "Services/AppStore.h"

StoreWatcher::StoreWatcher(AppStore &store, QObject *parent) : QObject(parent), m_store(store)
{
    m_gather.setSingleShot(true);
    m_gather.setInterval(0);
    connect(&m_gather, &QTimer::timeout, this, &StoreWatcher::changed);

    const auto now = [this] { Q_EMIT changed(); };
    const auto rewire = [this] {
        watchJobs();
        Q_EMIT changed();
    };
    connect(&m_store, &AppStore::modeChanged, this, rewire);
    connect(&m_store, &AppStore::jobsChanged, this, rewire);
    connect(&m_store, &AppStore::stateChanged, this, now);
    connect(&m_store, &AppStore::catalogsChanged, this, now);
    connect(&m_store, &AppStore::runningChanged, this, now);
    connect(&m_store, &AppStore::tokenChanged, this, now);
    watchJobs();
}

void StoreWatcher::watchJobs()
{
    delete m_jobConnections;
    m_jobConnections = new QObject(this);
    QTimer *gather = &m_gather;
    const auto later = [gather] {
        if (!gather->isActive())
            gather->start();
    };
    for (const ImageJobPtr &job : m_store.jobs()) {
        // The job is the sender of the link that uses it, so it outlives the link.
        const ImageJob *raw = job.get();
        const auto watchVariants = [raw, later, context = m_jobConnections] {
            for (const ModelVariantPtr &variant : raw->variants())
                QObject::connect(variant.get(), &ModelVariant::statusChanged, context, later);
        };
        connect(job.get(), &ImageJob::variantsChanged, m_jobConnections, [later, watchVariants] {
            // New variants need watching too; the old ones' links are harmless.
            watchVariants();
            later();
        });
        watchVariants();
    }
}
