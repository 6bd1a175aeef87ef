#include "Services/JobTracker.h"

#include <utility>

JobTracker::Hold::Hold(JobTracker &tracker, ImageJobPtr job)
    : m_tracker(&tracker), m_job(std::move(job))
{
    if (m_job)
        tracker.hold(m_job);
}

JobTracker::Hold::~Hold()
{
    release();
}

JobTracker::Hold::Hold(Hold &&other) noexcept
    : m_tracker(std::move(other.m_tracker)), m_job(std::move(other.m_job))
{
    other.m_tracker.clear();
    other.m_job.reset();
}

JobTracker::Hold &JobTracker::Hold::operator=(Hold &&other) noexcept
{
    if (this != &other) {
        release();
        m_tracker = std::move(other.m_tracker);
        m_job = std::move(other.m_job);
        other.m_tracker.clear();
        other.m_job.reset();
    }
    return *this;
}

void JobTracker::Hold::release()
{
    // The tracker may have gone first, with the store that owned it.
    if (m_tracker && m_job)
        m_tracker->release(m_job.get());
    m_tracker.clear();
    m_job.reset();
}

JobTracker::JobTracker(QObject *parent) : QObject(parent) {}

JobTracker::~JobTracker() = default;

// A drop adds its jobs a slice at a time: only the slice's jobs are new, so the links already
// made are left alone and each job is linked once.
void JobTracker::track(const QList<ImageJobPtr> &jobs)
{
    const quint64 listing = ++m_listing;
    std::size_t listed = 0;
    for (const ImageJobPtr &job : jobs) {
        Entry &entry = follow(job);
        if (entry.listedIn != listing) {
            entry.listedIn = listing;
            ++listed;
        }
    }
    if (listed == m_entries.size())
        return;
    QList<const ImageJob *> gone;
    for (const auto &[job, entry] : m_entries) {
        if (entry->listedIn != listing && entry->holds == 0)
            gone.append(job);
    }
    for (const ImageJob *job : std::as_const(gone))
        forget(job);
}

void JobTracker::add(const QList<ImageJobPtr> &jobs)
{
    for (const ImageJobPtr &job : jobs)
        follow(job).listedIn = m_listing;
}

void JobTracker::expect(qsizetype jobs)
{
    m_entries.reserve(m_entries.size() + std::size_t(jobs));
}

bool JobTracker::isFollowing(const ImageJob *job) const
{
    return m_entries.find(job) != m_entries.end();
}

JobTracker::Entry &JobTracker::follow(const ImageJobPtr &job)
{
    auto found = m_entries.find(job.get());
    if (found != m_entries.end())
        return *found->second;
    auto made = std::make_unique<Entry>();
    Entry *entry = made.get();
    entry->job = job;
    m_entries.emplace(job.get(), std::move(made));
    const ImageJob *raw = job.get();
    connect(raw, &ImageJob::thumbnailChanged, this,
            [this, entry] { note(*entry, Change::preview); });
    connect(raw, &ImageJob::pixelSizeChanged, this,
            [this, entry] { note(*entry, Change::preview); });
    connect(raw, &ImageJob::variantsChanged, this, [this, entry] {
        followVariants(*entry);
        note(*entry, Change::variants);
    });
    followVariants(*entry);
    return *entry;
}

// Only what some view shows is followed; the elapsed time and the rest are read when asked for.
void JobTracker::followVariants(Entry &entry)
{
    for (const ModelVariantPtr &variant : std::as_const(entry.variants))
        disconnect(variant.get(), nullptr, this, nullptr);
    entry.variants = entry.job->variants();
    Entry *at = &entry;
    for (const ModelVariantPtr &variant : std::as_const(entry.variants)) {
        const ModelVariant *v = variant.get();
        connect(v, &ModelVariant::statusChanged, this, [this, at] { note(*at, Change::status); });
        connect(v, &ModelVariant::resultChanged, this, [this, at] { note(*at, Change::result); });
        connect(v, &ModelVariant::costChanged, this, [this, at] { note(*at, Change::details); });
        connect(v, &ModelVariant::modelTitleChanged, this,
                [this, at] { note(*at, Change::details); });
        connect(v, &ModelVariant::predictionIdChanged, this,
                [this, at] { note(*at, Change::service); });
        connect(v, &ModelVariant::predictionCancelURLChanged, this,
                [this, at] { note(*at, Change::service); });
    }
}

void JobTracker::forget(const ImageJob *job)
{
    const auto found = m_entries.find(job);
    if (found == m_entries.end())
        return;
    Entry &entry = *found->second;
    disconnect(job, nullptr, this, nullptr);
    for (const ModelVariantPtr &variant : std::as_const(entry.variants))
        disconnect(variant.get(), nullptr, this, nullptr);
    // A job let go is not reported, so no view hears of a job it has already dropped.
    if (entry.pending)
        m_changed.removeIf([job](const ImageJobPtr &changed) { return changed.get() == job; });
    m_entries.erase(found);
}

void JobTracker::note(Entry &entry, Changes changes)
{
    if (!entry.pending) {
        entry.pending = true;
        m_changed.append(entry.job);
    }
    m_changes |= changes;
    // A posted call, not a timer: it comes with the events the change came with, so a view
    // repaints no later than it did when it heard of each change itself.
    if (!m_publishing) {
        m_publishing = true;
        QMetaObject::invokeMethod(this, &JobTracker::publish, Qt::QueuedConnection);
    }
    Q_EMIT jobChanged(entry.job.get(), changes);
}

void JobTracker::publish()
{
    m_publishing = false;
    const QList<ImageJobPtr> changed = std::exchange(m_changed, {});
    const Changes changes = std::exchange(m_changes, {});
    for (const ImageJobPtr &job : changed) {
        if (const auto found = m_entries.find(job.get()); found != m_entries.end())
            found->second->pending = false;
    }
    if (!changed.isEmpty())
        Q_EMIT jobsUpdated(changed, changes);
}

void JobTracker::hold(const ImageJobPtr &job)
{
    ++follow(job).holds;
}

void JobTracker::release(const ImageJob *job)
{
    const auto found = m_entries.find(job);
    if (found == m_entries.end())
        return;
    Entry &entry = *found->second;
    if (--entry.holds == 0 && entry.listedIn != m_listing)
        forget(job);
}
