#pragma once

#include "Models/ImageJob.h"
#include "Services/JobTracker.h"

#include <QAbstractListModel>
#include <QHash>
#include <QList>

class AppStore;

// The current mode's jobs as a list model: one row per job, in the store's order. It follows the
// store's list and, through the store's job tracker, every job's and variant's changes, so views
// repaint only the rows that moved.
class JobListModel final : public QAbstractListModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(JobListModel)
public:
    enum Role { JobRole = Qt::UserRole + 1 };

    explicit JobListModel(AppStore &store, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    // DisplayRole and AccessibleTextRole: the job's name; JobRole: the ImageJob pointer.
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    ImageJobPtr job(int row) const;
    ImageJobPtr job(const QModelIndex &index) const { return job(index.row()); }
    // The row of `job`, or -1.
    int row(const ImageJob *job) const;

    // The store's follower of every job, for what must hear of a change at once.
    JobTracker &jobTracker() const;

    // A file job's file name; a prompt job's prompt on one line, cut at 60 characters with "…".
    static QString name(const ImageJob &job);

private:
    void sync();
    void jobsUpdated(const QList<ImageJobPtr> &changed, JobTracker::Changes changes);
    void reindex(int from);

    AppStore &m_store;
    QList<ImageJobPtr> m_jobs;
    QHash<const ImageJob *, int> m_rows;
};
