// The journal: every job and pair written as it changes, read back at start a slice at a time,
// and the pairs that were at the service when the application ended taken up again by their
// prediction's id, so that nothing is paid for twice.
#include "Services/AppStore.h"

#include "Services/Coroutine.h"
#include "Services/HeldCreateLookup.h"
#include "Services/ImageFile.h"
#include "Services/JobJournal.h"
#include "Services/JournalFeed.h"
#include "Services/JournalHooks.h"
#include "Services/JournalRows.h"
#include "Services/SpendMeter.h"
#include "Services/TaskGroup.h"
#include "Services/VariantPipeline.h"

#include <QCoroFuture>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QPointer>
#include <QSettings>

namespace
{

constexpr int previewPixels = 128;
// Jobs are listed a slice per turn of the event loop while the journal is read back: at least
// this many, and more while the turn is young. Every slice makes the views and the tracker look
// at the whole list once, so few large slices beat many small ones.
constexpr qsizetype minimumSlice = 2000;
constexpr qint64 sliceBudgetNs = 12'000'000;

// One preview after another, so that a long list does not crowd the thread pool at start-up;
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

OutputPlan outputPlan(const JournalRun &run)
{
    OutputPlan plan;
    plan.destination = run.destinationFolder.isEmpty()
                           ? OutputDestination::besideOriginal()
                           : OutputDestination::folder(QUrl::fromLocalFile(run.destinationFolder));
    if (!run.fallbackFolder.isEmpty())
        plan.fallbackFolder = QUrl::fromLocalFile(run.fallbackFolder);
    if (!run.fallbackExtension.isEmpty())
        plan.fallbackExtension = run.fallbackExtension;
    plan.suffix = run.suffix;
    plan.scale = run.scale;
    return plan;
}

} // namespace

const QString AppStore::historyKey = QStringLiteral("MoonforgeHistory.v1");

// A pair that was at the service when the application ended.
struct AppStore::Restoring {
    struct InFlight {
        ImageJobPtr job;
        ModelVariantPtr variant;
        Mode mode = Mode::upscale;
        JournalPair pair;
    };
    JournalContents contents;
    qsizetype next = 0;
    QList<ImageJobPtr> restored;
    QList<InFlight> inFlight;
};

void AppStore::openJournal()
{
    if (m_environment.journalPath.isEmpty()) {
        // Told from the event loop, like a journal read back, so a caller can connect first.
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_restoring = false;
                Q_EMIT restoringChanged();
            },
            Qt::QueuedConnection);
        return;
    }
    m_journal = std::make_unique<JobJournal>(m_environment.journalPath);
    m_journalFeed = std::make_unique<JournalFeed>(*m_journal, *m_jobTracker);
    connect(this, &AppStore::jobsChanged, m_journalFeed.get(), [this] {
        if (m_appendedFrom.isEmpty())
            m_journalFeed->listsChanged(m_jobsByMode);
        else
            m_journalFeed->jobsAppended(m_jobsByMode, m_appendedFrom);
    });
    const QByteArray history = m_settings->value(historyKey).toByteArray();
    m_journal->open(history, [this](JournalContents contents) {
        if (!contents.problem.isEmpty()) {
            m_journalProblem = contents.problem;
            Q_EMIT journalProblemChanged();
        }
        auto restoring = std::make_shared<Restoring>();
        restoring->contents = std::move(contents);
        restoreSlice(restoring);
    });
}

void AppStore::restoreSlice(const std::shared_ptr<Restoring> &restoring)
{
    const QList<JournalJob> &rows = restoring->contents.jobs;
    QElapsedTimer turn;
    turn.start();
    qsizetype end = restoring->next;
    QMap<Mode, qsizetype> from; // where each list's restored jobs begin
    while (end < rows.size() &&
           (end - restoring->next < minimumSlice || turn.nsecsElapsed() < sliceBudgetNs)) {
        const JournalJob &row = rows.at(end++);
        // Taken, so what has been listed is let go as the list grows.
        const QList<JournalPair> pairs = restoring->contents.pairs.take(row.id);
        const ImageJobPtr job = JournalRows::restore(row, pairs);
        QList<ImageJobPtr> &list = m_jobsByMode[row.mode];
        if (!from.contains(row.mode))
            from.insert(row.mode, list.size());
        list.append(job);
        m_journalFeed->adopt(job, row.mode, row.position);
        restoring->restored.append(job);
        for (qsizetype k = 0; k < pairs.size(); ++k) {
            if (JournalRows::isInFlight(pairs.at(k)))
                restoring->inFlight.append({job, job->variants().at(k), row.mode, pairs.at(k)});
        }
    }
    restoring->next = end;
    if (!from.isEmpty())
        announceAppended(from);
    if (restoring->next < rows.size())
        QMetaObject::invokeMethod(
            this, [this, restoring] { restoreSlice(restoring); }, Qt::QueuedConnection);
    else
        finishRestoring(restoring);
}

void AppStore::finishRestoring(const std::shared_ptr<Restoring> &restoring)
{
    if (!restoring->restored.isEmpty())
        restorePreviews(QPointer<AppStore>(this), std::exchange(restoring->restored, {}));
    if (!restoring->inFlight.isEmpty()) {
        const TaskHandle handle;
        // A run the person started while the list was still arriving keeps its own handle; the
        // pairs taken up here are then stopped with every other active pair by cancelRun().
        if (!m_runTask) {
            m_runTask = handle;
            Q_EMIT runningChanged();
        }
        reattach(QPointer<AppStore>(this), handle, restoring);
    }
    m_restoring = false;
    Q_EMIT restoringChanged();
}

QCoro::Task<void> AppStore::reattach(QPointer<AppStore> store, TaskHandle handle,
                                     std::shared_ptr<Restoring> restoring)
{
    QList<Restoring::InFlight> pairs = std::exchange(restoring->inFlight, {});
    auto reading = store->m_vault->read();
    const std::optional<QString> token = co_await reading;
    if (!store)
        co_return;
    if (!token) {
        // Nothing can be asked of the service; the pairs wait for the next run, which will find
        // their predictions' ids gone with the reset.
        for (const Restoring::InFlight &pair : std::as_const(pairs))
            pair.variant->setStatus(RunStatus::waiting());
        store->endReattach(handle);
        co_return;
    }
    const ReplicateClient client = store->m_directory->client(*token);

    // Creates whose answers were lost: their predictions are found by model and input.
    QSet<QString> claimed;
    for (const Restoring::InFlight &pair : std::as_const(pairs)) {
        if (!pair.pair.predictionId.isEmpty())
            claimed.insert(pair.pair.predictionId);
    }
    for (Restoring::InFlight &pair : pairs) {
        if (!pair.pair.predictionId.isEmpty())
            continue;
        std::optional<QString> found;
        try {
            auto finding = HeldCreateLookup::find(
                client, pair.pair.slug,
                QJsonDocument::fromJson(pair.pair.createInput.toUtf8()).object(),
                pair.pair.createSentAt, claimed, handle);
            found = co_await finding;
        } catch (const std::exception &) {
            // Unreachable service or a Stop: the pair waits, as one never sent would.
        }
        if (!store)
            co_return;
        if (found) {
            claimed.insert(*found);
            pair.pair.predictionId = *found;
        } else {
            pair.variant->setStatus(RunStatus::waiting());
        }
    }

    TaskGroup group;
    for (const Restoring::InFlight &pair : std::as_const(pairs)) {
        if (pair.pair.predictionId.isEmpty())
            continue;
        const auto runFound = restoring->contents.runs.constFind(pair.pair.runId);
        const bool hasRun = runFound != restoring->contents.runs.constEnd();
        const ModeState modeState = store->state(pair.mode);
        const OutputPlan output = hasRun ? outputPlan(*runFound)
                                         : OutputPlan::make(pair.mode, modeState.outputFolder,
                                                            modeState.filenameSuffix, std::nullopt);
        const QString slug = pair.pair.slug;
        ModelPlan plan;
        plan.model = CatalogModel{slug.section(QLatin1Char('/'), 0, 0),
                                  slug.section(QLatin1Char('/'), 1),
                                  pair.variant->modelTitle(),
                                  {},
                                  false};
        const SchemaState schemaState = store->directory().schemaStates().value(slug);
        if (schemaState.isReady() && schemaState.schema())
            plan.schema = *schemaState.schema();
        const auto price = store->directory().prices().constFind(slug);
        if (price != store->directory().prices().constEnd())
            plan.price = *price;
        const bool tagWithModel = hasRun && runFound->tagWithModel;
        if (handle.isCancelled()) {
            // Stopped while the lost creates were looked for: the found ones are stopped too.
            store->serviceWork()->cancel(
                client, client
                            .endpoint({QStringLiteral("predictions"), pair.pair.predictionId,
                                       QStringLiteral("cancel")})
                            .toString());
            pair.variant->setStatus(RunStatus::cancelled());
            continue;
        }
        group.start([store, pair, client, plan, tagWithModel, output] {
            return store->resumePair(
                pair.job, pair.variant, client, plan, tagWithModel, output, pair.pair.predictionId,
                QJsonDocument::fromJson(pair.pair.createInput.toUtf8()).object(),
                pair.pair.outputs);
        });
    }
    auto all = group.waitForAll();
    co_await all;
    if (store)
        store->endReattach(handle);
}

void AppStore::endReattach(const TaskHandle &handle)
{
    if (m_runTask && *m_runTask == handle) {
        m_runTask.reset();
        Q_EMIT runningChanged();
    }
}

QCoro::Task<void> AppStore::resumePair(ImageJobPtr job, ModelVariantPtr variant,
                                       ReplicateClient client, ModelPlan plan, bool tagWithModel,
                                       OutputPlan output, QString predictionId, QJsonObject input,
                                       QStringList placed)
{
    // The journal's hooks are set below.
    VariantPipeline::Setup setup{std::move(job),
                                 std::move(variant),
                                 std::move(client),
                                 std::move(plan),
                                 tagWithModel,
                                 std::move(output),
                                 m_environment.clock,
                                 {},
                                 serviceWork(),
                                 {},
                                 {},
                                 {}};
    JournalHooks::attach(setup, m_journal.get(), setup.variant->id());
    return std::make_shared<VariantPipeline>(std::move(setup))
        ->resume(std::move(predictionId), std::move(input), std::move(placed));
}

void AppStore::journalRun(Mode mode, const OutputPlan &output, bool tagWithModel,
                          std::optional<double> spendLimit, const QList<JobVariantPair> &pairs)
{
    if (!m_journal)
        return;
    JournalRun run;
    run.id = QUuid::createUuid();
    run.mode = mode;
    if (!output.destination.isBesideOriginal())
        run.destinationFolder = output.destination.folderUrl().toLocalFile();
    if (output.fallbackFolder)
        run.fallbackFolder = output.fallbackFolder->toLocalFile();
    run.fallbackExtension = output.fallbackExtension;
    run.suffix = output.suffix;
    run.scale = output.scale;
    run.tagWithModel = tagWithModel;
    run.spendLimit = spendLimit;
    m_journal->putRun(run);
    for (const JobVariantPair &pair : pairs)
        m_journal->assignRun(pair.variant->id(), run.id);
    // What the run has committed so far, kept with it as it grows, also after the next run has
    // started while this one's last pairs end.
    if (SpendMeter *meter = m_spend.get()) {
        connect(meter, &SpendMeter::changed, m_journal.get(),
                [journal = m_journal.get(), meter, id = run.id] {
                    journal->runSpent(id, meter->spend().committed());
                });
    }
}
