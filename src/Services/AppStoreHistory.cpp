// History: every job with a result file on disk, written after each finished pair and each
// removal, and rebuilt once while the store is built.
#include "Models/HistorySnapshot.h"
#include "Services/AppStore.h"
#include "Services/Coroutine.h"
#include "Services/ImageFile.h"

#include <QCoroFuture>
#include <QPointer>
#include <QSettings>

#include <exception>

namespace
{

constexpr int previewPixels = 128;

// One preview after another, so that a long history does not crowd the thread pool at start-up;
// each is made off the GUI thread and set when the coroutine resumes here.
QCoro::Task<void> restorePreviews(QPointer<AppStore> store, QList<ImageJobPtr> jobs)
{
    for (const ImageJobPtr &job : std::as_const(jobs)) {
        QUrl source = job->input().isFile() ? job->input().url() : QUrl();
        if (source.isEmpty()) {
            const QList<ModelVariantPtr> done = job->doneVariants();
            if (!done.isEmpty())
                source = done.constFirst()->resultURL();
        }
        if (source.isEmpty())
            continue;
        auto previewing = ImageFile::resultThumbnail(source, previewPixels);
        const std::optional<QImage> preview = co_await previewing;
        if (!store)
            co_return;
        if (preview)
            job->setThumbnail(*preview);
    }
}

} // namespace

const QString AppStore::historyKey = QStringLiteral("MoonforgeHistory.v1");

void AppStore::saveHistorySoon()
{
    // Each save encodes every job and rewrites the settings file; during a run of hundreds of
    // pairs that would be many a second.
    if (!m_historySave.isActive())
        m_historySave.start();
}

void AppStore::saveHistory()
{
    m_historySave.stop();
    if (m_isLoadingPreferences)
        return;
    QList<JobSnapshot> snapshots;
    for (auto it = m_jobsByMode.constBegin(); it != m_jobsByMode.constEnd(); ++it) {
        QList<JobSnapshot> mode;
        for (const ImageJobPtr &job : it.value()) {
            // Only results still on disk are kept.
            job->refreshResultFiles();
            if (std::optional<JobSnapshot> snapshot = JobSnapshot::of(it.key(), *job))
                mode.append(std::move(*snapshot));
        }
        // New jobs are appended, so the last ones are the most recent.
        if (mode.size() > historyCapPerMode)
            mode = mode.mid(mode.size() - historyCapPerMode);
        snapshots += mode;
    }
    const std::optional<QByteArray> bytes = JobSnapshot::encode(snapshots);
    if (!bytes)
        return;
    writeStored(historyKey, *bytes, m_unreadableHistory);
}

void AppStore::loadHistory()
{
    if (!m_settings->contains(historyKey))
        return;
    const QByteArray bytes = m_settings->value(historyKey).toByteArray();
    QList<JobSnapshot> snapshots;
    try {
        snapshots = JobSnapshot::decode(bytes);
    } catch (const std::exception &) {
        m_unreadableHistory = bytes;
        return;
    }

    bool restored = false;
    for (const JobSnapshot &snapshot : std::as_const(snapshots)) {
        if (std::optional<ImageJobPtr> job = snapshot.restore()) {
            m_jobsByMode[snapshot.mode].append(*job);
            restored = true;
        }
    }
    if (!restored)
        return;
    Q_EMIT jobsChanged();

    QList<ImageJobPtr> all;
    for (const QList<ImageJobPtr> &list : std::as_const(m_jobsByMode))
        all += list;
    restorePreviews(QPointer<AppStore>(this), all);
}
