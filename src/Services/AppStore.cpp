#include "Services/AppStore.h"

#include "Models/ModelCatalog.h"
#include "Services/FileInspector.h"
#include "Services/FileIntake.h"
#include "Services/JobJournal.h"
#include "Services/JobTracker.h"
#include "Services/JournalFeed.h"
#include "Services/SettingsWriter.h"

#include <QGuiApplication>
#include <QMimeDatabase>
#include <QSettings>

#include <algorithm>
#include <utility>

AppStore::AppStore(AppEnvironment environment, QObject *parent)
    : QObject(parent), m_environment(std::move(environment)),
      m_vault(std::make_unique<TokenVault>(m_environment)),
      m_directory(
          std::make_unique<ModelDirectory>(m_environment, *m_vault, [this] { return models(); })),
      m_jobTracker(std::make_unique<JobTracker>()),
      m_intake(std::make_unique<FileIntake>([this] { return listedFiles(); })),
      m_inspector(std::make_unique<FileInspector>())
{
    // First of all, so whatever else answers a change of the lists finds the new jobs followed.
    // Every mode's jobs: a run goes on while another mode is shown.
    connect(this, &AppStore::jobsChanged, this, [this] {
        if (!m_appendedFrom.isEmpty()) {
            m_jobTracker->add(appendedJobs());
            return;
        }
        QList<ImageJobPtr> all;
        for (const QList<ImageJobPtr> &modeJobs : std::as_const(m_jobsByMode))
            all.append(modeJobs);
        m_jobTracker->track(all);
    });
    m_settings = m_environment.openSettings();
    m_settingsWriter = std::make_unique<SettingsWriter>(m_environment.settingsPath);
    for (Mode mode : Modes::all())
        m_states.insert(mode, ModeState::defaultFor(mode));
    connect(m_vault.get(), &TokenVault::changed, this, &AppStore::tokenChanged);
    connect(m_vault.get(), &TokenVault::checkChanged, this, &AppStore::tokenCheckChanged);
    connect(m_vault.get(), &TokenVault::readAtStart, this, [this] {
        // A mode chosen while the keyring was still answering found no token: load now.
        if (m_vault->hasToken() && m_mode)
            m_directory->loadCatalog(*m_mode);
    });
    connect(m_directory.get(), &ModelDirectory::catalogsChanged, this, &AppStore::catalogsChanged);
    connect(m_directory.get(), &ModelDirectory::schemaStatesChanged, this,
            &AppStore::schemaStatesChanged);
    connect(this, &AppStore::schemaStatesChanged, this, &AppStore::markRefusedVariants);
    connect(this, &AppStore::jobsChanged, this, &AppStore::markRefusedVariants);
    connect(this, &AppStore::stateChanged, this, &AppStore::markRefusedVariants);
    connect(m_directory.get(), &ModelDirectory::pricesChanged, this, &AppStore::pricesChanged);
    connect(this, &AppStore::jobsChanged, this, [this] {
        if (m_appendedFrom.isEmpty()) {
            m_resultKinds.clear();
            return;
        }
        // Only a model with a result among the new jobs may have its answer changed.
        for (const ImageJobPtr &job : appendedJobs()) {
            for (const ModelVariantPtr &variant : job->variants()) {
                if (variant->resultExists())
                    m_resultKinds.remove(variant->modelSlug());
            }
        }
    });
    connect(m_jobTracker.get(), &JobTracker::jobChanged, this,
            [this](const ImageJob *, JobTracker::Changes changes) {
                if (changes.testAnyFlags(JobTracker::Change::result | JobTracker::Change::variants))
                    m_resultKinds.clear();
            });
    loadPreferences();
    openJournal();
    loadSelectedSchemas();
    // Room for a whole drop is made before its first slice: growing by doubling would rehash
    // tens of thousands of entries inside one slice.
    connect(m_intake.get(), &FileIntake::expecting, this, [this](qsizetype files) {
        QList<ImageJobPtr> &list = m_jobsByMode[Mode::upscale];
        list.reserve(list.size() + files);
        m_inspector->expect(files);
        m_jobTracker->expect(files);
    });
    connect(m_intake.get(), &FileIntake::found, this, &AppStore::addFoundFiles);
    connect(m_intake.get(), &FileIntake::busyChanged, this, &AppStore::addingFilesChanged);
    connect(m_inspector.get(), &FileInspector::inspected, this, &AppStore::sourcesInspected);
    // Results moved or deleted while another program was in front are noticed on return.
    if (auto *app = qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        connect(app, &QGuiApplication::applicationStateChanged, this,
                [this](Qt::ApplicationState state) {
                    if (state != Qt::ApplicationActive)
                        return;
                    for (const QList<ImageJobPtr> &jobs : std::as_const(m_jobsByMode)) {
                        for (const ImageJobPtr &job : jobs)
                            job->refreshResultFiles();
                    }
                });
    }
}

AppStore::~AppStore()
{
    cancelRun();
}

const FileInspector &AppStore::inspector() const
{
    return *m_inspector;
}

SettingsWriter &AppStore::settingsWriter()
{
    return *m_settingsWriter;
}

// --- Mode and per-mode state ---------------------------------------------------------------

void AppStore::setMode(std::optional<Mode> mode)
{
    const bool changed = m_mode != mode;
    m_mode = mode;
    if (changed)
        Q_EMIT modeChanged();
    // Every assignment asks for the loads: a failed or partial load gets another chance.
    loadSelectedSchemas();
    if (mode)
        m_directory->loadCatalog(*mode);
}

QList<ImageJobPtr> AppStore::jobs() const
{
    return jobs(currentMode());
}

QList<ImageJobPtr> AppStore::jobs(Mode mode) const
{
    return m_jobsByMode.value(mode);
}

void AppStore::setJobs(const QList<ImageJobPtr> &jobs)
{
    if (m_jobsByMode.value(currentMode()) == jobs)
        return;
    m_jobsByMode.insert(currentMode(), jobs);
    // Also when a listener of an append sets the lists: the listeners still to hear of that
    // append must look at everything.
    m_appendedFrom.clear();
    Q_EMIT jobsChanged();
}

void AppStore::announceAppended(const QMap<Mode, qsizetype> &from)
{
    m_appendedFrom = from;
    Q_EMIT jobsChanged();
    m_appendedFrom.clear();
}

QList<ImageJobPtr> AppStore::appendedJobs() const
{
    QList<ImageJobPtr> appended;
    for (auto it = m_appendedFrom.constBegin(); it != m_appendedFrom.constEnd(); ++it) {
        const QList<ImageJobPtr> &list = m_jobsByMode[it.key()];
        appended.append(list.sliced(it.value()));
    }
    return appended;
}

ModeState AppStore::state() const
{
    return state(currentMode());
}

ModeState AppStore::state(Mode mode) const
{
    const auto it = m_states.constFind(mode);
    return it != m_states.constEnd() ? *it : ModeState::defaultFor(mode);
}

void AppStore::setState(const ModeState &state)
{
    const auto it = m_states.constFind(currentMode());
    if (it != m_states.constEnd() && *it == state)
        return;
    m_states.insert(currentMode(), state);
    Q_EMIT stateChanged();
}

OutputDestination AppStore::outputDestination() const
{
    const ModeState current = state();
    if (current.outputFolder)
        return OutputDestination::folder(QUrl::fromLocalFile(*current.outputFolder));
    return OutputDestination::besideOriginal();
}

void AppStore::setOutputDestination(const OutputDestination &destination)
{
    ModeState current = state();
    if (destination.isBesideOriginal())
        current.outputFolder.reset();
    else
        current.outputFolder = destination.folderUrl().toLocalFile();
    setState(current);
    savePreferences();
}

void AppStore::setRevealWhenDone(bool reveal)
{
    if (m_revealWhenDone != reveal) {
        m_revealWhenDone = reveal;
        Q_EMIT revealWhenDoneChanged();
    }
    savePreferences();
}

void AppStore::setPresenting(const ImageJobPtr &job)
{
    if (m_presenting == job)
        return;
    m_presenting = job;
    Q_EMIT presentingChanged();
}

void AppStore::setDraftPrompt(const QString &text)
{
    if (m_draftPrompt == text)
        return;
    m_draftPrompt = text;
    Q_EMIT draftChanged();
}

void AppStore::setDraftReferences(const QList<QUrl> &references)
{
    if (m_draftReferences == references)
        return;
    m_draftReferences = references;
    Q_EMIT draftChanged();
}

// --- Models and selection ------------------------------------------------------------------

QList<CatalogModel> AppStore::models() const
{
    const Mode mode = currentMode();
    QList<CatalogModel> merged = m_directory->catalogs().value(mode);
    merged += state(mode).customModels;
    merged += ModelCatalog::builtIn(mode);
    return ModelCatalog::dedup(merged);
}

QString AppStore::title(const QString &slug) const
{
    const std::optional<CatalogModel> model = ModelCatalog::find(models(), slug);
    return model ? model->title : slug;
}

QList<CatalogModel> AppStore::selectedModels() const
{
    const QList<CatalogModel> all = models();
    QList<CatalogModel> selected;
    for (const QString &slug : state().selectedSlugs) {
        if (const std::optional<CatalogModel> model = ModelCatalog::find(all, slug))
            selected.append(*model);
    }
    return selected;
}

CatalogModel AppStore::focusedModel() const
{
    if (const std::optional<CatalogModel> model = ModelCatalog::find(models(), state().focusedSlug))
        return *model;
    const QList<CatalogModel> selected = selectedModels();
    if (!selected.isEmpty())
        return selected.constFirst();
    return ModelCatalog::builtIn(currentMode()).constFirst();
}

void AppStore::remember(const CatalogModel &model)
{
    ModeState current = state();
    const QString slug = model.slug();
    const auto sameSlug = [&slug](const CatalogModel &m) { return m.slug() == slug; };
    const QList<CatalogModel> &builtIn = ModelCatalog::builtIn(currentMode());
    if (std::any_of(builtIn.begin(), builtIn.end(), sameSlug) ||
        std::any_of(current.customModels.begin(), current.customModels.end(), sameSlug))
        return;
    current.customModels.append(model);
    setState(current);
}

void AppStore::toggle(const CatalogModel &model)
{
    remember(model);
    ModeState current = state();
    current.toggle(model.slug());
    setState(current);
    startSchemaLoad(model.slug());
    syncVariants();
    savePreferences();
}

void AppStore::selectOnly(const CatalogModel &model)
{
    remember(model);
    ModeState current = state();
    current.selectedSlugs = {model.slug()};
    current.focusedSlug = model.slug();
    setState(current);
    startSchemaLoad(model.slug());
    syncVariants();
    savePreferences();
}

void AppStore::removeCustom(const CatalogModel &model)
{
    if (!model.isCustom)
        return;
    ModeState current = state();
    current.removeCustom(model);
    setState(current);
    syncVariants();
    savePreferences();
}

void AppStore::setFocusedSlug(const QString &slug)
{
    ModeState current = state();
    if (!current.selectedSlugs.contains(slug))
        return;
    current.focusedSlug = slug;
    setState(current);
    savePreferences();
}

void AppStore::syncVariants()
{
    const QStringList selected = state().selectedSlugs;
    for (const ImageJobPtr &job : jobs()) {
        const QList<ModelVariantPtr> existing = job->variants();
        QList<ModelVariantPtr> rebuilt;
        for (const QString &slug : selected) {
            const auto it =
                std::find_if(existing.begin(), existing.end(),
                             [&slug](const ModelVariantPtr &v) { return v->modelSlug() == slug; });
            rebuilt.append(
                it != existing.end() ? *it : std::make_shared<ModelVariant>(slug, title(slug)));
        }
        // Finished results of models no longer selected stay with their job.
        for (const ModelVariantPtr &variant : existing) {
            if (!selected.contains(variant->modelSlug()) &&
                variant->status().kind() == RunStatus::Kind::done)
                rebuilt.append(variant);
        }
        job->setVariants(rebuilt);
    }
}

// --- Counts --------------------------------------------------------------------------------

QList<JobVariantPair> AppStore::pendingPairs() const
{
    const QStringList selected = state().selectedSlugs;
    QList<JobVariantPair> pairs;
    for (const ImageJobPtr &job : jobs()) {
        for (const ModelVariantPtr &variant : job->variants()) {
            if (selected.contains(variant->modelSlug()) && variant->status().isPending())
                pairs.append({job, variant});
        }
    }
    return pairs;
}

int AppStore::totalVariants() const
{
    const QStringList selected = state().selectedSlugs;
    int total = 0;
    for (const ImageJobPtr &job : jobs()) {
        for (const ModelVariantPtr &variant : job->variants())
            total += selected.contains(variant->modelSlug()) ? 1 : 0;
    }
    return total;
}

double AppStore::overallProgress() const
{
    const int total = totalVariants();
    if (total < 1)
        return 0;
    // Kept results of deselected models count as finished too, so this may exceed 1.
    int finished = 0;
    for (const ImageJobPtr &job : jobs()) {
        for (const ModelVariantPtr &variant : job->variants())
            finished += variant->status().isTerminal() ? 1 : 0;
    }
    return static_cast<double>(finished) / total;
}

bool AppStore::isFinished(const ImageJobPtr &job) const
{
    const auto &variants = job->variants();
    return !variants.isEmpty() &&
           std::all_of(variants.begin(), variants.end(),
                       [](const ModelVariantPtr &v) { return v->status().isTerminal(); });
}

int AppStore::finishedJobCount() const
{
    const QList<ImageJobPtr> current = jobs();
    return static_cast<int>(std::count_if(current.begin(), current.end(),
                                          [this](const ImageJobPtr &j) { return isFinished(j); }));
}

bool AppStore::showsPlayer(const ImageJobPtr &job) const
{
    if (m_mode == Mode::video)
        return true;
    const auto &variants = job->variants();
    return std::any_of(variants.begin(), variants.end(), [this](const ModelVariantPtr &variant) {
        return outputKind(variant->modelSlug()) == OutputKind::video;
    });
}

OutputKind AppStore::outputKind(const QString &slug) const
{
    const SchemaState schemaState = m_directory->schemaStates().value(slug);
    if (schemaState.isReady() && schemaState.schema()->outputKind != OutputKind::unknown)
        return schemaState.schema()->outputKind;
    if (const auto known = m_resultKinds.constFind(slug); known != m_resultKinds.constEnd())
        return *known;
    const OutputKind kind = resultKind(slug);
    m_resultKinds.insert(slug, kind);
    return kind;
}

OutputKind AppStore::resultKind(const QString &slug) const
{
    static const QMimeDatabase types;
    for (const QList<ImageJobPtr> &modeJobs : m_jobsByMode) {
        for (const ImageJobPtr &job : modeJobs) {
            for (const ModelVariantPtr &variant : job->variants()) {
                if (variant->modelSlug() != slug || !variant->resultExists())
                    continue;
                const QString type =
                    types.mimeTypeForFile(variant->resultURL().toLocalFile()).name();
                if (type.startsWith(QLatin1String("video/")))
                    return OutputKind::video;
                if (type.startsWith(QLatin1String("image/")))
                    return OutputKind::image;
            }
        }
    }
    return OutputKind::unknown;
}

// --- Removing jobs -------------------------------------------------------------------------

void AppStore::remove(const ImageJobPtr &job)
{
    for (const ModelVariantPtr &variant : job->variants()) {
        if (const auto work = variant->work())
            work->cancel();
    }
    QList<ImageJobPtr> kept = jobs();
    kept.removeIf([&job](const ImageJobPtr &j) { return j->id() == job->id(); });
    setJobs(kept);
}

void AppStore::clearFinished()
{
    QList<ImageJobPtr> kept = jobs();
    kept.removeIf([this](const ImageJobPtr &j) { return isFinished(j); });
    setJobs(kept);
}

void AppStore::removeAll()
{
    // Files still arriving from a drop would refill the list the person just emptied.
    m_intake->cancel();
    cancelRun();
    setJobs({});
}
