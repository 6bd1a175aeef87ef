#pragma once

#include "Models/CatalogModel.h"
#include "Models/ImageJob.h"
#include "Models/Mode.h"
#include "Models/ModeState.h"
#include "Models/OutputDestination.h"
#include "Models/SchemaState.h"
#include "Services/AppEnvironment.h"
#include "Services/OutputPlan.h"
#include "Services/ReplicateClient.h"
#include "Services/TaskHandle.h"
#include "Services/VariantPipeline.h"

#include <QCoroTask>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QSettings>
#include <QThreadPool>

#include <memory>
#include <optional>

class QNetworkAccessManager;

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

    // --- Schemas -------------------------------------------------------------------------------
    const QMap<QString, SchemaState> &schemaStates() const { return m_schemaStates; }
    // Loads the schema of every selected model of the current mode.
    void loadSelectedSchemas();
    // Loads the mode's curated collection once per run of the application.
    void loadCatalog(Mode mode);

    // --- Run -------------------------------------------------------------------------------------
    bool isRunning() const { return m_runTask.has_value(); }
    // Processes every pending pair of the current mode, at most four at a time, when no run is
    // going, a token is stored and something is pending. Returns at once.
    void startRun();
    // Stops feeding pairs and cancels every waiting or active pair's work. Waits for nothing:
    // a new run may start at once.
    void cancelRun();
    // Carries one variant through the service to its result files; never fails outward.
    QCoro::Task<void> process(ImageJobPtr job, ModelVariantPtr variant, ReplicateClient client,
                              ModelPlan plan, bool tagWithModel, OutputPlan output);
    static constexpr int maxPairsInFlight = 4;
    // The text of a pair whose model's settings could not be loaded for the run.
    static QString missingSchemaText();
    // The one network manager every request of the store goes through.
    QNetworkAccessManager *network();

    // --- Adding jobs ---------------------------------------------------------------------------
    // Image files and the images directly inside folders become upscale jobs; files already
    // listed are skipped. Sizes and previews arrive later from background work.
    void addFiles(const QList<QUrl> &urls);
    // Asks the desktop for images or folders and adds them; nothing without a desktop.
    void presentOpenPanel();
    // Asks the desktop for reference images; empty when dismissed or without a desktop.
    QList<QUrl> chooseReferenceImages();
    void addPromptJob(const QString &prompt, const QList<QUrl> &references);
    // Copies a prompt job's text and references back into the draft.
    void reuse(const ImageJobPtr &job);
    // The image files the URLs name or directly contain, in the file browser's order.
    static QList<QUrl> expand(const QList<QUrl> &urls);

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

Q_SIGNALS:
    void modeChanged();
    void jobsChanged();
    void stateChanged();
    void revealWhenDoneChanged();
    void presentingChanged();
    void draftChanged();
    void catalogsChanged();
    void schemaStatesChanged();
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
    std::unique_ptr<QNetworkAccessManager> m_network;

    // --- Run prerequisites, until token and schema loading land ---
    bool hasToken() const;
    std::optional<QString> readToken() const;
    QCoro::Task<void> loadSchemasForRun(const QStringList &slugs,
                                        const QList<CatalogModel> &models);
    std::optional<ModelPrice> knownPrice(const QString &slug) const;

    // --- Adding jobs ---
    QList<ModelVariantPtr> newVariants() const;
    void inspectInBackground(const ImageJobPtr &job);
    struct PoolDropper {
        // Queued inspections are dropped, running ones finished, when the store goes away.
        void operator()(QThreadPool *pool) const
        {
            pool->clear();
            delete pool;
        }
    };
    std::unique_ptr<QThreadPool, PoolDropper> m_inspectionPool;
};
