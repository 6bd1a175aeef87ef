// Runs: freezing the inputs, loading missing schemas, feeding pairs to the pipeline four at a
// time, cancelling, and the end of a run.
#include "Services/AppStore.h"

#include "Services/Coroutine.h"
#include "Services/JobJournal.h"
#include "Services/TaskGroup.h"
#include "Services/VariantPipeline.h"

// Everything a run works from, captured when it starts so later edits leave it alone.
struct AppStore::RunInputs {
    Mode mode = Mode::upscale;
    QList<JobVariantPair> pairs;
    QList<CatalogModel> models;
    QStringList slugs;
    QMap<QString, ParamOverrides> overrides;
    OutputPlan output;
};

QString AppStore::missingSchemaText()
{
    return QStringLiteral("Couldn't read this model's settings.");
}

// Processes every pending pair of the current mode, at most four at a time, when no run is
// going, a token is stored and something is pending. Returns at once.
void AppStore::startRun()
{
    if (m_runTask || !m_vault->hasToken())
        return;
    syncVariants();
    const QList<JobVariantPair> pairs = pendingPairs();
    if (pairs.isEmpty())
        return;
    for (const JobVariantPair &pair : pairs)
        pair.variant->reset();

    const ModeState current = state();
    auto inputs = std::make_shared<RunInputs>();
    inputs->mode = currentMode();
    inputs->pairs = pairs;
    inputs->models = selectedModels();
    inputs->slugs = current.selectedSlugs;
    inputs->overrides = current.overrides;
    inputs->output = OutputPlan::make(m_mode, current.outputFolder, current.filenameSuffix,
                                      current.selectedSlugs.size() == 1 ? scale(current.focusedSlug)
                                                                        : std::nullopt);

    journalRun(inputs->mode, inputs->output, inputs->models.size() > 1, current.spendLimit, pairs);

    const TaskHandle handle;
    m_runTask = handle;
    Q_EMIT runningChanged();
    // Runs on by itself; it holds the store only weakly and ends through finishRun().
    runTask(QPointer<AppStore>(this), handle, std::move(inputs));
}

// Stops feeding pairs and cancels every waiting or active pair's work. Waits for nothing: a new
// run may start at once. Each cancelled pair shows "cancelled" at once; a prediction it started
// is cancelled on the service in the background, also one whose create request is still held by
// the service (it is let answer, then its prediction is cancelled).
void AppStore::cancelRun()
{
    if (m_runTask) {
        m_runTask->cancel();
        m_runTask.reset();
        Q_EMIT runningChanged();
    }
    for (const QList<ImageJobPtr> &jobs : std::as_const(m_jobsByMode)) {
        for (const ImageJobPtr &job : jobs) {
            for (const ModelVariantPtr &variant : job->variants()) {
                const RunStatus status = variant->status();
                if ((status.isActive() || status.kind() == RunStatus::Kind::waiting) &&
                    variant->work())
                    variant->work()->cancel();
            }
        }
    }
}

// The orderly end, for the application's quit: cancels the run like cancelRun(), then completes
// once every pair has ended and every cancel the service needs has been answered, including
// those of creates that are still held and must answer first to name their prediction. What is
// still going after shutdownLimitSeconds is aborted.
QCoro::Task<void> AppStore::shutdown()
{
    // Held here: the caller may destroy the store as soon as this resumes.
    const std::shared_ptr<ServiceWork> work = serviceWork();
    const std::shared_ptr<Clock> clock = m_environment.clock;
    cancelRun();
    auto draining = work->drain(clock, shutdownLimitSeconds);
    co_await draining;
}

// Carries one variant through the service to its result files; never fails outward.
QCoro::Task<void> AppStore::process(ImageJobPtr job, ModelVariantPtr variant,
                                    ReplicateClient client, ModelPlan plan, bool tagWithModel,
                                    OutputPlan output)
{
    std::function<QCoro::Task<void>(QJsonObject)> beforeCreate;
    if (m_journal)
        beforeCreate = [journal = QPointer<JobJournal>(m_journal.get()),
                        pair = variant->id()](QJsonObject input) {
            return JobJournal::recordCreate(journal, pair, std::move(input));
        };
    VariantPipeline::Setup setup{
        std::move(job), std::move(variant),     std::move(client),   std::move(plan),
        tagWithModel,   std::move(output),      m_environment.clock, {},
        serviceWork(),  std::move(beforeCreate)};
    return std::make_shared<VariantPipeline>(std::move(setup))->run();
}

QCoro::Task<void> AppStore::runTask(QPointer<AppStore> store, TaskHandle handle,
                                    std::shared_ptr<const RunInputs> inputs)
{
    if (!store)
        co_return;
    QStringList missing;
    for (const QString &slug : inputs->slugs) {
        if (!store->directory().schemaStates().value(slug).isReady())
            missing.append(slug);
    }
    if (!missing.isEmpty()) {
        auto loading = store->directory().loadSchemasForRun(missing, inputs->models);
        co_await loading;
    }
    // A run cancelled while its schemas loaded starts nothing: its pairs stay waiting.
    if (store && !handle.isCancelled()) {
        auto feeding = feed(store, handle, inputs);
        co_await feeding;
    }
    if (store)
        store->finishRun(handle, *inputs);
}

// Feeds the pairs that have a plan to the pipeline, at most maxPairsInFlight at a time.
QCoro::Task<void> AppStore::feed(QPointer<AppStore> store, TaskHandle handle,
                                 std::shared_ptr<const RunInputs> inputs)
{
    auto reading = store->m_vault->read();
    const std::optional<QString> token = co_await reading;
    if (!token || !store)
        co_return;

    QMap<QString, ModelPlan> plans;
    for (const CatalogModel &model : inputs->models) {
        const SchemaState schemaState = store->directory().schemaStates().value(model.slug());
        if (!schemaState.isReady() || !schemaState.schema())
            continue;
        const ModelSchema &schema = *schemaState.schema();
        const auto price = store->directory().prices().constFind(model.slug());
        plans.insert(model.slug(),
                     ModelPlan{model, schema, schema.requestInputs(model.slug(), inputs->overrides),
                               price == store->directory().prices().constEnd()
                                   ? std::nullopt
                                   : std::optional<ModelPrice>(*price)});
    }
    const bool tagWithModel = inputs->models.size() > 1;
    const ReplicateClient client = store->m_directory->client(*token);

    TaskGroup group;
    qsizetype cursor = 0;
    // Starts the next pair that has a plan, failing those without on the way.
    auto startNext = [&]() -> bool {
        while (cursor < inputs->pairs.size() && store) {
            const JobVariantPair pair = inputs->pairs.at(cursor++);
            const auto plan = plans.constFind(pair.variant->modelSlug());
            if (plan == plans.constEnd()) {
                pair.variant->setStatus(RunStatus::failed(missingSchemaText()));
                continue;
            }
            // The child starts at once, while the store is known to be there.
            group.start([store, pair, client, plan = *plan, tagWithModel, inputs]() {
                return store->process(pair.job, pair.variant, client, plan, tagWithModel,
                                      inputs->output);
            });
            return true;
        }
        return false;
    };
    // Counted here rather than asked of the group: a pair may end before start() returns.
    int inFlight = 0;
    for (int slot = 0; slot < maxPairsInFlight; ++slot)
        inFlight += startNext() ? 1 : 0;
    while (inFlight > 0) {
        auto next = group.nextCompletion();
        co_await next;
        --inFlight;
        if (handle.isCancelled())
            break;
        inFlight += startNext() ? 1 : 0;
    }
    auto all = group.waitForAll();
    co_await all;
}

void AppStore::finishRun(const TaskHandle &handle, const RunInputs &inputs)
{
    // A run cancelled earlier may end after a newer one started: leave the newer one's handle.
    if (m_runTask && *m_runTask == handle) {
        m_runTask.reset();
        Q_EMIT runningChanged();
    }
    if (!m_revealWhenDone || !m_environment.desktop)
        return;
    for (const JobVariantPair &pair : inputs.pairs) {
        if (pair.variant->status().kind() != RunStatus::Kind::done)
            continue;
        if (!pair.variant->resultURL().isEmpty())
            m_environment.desktop->reveal({pair.variant->resultURL()});
        return;
    }
}

std::shared_ptr<ServiceWork> AppStore::serviceWork()
{
    if (!m_serviceWork)
        m_serviceWork = std::make_shared<ServiceWork>(m_directory->sharedNetwork());
    return m_serviceWork;
}
