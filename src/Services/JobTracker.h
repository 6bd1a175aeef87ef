#pragma once

#include "Models/ImageJob.h"

#include <QFlags>
#include <QList>
#include <QObject>
#include <QPointer>

#include <memory>
#include <unordered_map>

// The one follower of every job the store lists, in every mode, and of their variants: a view
// connects here once instead of to each job. A change is told at once to the views of a single
// job, and gathered into one notice per turn of the event loop for the views of the whole list,
// each changed job named once.
class JobTracker final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(JobTracker)
public:
    enum class Change {
        preview = 0x1,  // the job's thumbnail or pixel size
        variants = 0x2, // which variants the job has
        status = 0x4,   // a variant's run status
        result = 0x8,   // a variant's result file or its size
        details = 0x10, // a variant's model title or cost
        service = 0x20, // a variant's prediction id or cancel address
    };
    Q_DECLARE_FLAGS(Changes, Change)

    // Keeps one job followed while it lives, also once the store no longer lists it: a sheet
    // open on a job goes on showing what happens to it.
    class Hold final
    {
    public:
        Hold() = default;
        Hold(JobTracker &tracker, ImageJobPtr job);
        ~Hold();
        Hold(Hold &&other) noexcept;
        Hold &operator=(Hold &&other) noexcept;
        Q_DISABLE_COPY(Hold)

    private:
        void release();

        QPointer<JobTracker> m_tracker;
        ImageJobPtr m_job;
    };

    explicit JobTracker(QObject *parent = nullptr);
    ~JobTracker() override;

    // The store's jobs now: the new ones are followed, the ones no longer listed let go.
    void track(const QList<ImageJobPtr> &jobs);
    // Jobs just appended to the store's lists, followed without looking at the others: a drop
    // of an archive adds its jobs a slice at a time, and each slice must cost what it holds.
    void add(const QList<ImageJobPtr> &jobs);
    // Makes room for this many more jobs at once: growing the table rehashes every entry.
    void expect(qsizetype jobs);
    bool isFollowing(const ImageJob *job) const;

Q_SIGNALS:
    // Right away, for each change of a followed job.
    void jobChanged(const ImageJob *job, JobTracker::Changes changes);
    // Once per turn of the event loop: the jobs that changed (each once, none let go since) and
    // every kind of change among them.
    void jobsUpdated(const QList<ImageJobPtr> &changed, JobTracker::Changes changes);

private:
    struct Entry {
        ImageJobPtr job;
        // The variants followed; kept so their links can be undone after the job lets them go.
        QList<ModelVariantPtr> variants;
        quint64 listedIn = 0; // the track() call that last listed the job
        int holds = 0;
        bool pending = false; // in m_changed
    };

    Entry &follow(const ImageJobPtr &job);
    void followVariants(Entry &entry);
    void forget(const ImageJob *job);
    void note(Entry &entry, Changes changes);
    void publish();
    void hold(const ImageJobPtr &job);
    void release(const ImageJob *job);

    // Entries live on the heap, so a link may point at one while the map grows.
    std::unordered_map<const ImageJob *, std::unique_ptr<Entry>> m_entries;
    quint64 m_listing = 1; // an entry listed in 0 was never listed
    QList<ImageJobPtr> m_changed;
    Changes m_changes;
    bool m_publishing = false;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(JobTracker::Changes)
