#pragma once

#include "Models/CatalogModel.h"
#include "Models/CostEstimate.h"
#include "Models/CostRange.h"
#include "Models/ImageJob.h"
#include "Models/Mode.h"
#include "Models/ModelPrice.h"
#include "Models/ModeState.h"
#include "Models/OutputDestination.h"
#include "Models/SchemaState.h"
#include "Models/TokenCheck.h"
#include "Services/AppEnvironment.h"
#include "Services/FileIntake.h"
#include "Services/OutputPlan.h"
#include "Services/ReplicateClient.h"
#include "Services/ServiceWork.h"
#include "Services/TaskHandle.h"
#include "Services/VariantPipeline.h"

#include <QCoroTask>
#include <QFuture>
#include <QHash>
#include <QMap>
#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QSettings>
#include <QThreadPool>

#include <deque>
#include <memory>
#include <optional>

// One job and one of its variants: the unit of work of a run.
struct JobVariantPair {
    ImageJobPtr job;
    ModelVariantPtr variant;
};

// The one owner of the application's state. Everything here is used on the GUI thread; work that
// waits for the network, a timer or a background thread resumes there before it writes anything.
// The implementation is split by concern: AppStore.cpp (state, selection, counts, removal) and
// AppStore<Concern>.cpp for the rest.
class AppStore : public QObject
{
    Q_OBJECT
public:
    explicit AppStore(AppEnvironment environment = AppEnvironment::production(),
                      QObject *parent = nullptr);
    ~AppStore() override;

    const AppEnvironment &environment() const { return m_environment; }

    // --- Mode and per-mode state -------------------------------------------------------------
    std::optional<Mode> mode() const { return m_mode; }
    // Every assignment, also of the current value, starts the schema and collection loads.
    void setMode(std::optional<Mode> mode);

    // The current mode's jobs (upscale when no mode is chosen).
    QList<ImageJobPtr> jobs() const;
    void setJobs(const QList<ImageJobPtr> &jobs);
    QList<ImageJobPtr> jobs(Mode mode) const;

    // The current mode's settings (upscale when no mode is chosen); a mode without a stored
    // state reads its default.
    ModeState state() const;
    ModeState state(Mode mode) const;

    OutputDestination outputDestination() const;
    void setOutputDestination(const OutputDestination &destination);

    bool revealWhenDone() const { return m_revealWhenDone; }
    void setRevealWhenDone(bool reveal);

    ImageJobPtr presenting() const { return m_presenting; }
    void setPresenting(const ImageJobPtr &job);

    QString draftPrompt() const { return m_draftPrompt; }
    void setDraftPrompt(const QString &text);
    QList<QUrl> draftReferences() const { return m_draftReferences; }
    void setDraftReferences(const QList<QUrl> &references);

    // --- Models and selection ----------------------------------------------------------------
    // Collection first, then custom models, then the built-in list, each slug once.
    QList<CatalogModel> models() const;
    QString title(const QString &slug) const;
    QList<CatalogModel> selectedModels() const;
    CatalogModel focusedModel() const;
    const QMap<Mode, QList<CatalogModel>> &catalogs() const { return m_catalogs; }

    void toggle(const CatalogModel &model);
    void selectOnly(const CatalogModel &model);
    // Forgets a model the user added, then re-syncs variants and saves preferences.
    void removeCustom(const CatalogModel &model);
    // Makes `slug` the model whose parameters the inspector shows, when it is selected.
    void setFocusedSlug(const QString &slug);

    // --- Counts --------------------------------------------------------------------------------
    QList<JobVariantPair> pendingPairs() const;
    int totalVariants() const;
    double overallProgress() const;
    int finishedJobCount() const;
    bool showsPlayer(const ImageJobPtr &job) const;

    // --- Removing jobs ---------------------------------------------------------------------------
    void remove(const ImageJobPtr &job);
    void clearFinished();
    void removeAll();

    // --- Pricing -------------------------------------------------------------------------------
    // A finished result's own charge comes from ModelPrice::charge (or ModelPrice::cost with a
    // quantity in the price's unit); Pricing::format prints it.
    using CostEstimate = ::CostEstimate;
    // The list prices known in this run, by slug.
    const QMap<QString, ModelPrice> &prices() const { return m_prices; }
    // Slugs whose price was looked for in this run; a failed look is not repeated.
    const QSet<QString> &priceLoads() const { return m_priceLoads; }
    // Slugs whose price is being read right now.
    const QSet<QString> &pricesInFlight() const { return m_pricesInFlight; }
    // Starts reading a model's price unless it is known or was already looked for in this run.
    // Every schema load calls this first, so a price is looked for whenever a schema is.
    void loadPrice(const QString &slug);
    // The list-price cost of running `job` on `slug` with the current settings.
    std::optional<CostRange> plannedCost(const QString &slug, const ImageJob &job) const;
    // The summed cost of every pending pair; none when no pending pair has a cost.
    std::optional<CostEstimate> estimatedCost() const;
    // "Around $0.12" (with " plus unpriced models"), and the help text that goes with it.
    static QString estimateLabel(const CostEstimate &estimate);
    static QString estimateHelp(const CostEstimate &estimate);
Q_SIGNALS:
    // prices, priceLoads or pricesInFlight changed.
    void pricesChanged();

public:
    // --- API token -----------------------------------------------------------------------------
    // The token lives in the keyring, whose calls may wait on D-Bus: they run one at a time, in
    // the order asked, on the store's keyring thread, and the store applies their answers on
    // the GUI thread. Until the first read at start-up has answered, tokenKnown() is false and
    // both hasToken() and showWelcome() are false; tokenChanged() reports the answer.
    using TokenCheck = ::TokenCheck;
    enum class TokenSource { none, keyring, environment };

    bool tokenKnown() const { return m_tokenKnown; }
    // A token is stored in the keyring or, failing that, given in REPLICATE_API_TOKEN.
    bool hasToken() const { return m_hasToken; }
    bool showWelcome() const { return m_showWelcome; }
    // The welcome screen dismisses itself (after an accepted token, or "Skip for now").
    void setShowWelcome(bool show);
    TokenSource tokenSource() const { return m_tokenSource; }
    TokenCheck tokenCheck() const { return m_tokenCheck; }
    // The welcome screen clears a rejection as soon as the user edits the field.
    void setTokenCheck(const TokenCheck &check);
    // Why the last setToken() could not write the keyring; empty when it could.
    QString tokenStoreError() const { return m_tokenStoreError; }

    // Stores the trimmed token without checking it, or removes the stored one when the text is
    // blank; returns whether the keyring did as asked. On a failed write hasToken() keeps its
    // value and tokenStoreError() says why. A stored token loads the current mode's collection
    // (upscale without a mode) and the selected models' schemas.
    QCoro::Task<bool> setToken(QString token);
    // Asks the service for the focused model with the trimmed token and stores the token when
    // the service accepts it; otherwise tokenCheck() says why and nothing else changes. A blank
    // text changes nothing. An accepted token the keyring will not keep returns false, with
    // tokenCheck() invalid and saying why. Never throws.
    QCoro::Task<bool> submitToken(QString token);
    // The token every request uses: the keyring's (an item under the earlier service name is
    // copied to the current one on the way), else the environment's. Never throws.
    QCoro::Task<std::optional<QString>> readToken();
    static QString rejectedTokenText();

    // --- Collections and search ------------------------------------------------------------
    // Loads the mode's curated collection once per run of the application: only with a token,
    // and again on the next call after a failure or an empty answer. Returns at once.
    void loadCatalog(Mode mode);
    // Modes whose collection is loading or loaded.
    const QSet<Mode> &catalogLoads() const { return m_catalogLoads; }
    // Every model of the service matching `query`, as custom entries; empty without a token and
    // on any failure. Never throws.
    QCoro::Task<QList<CatalogModel>> searchModels(QString query);
    static QString collectionSlug(Mode mode);

    // --- Schemas -------------------------------------------------------------------------------
    const QMap<QString, SchemaState> &schemaStates() const { return m_schemaStates; }
    // The focused model's state; idle when it has none.
    SchemaState schemaState() const;
    // Loads the schema of every selected model of the current mode.
    void loadSelectedSchemas();
    // The inspector's Retry: reloads the focused model's schema (a fresh cache still answers).
    void refreshSchema();
    // Loads one schema: a fresh cached record answers alone; a stale one is shown at once and
    // replaced when the service answers; a schema already shown is never taken away by a
    // failure. The model is looked up in `models`, or in models() when none is given. Never
    // throws.
    QCoro::Task<void> loadSchema(QString slug, std::optional<QList<CatalogModel>> models);
    // The failure of a load whose slug names no model of the lists it was looked for in.
    static QString unknownModelText();
    // For the run: loads side by side the schemas of `slugs` that are not ready yet, finding the
    // models in `models`, and completes once every one of them has finished, whether it ended
    // ready or failed. Never throws; the run reads the outcome from schemaStates().
    QCoro::Task<void> loadSchemasForRun(QStringList slugs, QList<CatalogModel> models);
    // The one network manager every request of the store goes through.
    QNetworkAccessManager *network();

    // --- Run -------------------------------------------------------------------------------------
    bool isRunning() const { return m_runTask.has_value(); }
    // Processes every pending pair of the current mode, at most four at a time, when no run is
    // going, a token is stored and something is pending. Returns at once.
    void startRun();
    // Stops feeding pairs and cancels every waiting or active pair's work. Waits for nothing:
    // a new run may start at once. Each cancelled pair shows "cancelled" at once; a prediction
    // it started is cancelled on the service in the background, also one whose create request
    // is still held by the service (it is let answer, then its prediction is cancelled).
    void cancelRun();
    // The orderly end, for the application's quit: cancels the run like cancelRun(), then
    // completes once every pair has ended and every cancel the service needs has been answered,
    // including those of creates that are still held and must answer first to name their
    // prediction. Should nothing end for shutdownLimitSeconds, it aborts what is left and
    // completes.
    // The store stays usable; destroying it without this still sends the cancels already asked
    // for, as long as the event loop runs.
    QCoro::Task<void> shutdown();
    // A held create answers within its 60 s wait and times out after 90 s; then its cancel.
    // Requests queued behind others (a host takes only six connections) get the time anew.
    static constexpr double shutdownLimitSeconds = 100;
    // Carries one variant through the service to its result files; never fails outward.
    QCoro::Task<void> process(ImageJobPtr job, ModelVariantPtr variant, ReplicateClient client,
                              ModelPlan plan, bool tagWithModel, OutputPlan output);
    static constexpr int maxPairsInFlight = 4;
    // The text of a pair whose model's settings could not be loaded for the run.
    static QString missingSchemaText();

    // --- Adding jobs ---------------------------------------------------------------------------
    // Image files and the images directly inside folders become upscale jobs; files already
    // listed are skipped. The jobs arrive a slice at a time once the files are listed in the
    // background, and their sizes and previews after that.
    void addFiles(const QList<QUrl> &urls);
    // True while dropped files are being listed or turned into jobs.
    bool isAddingFiles() const;
    // Asks the desktop for images or folders and adds them; nothing without a desktop.
    void presentOpenPanel();
    // Asks the desktop for reference images; empty when dismissed or without a desktop.
    QList<QUrl> chooseReferenceImages();
    void addPromptJob(const QString &prompt, const QList<QUrl> &references);
    // Copies a prompt job's text and references back into the draft.
    void reuse(const ImageJobPtr &job);
    // Inspects these jobs' files (the rows on screen) before the others still waiting, in this
    // order; a later call replaces the earlier wish.
    void prioritizeInspection(const QList<ImageJobPtr> &jobs);
    // The job list paints previews filling a square of `pixels` device pixels: file previews are
    // then made just large enough to fill it and cropped to it. 0 (the start) keeps them whole,
    // at most 256 pixels on the longer side.
    void setPreviewFillSide(int pixels);
    int previewFillSide() const { return m_previewFillSide; }
    // The references `reuse` puts back: all of them when a selected model's loaded schema takes
    // a list of images, else at most the last one.
    static QList<QUrl> reusedReferences(const QList<QUrl> &references, const QStringList &slugs,
                                        const QMap<QString, SchemaState> &schemas);

    // --- Parameters ----------------------------------------------------------------------------
    // The focused model's override for `param`, else its default.
    std::optional<ParamValue> value(const SchemaParam &param) const;
    // Sets, or with no value removes, the focused model's override; saves preferences.
    void setValue(const std::optional<ParamValue> &value, const SchemaParam &param);
    bool isOverridden(const SchemaParam &param) const;
    // Drops every override of the focused model.
    void resetParams();
    // The parameter part of a prediction input: overrides, and defaults of required parameters.
    static QJsonObject requestInputs(const ModelSchema &schema, const QString &slug,
                                     const QMap<QString, ParamOverrides> &overrides);
    // The upscale factor the model will apply, when its schema is ready and says so.
    std::optional<double> scale(const QString &slug) const;
    // A scale parameter's value as a factor: "4x" gives 4, "auto" and booleans none.
    static std::optional<double> scaleFactor(const ParamValue &value);
    // Lower-case parameter keys that give the number of outputs, and a video's length.
    static const QSet<QString> &outputCountKeys();
    static const QSet<QString> &durationKeys();

    // --- Persistence -----------------------------------------------------------------------------
    void savePreferences();
    void saveHistory();

    // --- Preferences and history ---------------------------------------------------------------
    // Settings keys of the two stored documents; an unreadable document is kept aside under its
    // key with unreadableSuffix before the first save replaces it.
    static const QString preferencesKey;
    static const QString historyKey;
    static const QString unreadableSuffix;
    // Snapshots kept per mode; older jobs are dropped at the save that passes the cap.
    static constexpr int historyCapPerMode = 100;
    // The current mode's file-name suffix, as the inspector edits it; saves preferences.
    void setFilenameSuffix(const QString &suffix);

Q_SIGNALS:
    void modeChanged();
    void jobsChanged();
    void addingFilesChanged();
    void stateChanged();
    void revealWhenDoneChanged();
    void presentingChanged();
    void draftChanged();
    void catalogsChanged();
    void schemaStatesChanged();
    // tokenKnown, hasToken, showWelcome, tokenSource or tokenStoreError changed.
    void tokenChanged();
    void tokenCheckChanged();
    void runningChanged();

private:
    void setState(const ModeState &state);
    void remember(const CatalogModel &model);
    void syncVariants();
    void startSchemaLoad(const QString &slug);
    void loadPreferences();
    void loadHistory();
    bool isFinished(const ImageJobPtr &job) const;
    Mode currentMode() const { return m_mode.value_or(Mode::upscale); }

    AppEnvironment m_environment;
    std::unique_ptr<QSettings> m_settings;

    QMap<Mode, QList<ImageJobPtr>> m_jobsByMode;
    QMap<Mode, ModeState> m_states;
    QMap<QString, SchemaState> m_schemaStates;
    QMap<Mode, QList<CatalogModel>> m_catalogs;
    QSet<Mode> m_catalogLoads;
    bool m_revealWhenDone = false;
    ImageJobPtr m_presenting;
    QString m_draftPrompt;
    QList<QUrl> m_draftReferences;
    std::optional<Mode> m_mode;
    std::optional<TaskHandle> m_runTask;
    bool m_isLoadingPreferences = false;

    // --- Run ---
    struct RunInputs;
    static QCoro::Task<void> runTask(QPointer<AppStore> store, TaskHandle handle,
                                     std::shared_ptr<const RunInputs> inputs);
    // By reference into runTask()'s frame (GCC 12 mishandles by-value coroutine arguments made
    // inside a co_await expression).
    static QCoro::Task<void> run(const QPointer<AppStore> &store, const TaskHandle &handle,
                                 const std::shared_ptr<const RunInputs> &inputs);
    // Ends `handle`'s run: its handle is cleared only while it is still the current one.
    void finishRun(const TaskHandle &handle, const RunInputs &inputs);

    // --- Adding jobs ---
    // The selected models' slugs and titles, for the variants of new jobs.
    QList<std::pair<QString, QString>> selectedTitles() const;
    static QList<ModelVariantPtr> newVariants(const QList<std::pair<QString, QString>> &titles);
    void inspectInBackground(const ImageJobPtr &job);
    // The files of upscale jobs, which a drop does not add again.
    QList<QUrl> listedFiles() const;
    void addFoundFiles(const QList<QUrl> &files);
    FileIntake m_intake{[this] { return listedFiles(); }};
    // Hands waiting inspections to the pool while it has idle threads, wished-for jobs first.
    void startInspections();
    ImageJobPtr nextInspection();
    // Waiting inspections in the order added, and the jobs the list wants first. Only the GUI
    // thread touches them: the pool is given one file per idle thread, so a new wish takes
    // effect with the next file that finishes.
    std::deque<std::pair<QUuid, std::weak_ptr<ImageJob>>> m_inspectionQueue;
    QList<std::weak_ptr<ImageJob>> m_inspectionFirst;
    QSet<QUuid> m_inspectionWaiting;
    int m_inspectionsRunning = 0;
    int m_previewFillSide = 0;
    struct PoolDropper {
        // Queued inspections are dropped, running ones finished, when the store goes away.
        void operator()(QThreadPool *pool) const
        {
            pool->clear();
            delete pool;
        }
    };
    std::unique_ptr<QThreadPool, PoolDropper> m_inspectionPool;

    // --- Preferences and history ---
    // Writes `bytes` under `key` and flushes; first keeps `unreadable` aside, when set.
    void writeStored(const QString &key, const QByteArray &bytes,
                     std::optional<QByteArray> &unreadable);
    std::optional<QByteArray> m_unreadablePreferences;
    std::optional<QByteArray> m_unreadableHistory;

    // --- Pricing ---
    // Tests put ready schemas in place through it while schemas have no loader of their own.
    friend class AppStoreProbe;
    void finishPriceLoad(const QString &slug, const std::optional<ModelPrice> &price);
    // Reads the public model pages; it never carries the token.
    std::shared_ptr<QNetworkAccessManager> m_pageNetwork;
    QMap<QString, ModelPrice> m_prices;
    QSet<QString> m_priceLoads;
    QSet<QString> m_pricesInFlight;
    TaskHandle m_priceLoadsTask;
    // Keep last: cancels m_priceLoadsTask before any other member goes.
    std::shared_ptr<void> m_priceLoadsCanceller;

    // --- API token, collections and schemas ---
    QCoro::Task<void> readStartupToken();
    void applyToken(bool inKeyring);
    void setSchemaState(const QString &slug, const SchemaState &state);
    QCoro::Task<void> fetchCatalog(Mode mode);
    ReplicateClient client(const QString &token);
    // Still there and not being torn down: the test every load makes after each wait.
    static bool isLive(const QPointer<AppStore> &store);
    std::shared_ptr<QNetworkAccessManager> m_network;
    // Pairs in progress and the cancels they leave behind; outlives the store while they run.
    std::shared_ptr<ServiceWork> serviceWork();
    std::shared_ptr<ServiceWork> m_serviceWork;
    // The schema fetch under way per slug; it completes once its answer is written.
    QHash<QString, QFuture<void>> m_schemaFetches;
    bool m_tokenKnown = false;
    bool m_hasToken = false;
    bool m_showWelcome = false;
    TokenSource m_tokenSource = TokenSource::none;
    TokenCheck m_tokenCheck;
    QString m_tokenStoreError;
    // Keyring calls, one at a time in the order asked; waits for a running call when it goes.
    std::unique_ptr<QThreadPool> m_keyringThread = makeKeyringThread();
    static std::unique_ptr<QThreadPool> makeKeyringThread();
    struct LoadsCanceller {
        // Aborts the loads' requests before any other member goes; the loads see `closing`
        // and touch nothing.
        ~LoadsCanceller()
        {
            closing = true;
            handle.cancel();
        }
        TaskHandle handle;
        bool closing = false;
    };
    // Keep last: destroyed first.
    LoadsCanceller m_loads;
};
