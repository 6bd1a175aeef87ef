#pragma once

#include "Models/ImageJob.h"
#include "Models/Mode.h"
#include "Services/JobTracker.h"

#include <QHash>
#include <QMap>
#include <QObject>

class JobJournal;

// Writes every job of the store's lists, with its pairs, into the journal as it changes: new
// and removed jobs when the lists change, a job's pairs when the tracker reports a change of
// them, and at once when a pair learns its prediction's id.
class JournalFeed final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(JournalFeed)
public:
    JournalFeed(JobJournal &journal, JobTracker &tracker, QObject *parent = nullptr);

    // The store's lists now: jobs new to them are written, jobs gone from them removed.
    void listsChanged(const QMap<Mode, QList<ImageJobPtr>> &lists);
    // The same, when the lists only grew at their ends, each from its index in `from`: only the
    // new jobs are looked at.
    void jobsAppended(const QMap<Mode, QList<ImageJobPtr>> &lists,
                      const QMap<Mode, qsizetype> &from);
    // A job read back from the journal, already written there at `position`.
    void adopt(const ImageJobPtr &job, Mode mode, qint64 position);

private:
    struct Place {
        Mode mode;
        qint64 position;
    };
    void writeJob(const ImageJob &job, const Place &place);
    void writePairs(const ImageJob &job);
    void jobsUpdated(const QList<ImageJobPtr> &changed, JobTracker::Changes changes);
    void jobChanged(const ImageJob *job, JobTracker::Changes changes);

    JobJournal &m_journal;
    QHash<QUuid, Place> m_places;
};
