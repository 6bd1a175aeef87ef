#include "Views/Workspace/JobListModel.h"

#include "Services/AppStore.h"
#include "Services/JobTracker.h"

using namespace Qt::StringLiterals;

namespace
{
constexpr qsizetype nameLimit = 60;
} // namespace

JobListModel::JobListModel(AppStore &store, QObject *parent)
    : QAbstractListModel(parent), m_store(store)
{
    connect(&store, &AppStore::jobsChanged, this, &JobListModel::sync);
    connect(&store, &AppStore::modeChanged, this, &JobListModel::sync);
    connect(&store.jobTracker(), &JobTracker::jobsUpdated, this, &JobListModel::jobsUpdated);
    // A preview is painted as soon as it is made: a row repainted a turn later than its preview
    // arrived was left stale on screen by a scroll in between.
    connect(&store.jobTracker(), &JobTracker::jobChanged, this,
            [this](const ImageJob *job, JobTracker::Changes changes) {
                const int r = changes == JobTracker::Change::preview ? row(job) : -1;
                if (r >= 0)
                    Q_EMIT dataChanged(index(r), index(r));
            });
    sync();
}

int JobListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_jobs.size());
}

QVariant JobListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_jobs.size())
        return {};
    const ImageJobPtr &job = m_jobs.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return name(*job);
    case JobRole:
        return QVariant::fromValue(static_cast<void *>(job.get()));
    default:
        return {};
    }
}

ImageJobPtr JobListModel::job(int row) const
{
    return row >= 0 && row < m_jobs.size() ? m_jobs.at(row) : nullptr;
}

int JobListModel::row(const ImageJob *job) const
{
    return m_rows.value(job, -1);
}

JobTracker &JobListModel::jobTracker() const
{
    return m_store.jobTracker();
}

QString JobListModel::name(const ImageJob &job)
{
    const JobInput &input = job.input();
    if (input.isFile())
        return input.url().fileName();
    QString text = input.text();
    text.replace(u"\r\n"_s, u" "_s);
    text.replace(u'\n', u' ');
    text.replace(u'\r', u' ');
    if (text.size() > nameLimit)
        return text.left(nameLimit) + u'…';
    return text;
}

// The store hands out a fresh list on every change; the common changes (jobs appended, some
// removed) become row insertions and removals so a long list keeps its scroll position and
// nothing is measured again that did not change.
void JobListModel::sync()
{
    const QList<ImageJobPtr> next = m_store.jobs();
    const qsizetype oldCount = m_jobs.size();
    const bool appended =
        next.size() >= oldCount && std::equal(m_jobs.cbegin(), m_jobs.cend(), next.cbegin());
    if (appended) {
        if (next.size() == oldCount)
            return;
        beginInsertRows({}, int(oldCount), int(next.size() - 1));
        for (qsizetype i = oldCount; i < next.size(); ++i) {
            m_jobs.append(next.at(i));
            m_rows.insert(next.at(i).get(), int(i));
        }
        endInsertRows();
        return;
    }
    // Removals only: `next` is `m_jobs` with some entries left out, in the same order.
    QList<std::pair<int, int>> removed; // ranges of old rows, first and last
    qsizetype j = 0;
    for (qsizetype i = 0; i < oldCount; ++i) {
        if (j < next.size() && m_jobs.at(i) == next.at(j)) {
            ++j;
            continue;
        }
        if (!removed.isEmpty() && removed.last().second == i - 1)
            removed.last().second = int(i);
        else
            removed.append({int(i), int(i)});
    }
    if (j == next.size() && !removed.isEmpty()) {
        // From the end, so earlier row numbers stay valid.
        for (auto it = removed.crbegin(); it != removed.crend(); ++it) {
            beginRemoveRows({}, it->first, it->second);
            for (int r = it->second; r >= it->first; --r) {
                m_rows.remove(m_jobs.at(r).get());
                m_jobs.removeAt(r);
            }
            endRemoveRows();
        }
        reindex(removed.first().first);
        return;
    }
    beginResetModel();
    m_jobs = next;
    m_rows.clear();
    for (qsizetype i = 0; i < m_jobs.size(); ++i)
        m_rows.insert(m_jobs.at(i).get(), int(i));
    endResetModel();
}

void JobListModel::reindex(int from)
{
    for (qsizetype i = from; i < m_jobs.size(); ++i)
        m_rows.insert(m_jobs.at(i).get(), int(i));
}

// Jobs of other modes are not rows here. When most rows changed at once (a selection change
// re-makes every job's variants) one notice for the whole list costs the views less than one per
// row. Previews were told already, as they came.
void JobListModel::jobsUpdated(const QList<ImageJobPtr> &changed, JobTracker::Changes changes)
{
    if (changes == JobTracker::Change::preview)
        return;
    QList<int> rows;
    rows.reserve(changed.size());
    for (const ImageJobPtr &job : changed) {
        if (const int r = row(job.get()); r >= 0)
            rows.append(r);
    }
    if (rows.isEmpty())
        return;
    if (rows.size() * 2 > m_jobs.size()) {
        Q_EMIT dataChanged(index(0), index(int(m_jobs.size()) - 1));
        return;
    }
    for (const int r : std::as_const(rows)) {
        const QModelIndex at = index(r);
        Q_EMIT dataChanged(at, at);
    }
}
