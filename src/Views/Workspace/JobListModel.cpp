#include "Views/Workspace/JobListModel.h"

#include "Services/AppStore.h"

using namespace Qt::StringLiterals;

namespace
{
constexpr qsizetype nameLimit = 60;
// Rows followed at once when they arrive, and per later slice.
constexpr qsizetype watchSlice = 500;
} // namespace

JobListModel::JobListModel(AppStore &store, QObject *parent)
    : QAbstractListModel(parent), m_store(store)
{
    connect(&store, &AppStore::jobsChanged, this, &JobListModel::sync);
    connect(&store, &AppStore::modeChanged, this, &JobListModel::sync);
    m_watchTimer.setInterval(0);
    connect(&m_watchTimer, &QTimer::timeout, this, &JobListModel::watchPending);
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
        const bool later = next.size() - oldCount > watchSlice;
        for (qsizetype i = oldCount; i < next.size(); ++i) {
            m_jobs.append(next.at(i));
            m_rows.insert(next.at(i).get(), int(i));
            if (later)
                m_pendingWatch.append(next.at(i));
            else
                watch(next.at(i));
        }
        endInsertRows();
        if (later)
            m_watchTimer.start();
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
                unwatch(m_jobs.at(r));
                m_jobs.removeAt(r);
            }
            endRemoveRows();
        }
        reindex(removed.first().first);
        return;
    }
    beginResetModel();
    for (const ImageJobPtr &job : std::as_const(m_jobs))
        unwatch(job);
    m_pendingWatch.clear();
    m_watchTimer.stop();
    m_jobs = next;
    m_rows.clear();
    for (qsizetype i = 0; i < m_jobs.size(); ++i) {
        m_rows.insert(m_jobs.at(i).get(), int(i));
        watch(m_jobs.at(i));
    }
    endResetModel();
}

void JobListModel::reindex(int from)
{
    for (qsizetype i = from; i < m_jobs.size(); ++i)
        m_rows.insert(m_jobs.at(i).get(), int(i));
}

void JobListModel::watch(const ImageJobPtr &job)
{
    const ImageJob *raw = job.get();
    auto changed = [this, raw] { rowChanged(raw); };
    connect(raw, &ImageJob::thumbnailChanged, this, changed);
    connect(raw, &ImageJob::pixelSizeChanged, this, changed);
    connect(raw, &ImageJob::variantsChanged, this, [this, raw] {
        watchVariants(raw, false);
        rowChanged(raw);
    });
    watchVariants(raw, true);
}

void JobListModel::watchPending()
{
    const qsizetype count = std::min(watchSlice, m_pendingWatch.size());
    int first = -1;
    int last = -1;
    for (qsizetype i = 0; i < count; ++i) {
        const ImageJobPtr job = m_pendingWatch.at(i).lock();
        const int r = job ? row(job.get()) : -1;
        if (r < 0)
            continue;
        watch(job);
        first = first < 0 ? r : std::min(first, r);
        last = std::max(last, r);
    }
    m_pendingWatch.remove(0, count);
    if (m_pendingWatch.isEmpty())
        m_watchTimer.stop();
    // Whatever changed before the rows were followed is read again.
    if (first >= 0)
        Q_EMIT dataChanged(index(first), index(last));
}

// Only what a row shows is followed: the elapsed time and the rest are read when a tooltip asks.
void JobListModel::watchVariants(const ImageJob *job, bool fresh)
{
    auto changed = [this, job] { rowChanged(job); };
    for (const ModelVariantPtr &variant : job->variants()) {
        const ModelVariant *v = variant.get();
        // Variants kept across a selection change are already followed.
        if (!fresh)
            disconnect(v, nullptr, this, nullptr);
        connect(v, &ModelVariant::statusChanged, this, changed);
        connect(v, &ModelVariant::resultChanged, this, changed);
        connect(v, &ModelVariant::costChanged, this, changed);
        connect(v, &ModelVariant::modelTitleChanged, this, changed);
    }
}

void JobListModel::unwatch(const ImageJobPtr &job)
{
    disconnect(job.get(), nullptr, this, nullptr);
    for (const ModelVariantPtr &variant : job->variants())
        disconnect(variant.get(), nullptr, this, nullptr);
    m_rows.remove(job.get());
}

void JobListModel::rowChanged(const ImageJob *job)
{
    const int r = row(job);
    if (r < 0)
        return;
    const QModelIndex at = index(r);
    Q_EMIT dataChanged(at, at);
}
