#pragma once

#include "Models/ImageJob.h"

#include <QAbstractListModel>
#include <QHash>
#include <QList>
#include <QTimer>

class AppStore;

// The current mode's jobs as a list model: one row per job, in the store's order. It follows the
// store's list and every job's and variant's changes, so views repaint only the rows that moved.
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

    // A file job's file name; a prompt job's prompt on one line, cut at 60 characters with "…".
    static QString name(const ImageJob &job);

private:
    void sync();
    void watch(const ImageJobPtr &job);
    // `fresh`: the variants were never followed, so there is nothing to disconnect first.
    void watchVariants(const ImageJob *job, bool fresh);
    void watchPending();
    void unwatch(const ImageJobPtr &job);
    void rowChanged(const ImageJob *job);
    void reindex(int from);

    AppStore &m_store;
    QList<ImageJobPtr> m_jobs;
    QHash<const ImageJob *, int> m_rows;
    // Rows of a large drop not followed yet: they are followed a slice at a time, so the drop
    // itself does not hold the GUI thread for tens of thousands of connections.
    QList<std::weak_ptr<ImageJob>> m_pendingWatch;
    QTimer m_watchTimer;
};
