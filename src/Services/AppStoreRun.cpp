// Runs: freezing the inputs, loading missing schemas, feeding pairs to the pipeline four at a
// time, cancelling, and the end of a run.
#include "Services/AppStore.h"

#include "Services/Coroutine.h"
#include "Services/CostPlanner.h"
#include "Services/JobJournal.h"
#include "Services/JournalHooks.h"
#include "Services/SleepTimer.h"
#include "Services/SpendMeter.h"
#include "Services/TaskGroup.h"
#include "Services/VariantPipeline.h"

#include <QCoroSignal>

#include <algorithm>

// Everything a run works from, captured when it starts so later edits leave it alone.
struct AppStore::RunInputs {
    Mode mode = Mode::upscale;
    QList<JobVariantPair> pairs;
    QList<CatalogModel> models;
    QStringList slugs;
    QMap<QString, ParamOverrides> overrides;
    OutputPlan output;
    // Its spend so far and its limit, against which each pair is weighed before it starts.
    std::shared_ptr<SpendMeter> spend;
};

namespace
{

// Under a limit a pair's price must be known before it may start: a price still being read is
// waited for rather than taken as unknown. A cancelled run or a store going away ends the wait.
QCoro::Task<void> waitForPrices(QPointer<AppStore> store, TaskHandle handle, QStringList slugs)
{
    const auto reading = [&store, &handle, &slugs] {
        if (!store || handle.isCancelled())
            return false;
        return std::any_of(slugs.begin(), slugs.end(), [&store](const QString &slug) {
            return store->directory().pricesInFlight().contains(slug);
        });
    };
    while (reading()) {
        // Looks again at least once a second, whatever happens to the signals.
        SleepTimer wake(1000);
        QObject::connect(&store->directory(), &ModelDirectory::pricesChanged, &wake,
                         &SleepTimer::wake);
        const TaskHandle::Registration registration = handle.onCancel([&wake] { wake.wake(); });
        wake.start();
        auto woken = qCoro(&wake, &SleepTimer::woken);
        co_await woken;
    }
}

// The high end of what the pair costs at list price, worked out as the inspector's estimate is.
std::optional<double> listPrice(const ModelPlan &plan, std::optional<double> scale,
                                const ImageJob &job)
{
    if (!plan.price)
        return std::nullopt;
    const std::optional<CostRange> cost =
        CostPlanner::pairCost(*plan.price, plan.schema, plan.extraInputs, scale, job.pixelSize());
    return cost ? std::optional<double>(cost->high) : std::nullopt;
}

} // namespace

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
    const ModeState current = state();
    // The new run's meter goes in first, so the last run's figures do not move as its pairs are
    // reset below.
    if (m_spend)
        m_spend->disconnect(this);
    m_spend = std::make_shared<SpendMeter>(currentMode(), current.spendLimit);
    connect(m_spend.get(), &SpendMeter::changed, this, &AppStore::runSpendChanged);
    for (const JobVariantPair &pair : pairs)
        pair.variant->reset();

    auto inputs = std::make_shared<RunInputs>();
    inputs->spend = m_spend;
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
    Q_EMIT runSpendChanged();
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

// Feeds the pairs that have a plan to the pipeline, at most maxPairsInFlight at a time and, under
// a limit, only while each pair's list price fits beside what the run has spent and has in flight.
QCoro::Task<void> AppStore::feed(QPointer<AppStore> store, TaskHandle handle,
                                 std::shared_ptr<const RunInputs> inputs)
{
    auto reading = store->m_vault->read();
    const std::optional<QString> token = co_await reading;
    // Stopped while the keyring answered: nothing may start, as nothing could cancel it.
    if (!token || !store || handle.isCancelled())
        co_return;
    SpendMeter &spend = *inputs->spend;
    const bool limited = spend.spend().limit.has_value();
    if (limited) {
        auto pricing = waitForPrices(store, handle, inputs->slugs);
        co_await pricing;
        if (!store || handle.isCancelled())
            co_return;
    }

    QMap<QString, ModelPlan> plans;
    QMap<QString, std::optional<double>> scales;
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
        scales.insert(model.slug(),
                      CostPlanner::scale(schema, inputs->overrides.value(model.slug())));
    }
    const bool tagWithModel = inputs->models.size() > 1;
    const ReplicateClient client = store->m_directory->client(*token);

    TaskGroup group;
    qsizetype cursor = 0;
    // The pair at the cursor waits for room under the limit; set by each call of startNext.
    bool overLimit = false;
    // Starts the next pair that has a plan, failing those without on the way and passing over
    // those whose price is unknown under a limit (they stay waiting).
    auto startNext = [&]() -> bool {
        overLimit = false;
        while (cursor < inputs->pairs.size() && store) {
            const JobVariantPair pair = inputs->pairs.at(cursor);
            const auto plan = plans.constFind(pair.variant->modelSlug());
            if (plan == plans.constEnd()) {
                ++cursor;
                pair.variant->setStatus(RunStatus::failed(missingSchemaText()));
                continue;
            }
            const std::optional<double> price =
                listPrice(*plan, scales.value(plan.key()), *pair.job);
            if (limited && !price) {
                ++cursor;
                spend.leaveUnpriced();
                continue;
            }
            if (limited && !spend.spend().allows(*price)) {
                overLimit = true;
                return false;
            }
            ++cursor;
            spend.start(pair.variant, price);
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
    // A pair that ends frees its slot and, when it cost less than its list price or failed, room
    // under the limit: every free slot is offered again.
    const auto fill = [&] {
        while (inFlight < maxPairsInFlight && startNext())
            ++inFlight;
    };
    fill();
    while (inFlight > 0) {
        auto next = group.nextCompletion();
        co_await next;
        --inFlight;
        if (handle.isCancelled())
            break;
        fill();
    }
    if (overLimit && !handle.isCancelled())
        spend.stopAtLimit();
    auto all = group.waitForAll();
    co_await all;
}

void AppStore::finishRun(const TaskHandle &handle, const RunInputs &inputs)
{
    inputs.spend->freeze();
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

std::optional<RunSpend> AppStore::runSpend() const
{
    if (!m_spend)
        return std::nullopt;
    return m_spend->spend();
}

std::shared_ptr<ServiceWork> AppStore::serviceWork()
{
    if (!m_serviceWork)
        m_serviceWork = std::make_shared<ServiceWork>(m_directory->sharedNetwork());
    return m_serviceWork;
}
