#pragma once

#include "Models/CostEstimate.h"
#include "Models/ImageJob.h"
#include "Models/ModeState.h"
#include "Models/OutputDestination.h"
#include "Models/RunSpend.h"
#include "Services/ModelDirectory.h"
#include "Services/TokenVault.h"

#include <QTimer>

#include <memory>

class FileInspector;
class FileIntake;
struct FoundFile;
struct KnownFiles;
class JobJournal;
class JournalFeed;
class QSettings;
class ServiceWork;
class SettingsWriter;
class SpendMeter;
struct ModelPlan;
struct OutputPlan;

class JobTracker;

// The one owner of the application's state, used on the GUI thread only. It owns the TokenVault
// (the token), the ModelDirectory (collections, schemas, prices), the FileInspector and the
// SettingsWriter, and hands them out rather than forwarding to them; the rest is split by concern:
// AppStore.cpp (state, selection, counts, removal) and AppStore<Concern>.cpp.
class AppStore final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AppStore)
public:
    explicit AppStore(AppEnvironment environment = AppEnvironment::production(),
                      QObject *parent = nullptr);
    // Cancels the run; then the directory aborts its loads and the vault waits for the keyring.
    ~AppStore() override;

    const AppEnvironment &environment() const { return m_environment; }
    // The token and what is known of it; changes arrive as tokenChanged and tokenCheckChanged.
    const TokenVault &tokens() const { return *m_vault; }
    // Collections, schemas and prices; changes arrive as catalogsChanged, schemaStatesChanged
    // and pricesChanged.
    ModelDirectory &directory() { return *m_directory; }
    const ModelDirectory &directory() const { return *m_directory; }
    // Reads the added files; sourcesInspected tells when a job's file has been read.
    const FileInspector &inspector() const;
    // Preferences and the windows' own settings reach the disk through it, off the GUI thread;
    // the store's end waits until every write is there.
    SettingsWriter &settingsWriter();

    // The current mode's jobs and state (upscale's without a mode; a default when never set).
    std::optional<Mode> mode() const { return m_mode; }
    // Every assignment, also of the current value, starts the schema and collection loads.
    void setMode(std::optional<Mode> mode);
    QList<ImageJobPtr> jobs() const;
    void setJobs(const QList<ImageJobPtr> &jobs);
    QList<ImageJobPtr> jobs(Mode mode) const;
    // Follows every mode's jobs and their variants for the views: connect there, not to a job.
    JobTracker &jobTracker() const { return *m_jobTracker; }
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

    // Collection first, then custom models, then the built-in list, each slug once.
    QList<CatalogModel> models() const;
    QString title(const QString &slug) const;
    QList<CatalogModel> selectedModels() const;
    CatalogModel focusedModel() const;
    void toggle(const CatalogModel &model);
    void selectOnly(const CatalogModel &model);
    void removeCustom(const CatalogModel &model); // a model the user added
    void setFocusedSlug(const QString &slug);     // when it is selected

    QList<JobVariantPair> pendingPairs() const;
    int totalVariants() const;
    double overallProgress() const;
    int finishedJobCount() const;
    // The player in any mode once one of the job's models is known to make video.
    bool showsPlayer(const ImageJobPtr &job) const;
    // What the model makes: its schema's word when it has one, else the media type of a result
    // it made.
    OutputKind outputKind(const QString &slug) const;
    void remove(const ImageJobPtr &job);
    void clearFinished();
    void removeAll();

    SchemaState schemaState() const; // the focused model's; idle when it has none
    void loadSelectedSchemas();      // of the current mode
    void refreshSchema();            // the inspector's Retry, for the focused model
    std::optional<CostRange> plannedCost(const QString &slug, const ImageJob &job) const;
    // Of every pending pair; none while no pair's cost is known yet.
    std::optional<CostEstimate> estimatedCost() const;

    // The vault is handed out read-only; these two of its settings change through the store.
    void setShowWelcome(bool show);
    void setTokenCheck(const TokenCheck &check);
    QCoro::Task<bool> setToken(QString token);
    QCoro::Task<bool> submitToken(QString token);

    bool isRunning() const { return m_runTask.has_value(); }
    void startRun();
    void cancelRun();
    QCoro::Task<void> shutdown();
    // A held create answers within the pipeline's 5-s hold, then its cancel goes out; whatever is
    // still going after this long is abandoned, so quitting never takes longer.
    static constexpr double shutdownLimitSeconds = 12;
    static constexpr int maxPairsInFlight = 4;
    static QString missingSchemaText(); // a pair whose model's settings could not be read
    // What the latest run (going or ended) has spent and has in flight, against its limit; none
    // before the first run. Changes arrive as runSpendChanged.
    std::optional<RunSpend> runSpend() const;

    // Image files and the images inside folders become upscale jobs, each file once. The jobs
    // arrive a slice at a time once the files are listed in the background.
    void addFiles(const QList<QUrl> &urls);
    bool isAddingFiles() const;          // while dropped files are listed or turned into jobs
    void presentOpenPanel();             // nothing without a desktop
    QList<QUrl> chooseReferenceImages(); // empty when dismissed or without a desktop
    void addPromptJob(const QString &prompt, const QList<QUrl> &references);
    void reuse(const ImageJobPtr &job); // a prompt job's text and references back to the draft
    // Inspects these jobs' files (the rows on screen) first; a later call replaces the wish.
    void prioritizeInspection(const QList<ImageJobPtr> &jobs);
    // File previews fill a square of this many device pixels; 0 keeps them whole (at most 256).
    void setPreviewFillSide(int pixels);
    // What `reuse` puts back: all references for a model taking a list of images, else the last.
    static QList<QUrl> reusedReferences(const QList<QUrl> &references, const QStringList &slugs,
                                        const QMap<QString, SchemaState> &schemas);

    // The focused model's overrides, each falling back to the parameter's default.
    std::optional<ParamValue> value(const SchemaParam &param) const;
    void setValue(const std::optional<ParamValue> &value, const SchemaParam &param);
    bool isOverridden(const SchemaParam &param) const;
    void resetParams();
    // The upscale factor the model will apply, when its schema is ready and says so.
    std::optional<double> scale(const QString &slug) const;

    void savePreferences();
    static const QString preferencesKey;
    // The record of finished jobs kept before the journal; taken into a new journal once.
    static const QString historyKey;
    static const QString unreadableSuffix; // an unreadable document is kept under key + this

    // True from construction until the journal has been read, every job it held is listed and
    // the pairs it left running on the service are followed again; restoringChanged tells when
    // it turns false, never before the constructor has returned.
    bool isRestoring() const { return m_restoring; }
    // Why jobs are not kept across a restart, or why earlier ones are missing; empty when the
    // journal works.
    QString journalProblem() const { return m_journalProblem; }
    void setFilenameSuffix(const QString &suffix);
    // Both belong to the current mode and are remembered with its other settings.
    void setIncludeSubfolders(bool include);
    void setSpendLimit(std::optional<double> dollars);

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
    void pricesChanged(); // the directory's prices, priceLoads or pricesInFlight
    void tokenChanged();  // the vault's known, hasToken, showWelcome, source or storeError
    void tokenCheckChanged();
    void runningChanged();
    void runSpendChanged();
    void sourcesInspected(); // jobs' pixel sizes, as their files are read
    void restoringChanged();
    void journalProblemChanged();

private:
    friend class AppStoreProbe;
    // Carries one pair through the service to its result files; never fails outward.
    QCoro::Task<void> process(ImageJobPtr job, ModelVariantPtr variant, ReplicateClient client,
                              ModelPlan plan, bool tagWithModel, OutputPlan output);
    void setState(const ModeState &state);
    void remember(const CatalogModel &model);
    void syncVariants();
    // Fails the waiting variants whose model's schema can take no job of their kind, so the job
    // list says so before any run; a run leaves its own variants to the pipeline.
    void markRefusedVariants();
    void startSchemaLoad(const QString &slug);
    void loadPreferences();
    bool isFinished(const ImageJobPtr &job) const;
    // The media type of a result the model made, looked for among every job's results.
    OutputKind resultKind(const QString &slug) const;
    Mode currentMode() const { return m_mode.value_or(Mode::upscale); }

    AppEnvironment m_environment;
    std::unique_ptr<QSettings> m_settings; // read while the store is built
    std::unique_ptr<SettingsWriter> m_settingsWriter;
    std::unique_ptr<TokenVault> m_vault;
    std::unique_ptr<ModelDirectory> m_directory; // reads m_vault, so it goes first
    QMap<Mode, QList<ImageJobPtr>> m_jobsByMode;
    std::unique_ptr<JobTracker> m_jobTracker;
    // While jobsChanged tells of jobs appended at the ends of the lists: for each list that grew,
    // the index of its first new job. Empty for any other change, which gets whole passes.
    QMap<Mode, qsizetype> m_appendedFrom;
    // Tells jobsChanged for jobs appended to the lists, each from its index in `from`: the
    // store's own listeners then look at the new jobs only, so a slice costs what it holds.
    void announceAppended(const QMap<Mode, qsizetype> &from);
    QList<ImageJobPtr> appendedJobs() const; // the new jobs announceAppended tells of
    QMap<Mode, ModeState> m_states;
    bool m_revealWhenDone = false;
    ImageJobPtr m_presenting;
    QString m_draftPrompt;
    QList<QUrl> m_draftReferences;
    std::optional<Mode> m_mode;
    bool m_isLoadingPreferences = false;
    struct RunInputs;
    static QCoro::Task<void> runTask(QPointer<AppStore> store, TaskHandle handle,
                                     std::shared_ptr<const RunInputs> inputs);
    static QCoro::Task<void> feed(QPointer<AppStore> store, TaskHandle handle,
                                  std::shared_ptr<const RunInputs> inputs);
    void finishRun(const TaskHandle &handle, const RunInputs &inputs);
    std::shared_ptr<ServiceWork> serviceWork();
    std::shared_ptr<ServiceWork> m_serviceWork; // pairs and their cancels; may outlive the store
    std::optional<TaskHandle> m_runTask;
    // The latest run's; a run that is still ending after a newer one started keeps its own.
    std::shared_ptr<SpendMeter> m_spend;
    // The selected models' slugs and titles, for the variants of new jobs.
    QList<std::pair<QString, QString>> selectedTitles() const;
    static QList<ModelVariantPtr> newVariants(const QList<std::pair<QString, QString>> &titles);
    // The files of upscale jobs, which a drop does not add again.
    KnownFiles listedFiles() const;
    void addFoundFiles(const QList<FoundFile> &files);
    std::unique_ptr<FileIntake> m_intake; // asks listedFiles()
    std::unique_ptr<FileInspector> m_inspector;
    // Writes `bytes` under `key` and flushes; first keeps `unreadable` aside, when set.
    void writeStored(const QString &key, const QByteArray &bytes,
                     std::optional<QByteArray> &unreadable);
    std::optional<QByteArray> m_unreadablePreferences;

    // The journal: AppStoreJournal.cpp.
    struct Restoring;
    void openJournal();
    void restoreSlice(const std::shared_ptr<Restoring> &restoring);
    void finishRestoring(const std::shared_ptr<Restoring> &restoring);
    static QCoro::Task<void> reattach(QPointer<AppStore> store, TaskHandle handle,
                                      std::shared_ptr<Restoring> restoring);
    void endReattach(const TaskHandle &handle);
    // Takes up a prediction the service runs for this pair since before a restart: the create
    // sent `input`; `placed` are the outputs named before it, by index.
    QCoro::Task<void> resumePair(ImageJobPtr job, ModelVariantPtr variant, ReplicateClient client,
                                 ModelPlan plan, bool tagWithModel, OutputPlan output,
                                 QString predictionId, QJsonObject input, QStringList placed);
    // What a run starting now froze, and which pairs it takes.
    void journalRun(Mode mode, const OutputPlan &output, bool tagWithModel,
                    std::optional<double> spendLimit, const QList<JobVariantPair> &pairs);
    // What each model's results on disk are, by slug, until a job or a result changes: asked
    // for every row painted, while finding out walks every job.
    mutable QHash<QString, OutputKind> m_resultKinds;
    bool m_restoring = true;
    QString m_journalProblem;
    std::unique_ptr<JobJournal> m_journal;      // null without a journal file
    std::unique_ptr<JournalFeed> m_journalFeed; // writes into m_journal, so it goes first
};
