#include "Services/JournalFeed.h"

#include "Services/JobJournal.h"
#include "Services/JournalRows.h"

#include <QSet>

JournalFeed::JournalFeed(JobJournal &journal, JobTracker &tracker, QObject *parent)
    : QObject(parent), m_journal(journal)
{
    connect(&tracker, &JobTracker::jobsUpdated, this, &JournalFeed::jobsUpdated);
    connect(&tracker, &JobTracker::jobChanged, this, &JournalFeed::jobChanged);
}

void JournalFeed::adopt(const ImageJobPtr &job, Mode mode, qint64 position)
{
    m_places.insert(job->id(), {mode, position});
}

void JournalFeed::writeJob(const ImageJob &job, const Place &place)
{
    m_journal.putJob(JournalRows::job(job, place.mode, place.position));
}

void JournalFeed::writePairs(const ImageJob &job)
{
    m_journal.putPairs(job.id(), JournalRows::pairs(job));
}

// Lists grow at their end and shrink anywhere, so a job keeps the position it was written with
// and only new jobs are numbered; a list put in another order is numbered afresh.
void JournalFeed::listsChanged(const QMap<Mode, QList<ImageJobPtr>> &lists)
{
    qsizetype listed = 0;
    for (auto it = lists.constBegin(); it != lists.constEnd(); ++it) {
        const Mode mode = it.key();
        const QList<ImageJobPtr> &jobs = it.value();
        qint64 last = -1;
        bool inOrder = true;
        bool newSeen = false;
        for (const ImageJobPtr &job : jobs) {
            const auto place = m_places.constFind(job->id());
            if (place == m_places.constEnd() || place->mode != mode) {
                newSeen = true;
                continue;
            }
            // A known job after a new one, or out of order: numbers no longer follow the list.
            if (newSeen || place->position <= last)
                inOrder = false;
            last = place->position;
        }
        qint64 next = inOrder ? last + 1 : 0;
        listed += jobs.size();
        for (const ImageJobPtr &job : jobs) {
            auto place = m_places.find(job->id());
            const bool known = place != m_places.end() && place->mode == mode;
            if (known && inOrder)
                continue;
            const Place now{mode, next++};
            if (known && place->position == now.position)
                continue;
            m_places.insert(job->id(), now);
            writeJob(*job, now);
            if (!known)
                writePairs(*job);
        }
    }
    // Every listed job has a place now; more places than jobs means some left the lists.
    if (m_places.size() == listed)
        return;
    QSet<QUuid> present;
    present.reserve(listed);
    for (const QList<ImageJobPtr> &jobs : lists) {
        for (const ImageJobPtr &job : jobs)
            present.insert(job->id());
    }
    QList<QUuid> gone;
    for (auto it = m_places.constBegin(); it != m_places.constEnd(); ++it) {
        if (!present.contains(it.key()))
            gone.append(it.key());
    }
    for (const QUuid &id : std::as_const(gone)) {
        m_places.remove(id);
        m_journal.removeJob(id);
    }
}

// The jobs before the new ones kept their places, numbered in order, since the last change was
// written; new jobs follow the last of them, jobs read back from the journal have theirs. A known
// job out of that order is left to the whole pass, which numbers the list afresh.
void JournalFeed::jobsAppended(const QMap<Mode, QList<ImageJobPtr>> &lists,
                               const QMap<Mode, qsizetype> &from)
{
    for (auto it = from.constBegin(); it != from.constEnd(); ++it) {
        const Mode mode = it.key();
        const QList<ImageJobPtr> &jobs = *lists.constFind(mode);
        const qsizetype first = it.value();
        qint64 last = -1;
        if (first > 0) {
            const auto before = m_places.constFind(jobs.at(first - 1)->id());
            if (before == m_places.constEnd() || before->mode != mode)
                return listsChanged(lists);
            last = before->position;
        }
        bool newSeen = false;
        for (qsizetype i = first; i < jobs.size(); ++i) {
            const auto place = m_places.constFind(jobs.at(i)->id());
            if (place == m_places.constEnd()) {
                newSeen = true;
                continue;
            }
            if (place->mode != mode || newSeen || place->position <= last)
                return listsChanged(lists);
            last = place->position;
        }
        qint64 next = last + 1;
        for (qsizetype i = first; i < jobs.size(); ++i) {
            const ImageJob &job = *jobs.at(i);
            if (m_places.contains(job.id()))
                continue;
            const Place now{mode, next++};
            m_places.insert(job.id(), now);
            writeJob(job, now);
            writePairs(job);
        }
    }
}

void JournalFeed::jobsUpdated(const QList<ImageJobPtr> &changed, JobTracker::Changes changes)
{
    const bool pairsChanged = changes & (JobTracker::Change::variants | JobTracker::Change::status |
                                         JobTracker::Change::result | JobTracker::Change::details |
                                         JobTracker::Change::service);
    for (const ImageJobPtr &job : changed) {
        const auto place = m_places.constFind(job->id());
        if (place == m_places.constEnd())
            continue;
        if (changes & JobTracker::Change::preview)
            writeJob(*job, *place);
        if (pairsChanged)
            writePairs(*job);
    }
}

void JournalFeed::jobChanged(const ImageJob *job, JobTracker::Changes changes)
{
    // The id of a prediction is what keeps it from being paid for twice: it goes to the disk
    // before the pair takes its next step.
    if (!(changes & JobTracker::Change::service) || !m_places.contains(job->id()))
        return;
    writePairs(*job);
    m_journal.flushNow();
}
