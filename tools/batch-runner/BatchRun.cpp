#include "BatchRun.h"

#include "Models/ModelCatalog.h"
#include "ResultCount.h"
#include "Services/AppStore.h"
#include "Services/JobTracker.h"

#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstdio>

namespace
{
void say(const QString &line)
{
    std::fprintf(stdout, "%s\n", qUtf8Printable(line));
    std::fflush(stdout);
}
} // namespace

BatchRun::BatchRun(AppStore &store, BatchOptions options)
    : m_store(store), m_options(std::move(options))
{
    m_clock.start();
    m_progress.setInterval(1000);
    connect(&m_progress, &QTimer::timeout, this, &BatchRun::printProgress);
}

BatchRun::~BatchRun() = default;

int BatchRun::exec()
{
    if (!prepare())
        return 2;
    addFolderUnlessResuming();
    runUntilNothingMoves();
    printSummary();
    const Tally end = tally();
    return end.pairs > 0 && end.done == end.pairs ? 0 : 1;
}

BatchRun::Tally BatchRun::tally() const
{
    const QStringList selected = m_store.state(Mode::upscale).selectedSlugs;
    Tally count;
    for (const ImageJobPtr &job : m_store.jobs(Mode::upscale)) {
        for (const ModelVariantPtr &variant : job->variants()) {
            if (!selected.contains(variant->modelSlug()))
                continue;
            ++count.pairs;
            const RunStatus status = variant->status();
            switch (status.kind()) {
            case RunStatus::Kind::done:
                ++count.done;
                break;
            case RunStatus::Kind::failed:
                ++count.failed;
                break;
            case RunStatus::Kind::cancelled:
                ++count.cancelled;
                break;
            case RunStatus::Kind::waiting:
                ++count.waiting;
                break;
            default:
                ++count.active;
                break;
            }
        }
    }
    return count;
}

void BatchRun::waitUntil(const std::function<bool()> &holds)
{
    if (holds())
        return;
    QEventLoop loop;
    const auto check = [&loop, &holds] {
        if (holds())
            loop.quit();
    };
    connect(&m_store, &AppStore::tokenChanged, &loop, check);
    connect(&m_store, &AppStore::restoringChanged, &loop, check);
    connect(&m_store, &AppStore::addingFilesChanged, &loop, check);
    connect(&m_store, &AppStore::jobsChanged, &loop, check);
    connect(&m_store, &AppStore::runningChanged, &loop, check);
    connect(&m_store.jobTracker(), &JobTracker::jobsUpdated, &loop, check);
    loop.exec();
}

bool BatchRun::prepare()
{
    waitUntil([this] { return m_store.tokens().known() && !m_store.isRestoring(); });
    if (!m_store.tokens().hasToken()) {
        std::fprintf(stderr, "moonforge-batch: the store found no token\n");
        return false;
    }
    m_store.setMode(Mode::upscale);
    const QString slug = m_options.modelSlug;
    std::optional<CatalogModel> model =
        ModelCatalog::find(ModelCatalog::builtIn(Mode::upscale), slug);
    if (!model)
        model = CatalogModel::fromSlug(slug, std::nullopt, QString(), true);
    if (!model) {
        std::fprintf(stderr, "moonforge-batch: %s is not a model (owner/name)\n",
                     qUtf8Printable(slug));
        return false;
    }
    m_store.selectOnly(*model);
    m_store.setIncludeSubfolders(true);
    m_store.setOutputDestination(
        m_options.outputFolder
            ? OutputDestination::folder(QUrl::fromLocalFile(*m_options.outputFolder))
            : OutputDestination::besideOriginal());
    return true;
}

void BatchRun::addFolderUnlessResuming()
{
    // After a crash the journal lists the folder's jobs again. Adding the folder once more would
    // bring back the results written beside the photos as photos of their own, so a resumed
    // batch works from the journal's list alone.
    const QString inside = m_options.folder + QLatin1Char('/');
    const QList<ImageJobPtr> listed = m_store.jobs(Mode::upscale);
    const auto fromHere = std::count_if(listed.cbegin(), listed.cend(), [&](const auto &job) {
        return job->input().url().toLocalFile().startsWith(inside);
    });
    if (fromHere > 0) {
        say(QStringLiteral("resuming %1 jobs of this folder from the journal").arg(fromHere));
        return;
    }
    say(QStringLiteral("adding %1").arg(m_options.folder));
    m_store.addFiles({QUrl::fromLocalFile(m_options.folder)});
    waitUntil([this] { return !m_store.isAddingFiles(); });
}

void BatchRun::runUntilNothingMoves()
{
    m_progress.start();
    for (;;) {
        const Tally before = tally();
        if (before.waiting + before.failed + before.cancelled + before.active == 0)
            break;
        // A journal that re-attaches its pairs may have started a run of its own.
        if (!m_store.isRunning())
            m_store.startRun();
        if (!m_store.isRunning() && before.active == 0)
            break;
        ++m_runs;
        waitUntil([this] { return !m_store.isRunning() && tally().active == 0; });
        if (tally().done == before.done)
            break;
    }
    m_progress.stop();
    printProgress();
}

void BatchRun::printProgress() const
{
    const Tally now = tally();
    say(QStringLiteral("done %1 of %2").arg(now.done).arg(now.pairs));
}

void BatchRun::printSummary() const
{
    const Tally end = tally();
    const ResultCount results =
        ResultCount::of(m_store.jobs(Mode::upscale), m_options.folder, m_options.outputFolder);
    const QJsonObject summary{
        {QStringLiteral("pairs"), end.pairs},
        {QStringLiteral("done"), end.done},
        {QStringLiteral("failed"), end.failed},
        {QStringLiteral("cancelled"), end.cancelled},
        {QStringLiteral("waiting"), end.waiting},
        {QStringLiteral("runs"), m_runs},
        {QStringLiteral("resultFiles"), results.total},
        {QStringLiteral("fewestResultsPerPhoto"), results.fewest},
        {QStringLiteral("mostResultsPerPhoto"), results.most},
        {QStringLiteral("elapsedSeconds"), double(m_clock.elapsed()) / 1000.0},
    };
    say(QString::fromUtf8(QJsonDocument(summary).toJson(QJsonDocument::Compact)));
}
