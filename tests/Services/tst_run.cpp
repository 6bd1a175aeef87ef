#include "AppStoreProbe.h"
#include "FakeDesktop.h"
#include "Models/ModelCatalog.h"
#include "RunTask.h"
#include "SampleFiles.h"
#include "Services/AppStore.h"
#include "Services/JournalDatabase.h"
#include "Services/OutputPlacement.h"
#include "StandInStore.h"

#include <QDir>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace
{

// Both the service and the store run 50 times faster than real time, so a prediction that stays
// "processing" comes back from its 5 s create call after 0.1 s.
constexpr double timeScale = 0.02;
constexpr int settleMs = 30000;

CatalogModel builtIn(Mode mode, const QString &slug)
{
    const std::optional<CatalogModel> model = ModelCatalog::find(ModelCatalog::builtIn(mode), slug);
    if (!model)
        qFatal("no built-in model %s", qPrintable(slug));
    return *model;
}

int countKind(const QList<JobVariantPair> &pairs, RunStatus::Kind kind)
{
    return int(std::count_if(pairs.begin(), pairs.end(), [kind](const JobVariantPair &pair) {
        return pair.variant->status().kind() == kind;
    }));
}

} // namespace

// Whole runs through the store against the stand-in service: order, concurrency, cancellation,
// reruns, reveal and resilience.
class RunTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void everyModeEndsWithItsFile_data();
    void everyModeEndsWithItsFile();
    void pollsOnTheGrowingSchedule();
    void pairsStartInOrderFourAtATime();
    void modelWithoutSchemaFailsOnlyItsPairs();
    void onlyFailedAndCancelledPairsRunAgain();
    void cancelStopsFeedingAndAllowsANewRun();
    void cancelWhileTheTokenIsReadStartsNothing();
    void cancelWhileRunningSendsOneCancel();
    void cancelWhileUploadingSendsNone();
    void cancelWhileCreatesAreHeldCancelsEachOnceNamed();
    void shutdownCancelsEveryPrediction_data();
    void shutdownCancelsEveryPrediction();
    void revealShowsTheFirstSuccessfulPair();
    void stormAndDroppedConnectionsEndCleanly();
    void spendLimitStartsOnlyWhatFits_data();
    void spendLimitStartsOnlyWhatFits();

private:
    // The current mode's pairs, in the order the store runs them.
    QList<JobVariantPair> pairs() const;
    void addPrompts(Mode mode, const QStringList &slugs, const QStringList &prompts);
    // Writes `count` small photographs and adds them as upscale jobs for `slugs`.
    void addPhotos(const QStringList &slugs, int count);
    void select(Mode mode, const QStringList &slugs);
    bool settled() const;
    QJsonArray predictionCreates();
    // The predictions the cancel requests named, each as often as it was named.
    QStringList cancelledIds();
    // Predictions of the service that have not ended.
    int runningPredictions();
    // Starts a run of four predictions that never end by themselves, and returns once the
    // service holds all four create requests.
    void startFourHeldCreates();
    // Shuts the store down and waits for it: afterwards every request the store sent has been
    // answered, so the service's log holds all it will ever get from this store.
    void drainStore();

    StandInStore m_standIn{{.predictSeconds = 2, .timeScale = timeScale}};
    StandInService &m_service = m_standIn.service();
    std::shared_ptr<FakeDesktop> m_desktop;
    std::unique_ptr<AppStore> m_store;
    QString m_out;
};

void RunTest::initTestCase()
{
    QVERIFY2(m_standIn.isRunning(), qPrintable(m_standIn.errorString()));
}

void RunTest::init()
{
    QVERIFY(m_standIn.reset(timeScale));
    m_desktop = std::make_shared<FakeDesktop>();
    m_standIn.surroundings().desktop = m_desktop;
    m_out = m_standIn.environment().path(u"results"_s);
    QVERIFY(QDir().mkpath(m_out));
    m_store = m_standIn.makeStore();
    QVERIFY(m_store && m_store->tokens().hasToken());
}

void RunTest::cleanup()
{
    // Nothing of one test's run may reach into the next, not even a late cancel.
    if (m_store) {
        QVERIFY(runTask(m_store->shutdown(), settleMs).finished);
        QVERIFY(settled());
    }
    m_store.reset();
}

QList<JobVariantPair> RunTest::pairs() const
{
    QList<JobVariantPair> all;
    for (const ImageJobPtr &job : m_store->jobs()) {
        for (const ModelVariantPtr &variant : job->variants())
            all.append({job, variant});
    }
    return all;
}

void RunTest::select(Mode mode, const QStringList &slugs)
{
    m_store->setMode(mode);
    m_store->selectOnly(builtIn(mode, slugs.first()));
    for (const QString &slug : slugs.mid(1))
        m_store->toggle(builtIn(mode, slug));
    m_store->setOutputDestination(OutputDestination::folder(QUrl::fromLocalFile(m_out)));
}

void RunTest::addPrompts(Mode mode, const QStringList &slugs, const QStringList &prompts)
{
    select(mode, slugs);
    for (const QString &prompt : prompts)
        m_store->addPromptJob(prompt, {});
}

void RunTest::addPhotos(const QStringList &slugs, int count)
{
    select(Mode::upscale, slugs);
    m_store->setOutputDestination(OutputDestination::besideOriginal());
    const QList<QUrl> files = SampleFiles::colouredPhotos(m_out, count);
    QCOMPARE(files.size(), count);
    m_store->addFiles(files);
    QTRY_COMPARE(m_store->jobs().size(), count);
}

bool RunTest::settled() const
{
    const QList<JobVariantPair> all = pairs();
    return !m_store->isRunning() && std::none_of(all.begin(), all.end(), [](const auto &pair) {
        return pair.variant->status().isActive();
    });
}

QJsonArray RunTest::predictionCreates()
{
    QJsonArray creates;
    for (const QJsonValue &request : m_service.requests(u"/v1/"_s)) {
        if (request[u"method"_s] == u"POST"_s &&
            request[u"path"_s].toString().endsWith(u"/predictions"_s))
            creates.append(request);
    }
    return creates;
}

QStringList RunTest::cancelledIds()
{
    QStringList ids;
    for (const QJsonValue &request : m_service.requests(u"/v1/predictions/"_s)) {
        const QString path = request[u"path"_s].toString();
        if (path.endsWith(u"/cancel"_s))
            ids.append(path.section(u'/', 3, 3));
    }
    return ids;
}

int RunTest::runningPredictions()
{
    const QJsonArray all = m_service.predictions();
    return int(std::count_if(all.begin(), all.end(), [](const QJsonValue &prediction) {
        const QString status = prediction[u"status"_s].toString();
        return status != u"succeeded"_s && status != u"failed"_s && status != u"canceled"_s;
    }));
}

void RunTest::startFourHeldCreates()
{
    QStringList prompts;
    for (int i = 1; i <= 4; ++i)
        prompts.append(u"Held %1 sim:stuck"_s.arg(i));
    addPrompts(Mode::image, {u"black-forest-labs/flux-schnell"_s}, prompts);
    m_store->startRun();
    // The service holds each create for up to 5 s (0.1 s here) before it names the prediction.
    QTRY_COMPARE_WITH_TIMEOUT(predictionCreates().size(), 4, settleMs);
}

void RunTest::drainStore()
{
    QElapsedTimer elapsed;
    elapsed.start();
    QVERIFY(runTask(m_store->shutdown(), settleMs).finished);
    // Well within the limit, so it ended because nothing was left, not by cutting work off.
    QVERIFY(elapsed.elapsed() < AppStore::shutdownLimitSeconds * timeScale * 1000);
}

void RunTest::everyModeEndsWithItsFile_data()
{
    QTest::addColumn<Mode>("mode");
    QTest::addColumn<QString>("slug");
    QTest::addColumn<QString>("suffix");
    QTest::newRow("upscale") << Mode::upscale << u"nightmareai/real-esrgan"_s << u"png"_s;
    QTest::newRow("image") << Mode::image << u"black-forest-labs/flux-schnell"_s << u"png"_s;
    QTest::newRow("video") << Mode::video << u"google/veo-3-fast"_s << u"mp4"_s;
}

void RunTest::everyModeEndsWithItsFile()
{
    QFETCH(Mode, mode);
    QFETCH(QString, slug);
    QFETCH(QString, suffix);
    if (mode == Mode::upscale)
        addPhotos({slug}, 1);
    else
        addPrompts(mode, {slug}, {u"A lighthouse at dusk"_s});
    m_store->startRun();
    QVERIFY(m_store->isRunning());
    QTRY_VERIFY_WITH_TIMEOUT(settled(), settleMs);

    const ModelVariantPtr variant = pairs().first().variant;
    QVERIFY2(variant->status() == RunStatus::done(), qPrintable(variant->status().message()));
    QVERIFY(variant->resultExists());
    QCOMPARE(QFileInfo(variant->resultURL().toLocalFile()).suffix(), suffix);
    QVERIFY(QFileInfo(variant->resultURL().toLocalFile()).size() > 0);
    QCOMPARE(variant->resultPixelSize().has_value(), mode != Mode::video);
    // Only images go up to the service, and only for the upscaler.
    QCOMPARE(m_service.requests(u"/v1/files"_s).size(), mode == Mode::upscale ? 1 : 0);
    QCOMPARE(predictionCreates().size(), 1);
    QCOMPARE(predictionCreates().first()[u"headers"_s][u"prefer"_s], QJsonValue(u"wait=5"_s));

    // The result outlives the store: a new one reads it back from the journal.
    m_store.reset();
    m_store = m_standIn.makeStore();
    QVERIFY(m_store);
    QTRY_VERIFY(!m_store->isRestoring());
    m_store->setMode(mode);
    QCOMPARE(m_store->jobs().size(), 1);
    QCOMPARE(m_store->jobs().first()->variants().first()->resultURL(), variant->resultURL());
}

void RunTest::pollsOnTheGrowingSchedule()
{
    // Longer than the 5 s the create call waits, so the rest is polled.
    StandInService::Options options;
    options.predictSeconds = 20;
    options.timeScale = timeScale;
    StandInService slow(options);
    QVERIFY2(slow.isRunning(), qPrintable(slow.errorString()));
    m_standIn.surroundings().apiBase = slow.apiBase();
    m_standIn.surroundings().webBase = slow.webBase();
    m_store = m_standIn.makeStore();
    QVERIFY(m_store);
    addPrompts(Mode::image, {u"black-forest-labs/flux-schnell"_s}, {u"A slow sunrise"_s});
    m_standIn.environment().clock()->clearRequestedDelays();
    m_store->startRun();
    QTRY_VERIFY_WITH_TIMEOUT(settled(), settleMs);

    QCOMPARE(pairs().first().variant->status(), RunStatus::done());
    const QList<double> delays = m_standIn.environment().clock()->requestedDelays();
    const int polls = int(slow.requests(u"/v1/predictions/"_s).size());
    QCOMPARE(delays.size(), polls);
    // 15 s remain after the create call: 1 + 1.5 + … covers them in five or six polls.
    QVERIFY2(polls >= 4 && polls <= 8, qPrintable(QString::number(polls)));
    for (int i = 0; i < delays.size(); ++i)
        QCOMPARE(delays.at(i), std::min(1.0 + 0.5 * i, 5.0));
}

void RunTest::pairsStartInOrderFourAtATime()
{
    addPrompts(Mode::image, {u"black-forest-labs/flux-schnell"_s, u"black-forest-labs/flux-dev"_s},
               {u"First"_s, u"Second"_s, u"Third"_s});
    const QList<JobVariantPair> pending = m_store->pendingPairs();
    QCOMPARE(pending.size(), 6);

    // Each pair's start and end, in the order they happened.
    QList<std::pair<int, bool>> events;
    const QObject listening;
    for (int index = 0; index < pending.size(); ++index) {
        const ModelVariantPtr variant = pending.at(index).variant;
        connect(variant.get(), &ModelVariant::statusChanged, &listening, [&events, variant, index] {
            const RunStatus status = variant->status();
            if (status == RunStatus::preparing())
                events.append({index, false});
            else if (status.isTerminal())
                events.append({index, true});
        });
    }
    m_store->startRun();
    QTRY_VERIFY_WITH_TIMEOUT(settled(), settleMs);

    QCOMPARE(countKind(pending, RunStatus::Kind::done), 6);
    QList<int> started;
    int endedBeforeFifth = -1;
    int inFlight = 0;
    int mostInFlight = 0;
    for (const auto &[index, ended] : events) {
        inFlight += ended ? -1 : 1;
        mostInFlight = std::max(mostInFlight, inFlight);
        if (ended && endedBeforeFifth < 0 && started.size() == 4)
            endedBeforeFifth = index;
        if (!ended)
            started.append(index);
    }
    QCOMPARE(started, (QList<int>{0, 1, 2, 3, 4, 5}));
    QCOMPARE(mostInFlight, 4);
    QVERIFY2(endedBeforeFifth >= 0, "the fifth pair started before any pair ended");
}

void RunTest::modelWithoutSchemaFailsOnlyItsPairs()
{
    QVERIFY(m_service.addFault(
        {{u"method"_s, u"GET"_s}, {u"path"_s, u"/v1/models/google/*"_s}, {u"status"_s, 404}}));
    addPrompts(Mode::image, {u"black-forest-labs/flux-schnell"_s, u"google/imagen-4"_s},
               {u"Dunes"_s, u"Cliffs"_s});
    m_store->startRun();
    QTRY_VERIFY_WITH_TIMEOUT(settled(), settleMs);

    for (const JobVariantPair &pair : pairs()) {
        if (pair.variant->modelSlug() == u"google/imagen-4"_s) {
            QCOMPARE(pair.variant->status(),
                     RunStatus::failed(u"Couldn't read this model's settings."_s));
        } else {
            QVERIFY2(pair.variant->status() == RunStatus::done(),
                     qPrintable(pair.variant->status().message()));
        }
    }
    QCOMPARE(predictionCreates().size(), 2);
}

void RunTest::onlyFailedAndCancelledPairsRunAgain()
{
    addPrompts(Mode::image, {u"black-forest-labs/flux-schnell"_s},
               {u"A calm lake"_s, u"Broken sim:fail"_s, u"Forever sim:stuck"_s});
    m_store->startRun();
    // The quick pair must have placed its file before the stop, or the stop cancels it too.
    QTRY_VERIFY_WITH_TIMEOUT(pairs().at(0).variant->status() == RunStatus::done() &&
                                 pairs().at(1).variant->status().kind() ==
                                     RunStatus::Kind::failed &&
                                 pairs().at(2).variant->predictionCancelURL().has_value(),
                             settleMs);
    m_store->cancelRun();
    QTRY_VERIFY_WITH_TIMEOUT(settled(), settleMs);
    const QList<JobVariantPair> first = pairs();
    QCOMPARE(first.at(0).variant->status(), RunStatus::done());
    QCOMPARE(first.at(2).variant->status(), RunStatus::cancelled());
    const QUrl kept = first.at(0).variant->resultURL();

    QVERIFY(m_service.reset());
    m_store->startRun();
    QVERIFY(m_store->isRunning());
    QTRY_VERIFY_WITH_TIMEOUT(pairs().at(1).variant->status().isTerminal() &&
                                 pairs().at(2).variant->status().isActive(),
                             settleMs);
    const QJsonArray rerun = predictionCreates();
    QCOMPARE(rerun.size(), 2);
    for (const QJsonValue &request : rerun)
        QVERIFY(!request[u"body"_s].toString().contains(u"calm lake"_s));
    QCOMPARE(pairs().at(0).variant->resultURL(), kept);
}

void RunTest::cancelStopsFeedingAndAllowsANewRun()
{
    // The one quick pair makes the first run's end visible: it reveals that pair's result.
    m_store->setRevealWhenDone(true);
    QStringList prompts{u"Quick harbour"_s};
    for (int i = 1; i <= 10; ++i)
        prompts.append(u"Endless %1 sim:stuck"_s.arg(i));
    addPrompts(Mode::image, {u"black-forest-labs/flux-schnell"_s}, prompts);
    m_store->startRun();
    QTRY_VERIFY_WITH_TIMEOUT(pairs().first().variant->status() == RunStatus::done() &&
                                 countKind(pairs(), RunStatus::Kind::running) == 4,
                             settleMs);

    m_store->cancelRun();
    QVERIFY(!m_store->isRunning());
    // At once, so the first run's end is still to come when the second starts.
    QCOMPARE(countKind(pairs(), RunStatus::Kind::cancelled), 4);
    QCOMPARE(countKind(pairs(), RunStatus::Kind::waiting), 6);
    for (int i = 1; i <= 4; ++i)
        QCOMPARE(pairs().at(i).variant->status(), RunStatus::cancelled());

    // The cancelled run's end must not end the new one.
    m_store->startRun();
    QVERIFY(m_store->isRunning());
    QVERIFY(m_desktop->revealed.isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(m_desktop->revealed.size(), 1, settleMs);
    QVERIFY(m_store->isRunning());
    QTRY_COMPARE_WITH_TIMEOUT(countKind(pairs(), RunStatus::Kind::running), 4, settleMs);
    QVERIFY(m_store->isRunning());
}

// Stop pressed in the moment the keyring takes to answer used to let the run start its first
// four pairs afterwards, out of reach of any cancel.
void RunTest::cancelWhileTheTokenIsReadStartsNothing()
{
    addPrompts(Mode::image, {u"black-forest-labs/flux-schnell"_s}, {u"One"_s, u"Two"_s});
    QTRY_VERIFY(m_store->schemaState().isReady());
    m_store->startRun();
    m_store->cancelRun();
    // The keyring answers on one thread in turn: once this read has its answer, the run has had
    // its own.
    QVERIFY(runTask(AppStoreProbe::readToken(*m_store), settleMs).finished);
    QCOMPARE(countKind(pairs(), RunStatus::Kind::waiting), 2);
    drainStore();
    QCOMPARE(predictionCreates().size(), 0);
}

void RunTest::cancelWhileRunningSendsOneCancel()
{
    addPrompts(Mode::image, {u"black-forest-labs/flux-schnell"_s},
               {u"Waiting for ever sim:stuck"_s});
    m_store->startRun();
    const ModelVariantPtr variant = pairs().first().variant;
    QTRY_VERIFY_WITH_TIMEOUT(variant->predictionCancelURL().has_value(), settleMs);
    m_store->cancelRun();
    QTRY_COMPARE_WITH_TIMEOUT(variant->status(), RunStatus::cancelled(), settleMs);
    QVERIFY(!variant->predictionCancelURL());
    drainStore();
    QCOMPARE(cancelledIds().size(), 1);
}

void RunTest::cancelWhileUploadingSendsNone()
{
    QVERIFY(m_service.addFault({{u"method"_s, u"POST"_s},
                                {u"path"_s, u"/v1/files"_s},
                                {u"action"_s, u"delay"_s},
                                {u"delayMs"_s, 600000}}));
    addPhotos({u"nightmareai/real-esrgan"_s}, 1);
    m_store->startRun();
    const ModelVariantPtr variant = pairs().first().variant;
    QTRY_COMPARE_WITH_TIMEOUT(variant->status(), RunStatus::uploading(), settleMs);
    m_store->cancelRun();
    QTRY_COMPARE_WITH_TIMEOUT(variant->status(), RunStatus::cancelled(), settleMs);
    drainStore();
    QCOMPARE(predictionCreates().size(), 0);
    QCOMPARE(cancelledIds().size(), 0);
}

void RunTest::cancelWhileCreatesAreHeldCancelsEachOnceNamed()
{
    // Once aborted before the service had named the predictions: 4 creates, 0 cancels.
    startFourHeldCreates();
    m_store->cancelRun();
    // The pills show it at once, while the creates are still held.
    QCOMPARE(countKind(pairs(), RunStatus::Kind::cancelled), 4);
    drainStore();
    const QStringList ids = cancelledIds();
    QCOMPARE(ids.size(), 4);
    QCOMPARE(QSet<QString>(ids.begin(), ids.end()).size(), 4);
    QCOMPARE(runningPredictions(), 0);
}

void RunTest::shutdownCancelsEveryPrediction_data()
{
    QTest::addColumn<bool>("named");   // every create has answered before the end
    QTest::addColumn<bool>("awaited"); // shutdown() awaited, else the store is just deleted
    QTest::newRow("named, shutdown") << true << true;
    QTest::newRow("held, shutdown") << false << true;
    // Once: the network manager went first, and not one cancel left.
    QTest::newRow("named, deleted") << true << false;
    QTest::newRow("held, deleted") << false << false;
}

void RunTest::shutdownCancelsEveryPrediction()
{
    QFETCH(bool, named);
    QFETCH(bool, awaited);
    startFourHeldCreates();
    const auto allNamed = [this] {
        const QList<JobVariantPair> all = pairs();
        return std::all_of(all.begin(), all.end(), [](const JobVariantPair &pair) {
            return pair.variant->predictionCancelURL().has_value();
        });
    };
    if (named)
        QTRY_VERIFY_WITH_TIMEOUT(allNamed(), settleMs);
    if (awaited) {
        QElapsedTimer elapsed;
        elapsed.start();
        QVERIFY(runTask(m_store->shutdown(), settleMs).finished);
        QVERIFY(elapsed.elapsed() < AppStore::shutdownLimitSeconds * timeScale * 1000);
        // Complete means answered: nothing is still on its way.
        QCOMPARE(cancelledIds().size(), 4);
        QCOMPARE(countKind(pairs(), RunStatus::Kind::cancelled), 4);
        QVERIFY(!m_store->isRunning());
    } else {
        m_store.reset();
        QTRY_COMPARE_WITH_TIMEOUT(cancelledIds().size(), 4, settleMs);
    }
    const QStringList ids = cancelledIds();
    QCOMPARE(QSet<QString>(ids.begin(), ids.end()).size(), 4);
    QTRY_COMPARE(runningPredictions(), 0);
}

void RunTest::revealShowsTheFirstSuccessfulPair()
{
    m_store->setRevealWhenDone(true);
    addPrompts(Mode::image, {u"black-forest-labs/flux-schnell"_s},
               {u"Nothing sim:fail"_s, u"Harbour"_s, u"Meadow"_s});
    m_store->startRun();
    QTRY_VERIFY_WITH_TIMEOUT(settled(), settleMs);
    QCOMPARE(m_desktop->revealed.size(), 1);
    QCOMPARE(m_desktop->revealed.first(), QList<QUrl>{pairs().at(1).variant->resultURL()});
}

void RunTest::stormAndDroppedConnectionsEndCleanly()
{
    const QStringList slugs{u"nightmareai/real-esrgan"_s, u"google/upscaler"_s};
    addPhotos(slugs, 3);
    // A file already where the first result would go.
    const ImageJobPtr firstJob = m_store->jobs().first();
    const OutputPlan plan = OutputPlan::make(Mode::upscale, std::nullopt,
                                             m_store->state().filenameSuffix, std::nullopt);
    const OutputPlacement::Target taken =
        OutputPlacement::target(plan, firstJob->input(), firstJob->filenameStem(), u"real-esrgan"_s,
                                true, 0, 1, QUrl(u"http://x/out-0.png"_s));
    const QString takenPath = taken.folder + u'/' + taken.fileName;
    {
        QFile file(takenPath);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("the user's own file");
    }

    const auto rule = [](const QString &method, const QString &path, int times,
                         const QJsonObject &what) {
        QJsonObject fault = what;
        fault.insert(u"method"_s, method);
        fault.insert(u"path"_s, path);
        fault.insert(u"times"_s, times);
        return fault;
    };
    const QJsonObject tooMany{{u"status"_s, 429}, {u"retryAfter"_s, 0}};
    QVERIFY(m_service.addFaults(QJsonArray{
        rule(u"POST"_s, u"/v1/files"_s, 5, tooMany),
        rule(u"POST"_s, u"/v1/*predictions"_s, 4, tooMany),
        rule(u"POST"_s, u"/v1/*predictions"_s, 1, {{u"action"_s, u"drop"_s}}),
        rule(u"GET"_s, u"/delivery/*"_s, 2, {{u"action"_s, u"drop-body"_s}}),
        rule(u"GET"_s, u"/delivery/*"_s, 1, {{u"action"_s, u"drop"_s}}),
    }));
    m_store->startRun();
    QTRY_VERIFY_WITH_TIMEOUT(settled(), settleMs);

    int done = 0;
    for (const JobVariantPair &pair : pairs()) {
        QVERIFY(pair.variant->status().isTerminal());
        if (pair.variant->status() == RunStatus::done()) {
            ++done;
            QVERIFY(pair.variant->resultExists());
            QVERIFY(!QImage(pair.variant->resultURL().toLocalFile()).isNull());
        } else {
            QVERIFY(!pair.variant->status().message().isEmpty());
        }
    }
    QVERIFY2(done > 0, "every pair failed");
    // The storm really happened: every rule was used up.
    const auto faults = m_service.call("GET", u"/_sim/faults"_s);
    QVERIFY(faults);
    const QJsonArray rules = QJsonDocument::fromJson(faults->body).array();
    QCOMPARE(rules.size(), 5);
    for (const QJsonValue &fault : rules)
        QCOMPARE(fault[u"times"_s].toInt(), 0);
    // Every file left is a source, a complete result or the user's own: nothing half-written.
    for (const QFileInfo &file : QDir(m_out).entryInfoList(QDir::Files | QDir::Hidden)) {
        QVERIFY2(!file.fileName().startsWith(u'.'), qPrintable(file.fileName()));
        if (file.filePath() != takenPath)
            QVERIFY2(!QImage(file.filePath()).isNull(), qPrintable(file.fileName()));
    }
    QFile kept(takenPath);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray("the user's own file"));
}

void RunTest::spendLimitStartsOnlyWhatFits_data()
{
    // Imagen 4 costs $0.04 an image and Flux Schnell $0.003; Qwen Image publishes no price.
    const QString imagen = u"google/imagen-4"_s;
    const QString schnell = u"black-forest-labs/flux-schnell"_s;
    const QString qwen = u"qwen/qwen-image"_s;
    const QStringList five{u"One"_s, u"Two"_s, u"Three"_s, u"Four"_s, u"Five"_s};
    QTest::addColumn<QStringList>("slugs");
    QTest::addColumn<QStringList>("prompts");
    QTest::addColumn<QVariant>("limit"); // dollars; invalid for none
    QTest::addColumn<int>("created");
    QTest::addColumn<int>("waiting");
    QTest::addColumn<double>("charged");
    QTest::addColumn<bool>("stopped");
    QTest::addColumn<int>("unpricedNotStarted");

    QTest::newRow("limit below the first pair")
        << QStringList{imagen} << five << QVariant(0.03) << 0 << 5 << 0.0 << true << 0;
    QTest::newRow("two of five fit")
        << QStringList{imagen} << five << QVariant(0.10) << 2 << 3 << 0.08 << true << 0;
    // Four slots are free, yet the pairs in flight leave room for three only.
    QTest::newRow("in flight counted")
        << QStringList{imagen} << five << QVariant(0.13) << 3 << 2 << 0.12 << true << 0;
    QTest::newRow("exactly at the limit")
        << QStringList{imagen} << five << QVariant(0.12) << 3 << 2 << 0.12 << true << 0;
    // Whichever of the first two ends first, the failure makes room for the third and no more.
    QTest::newRow("a failure frees its share")
        << QStringList{imagen}
        << QStringList{u"One sim:fail"_s, u"Two"_s, u"Three"_s, u"Four"_s, u"Five"_s}
        << QVariant(0.10) << 3 << 2 << 0.08 << true << 0;
    QTest::newRow("unknown price under a limit")
        << QStringList{qwen} << five.mid(0, 3) << QVariant(5.0) << 0 << 3 << 0.0 << false << 3;
    QTest::newRow("priced pairs run beside unpriced ones")
        << QStringList{schnell, qwen} << five.mid(0, 2) << QVariant(5.0) << 2 << 2 << 0.006 << false
        << 2;
    QTest::newRow("no limit") << QStringList{imagen} << five << QVariant() << 5 << 0 << 0.2 << false
                              << 0;
    QTest::newRow("no limit, unknown price")
        << QStringList{qwen} << five.mid(0, 2) << QVariant() << 2 << 0 << 0.0 << false << 0;
}

void RunTest::spendLimitStartsOnlyWhatFits()
{
    QFETCH(QStringList, slugs);
    QFETCH(QStringList, prompts);
    QFETCH(QVariant, limit);
    QFETCH(int, created);
    QFETCH(int, waiting);
    QFETCH(double, charged);
    QFETCH(bool, stopped);
    QFETCH(int, unpricedNotStarted);
    addPrompts(Mode::image, slugs, prompts);
    m_store->setSpendLimit(limit.isValid() ? std::optional(limit.toDouble()) : std::nullopt);
    QVERIFY(!m_store->runSpend());
    // Without a limit a run does not wait for prices, and a price read too late leaves its
    // results uncounted. Under a limit the run waits for them itself.
    if (!limit.isValid()) {
        const ModelDirectory &directory = m_store->directory();
        QTRY_VERIFY(std::all_of(slugs.begin(), slugs.end(), [&directory](const QString &slug) {
            return directory.priceLoads().contains(slug) &&
                   !directory.pricesInFlight().contains(slug);
        }));
    }

    // The run's list-price commitment never passes the limit, whatever ends when.
    double mostCommitted = 0;
    const QObject listening;
    connect(m_store.get(), &AppStore::runSpendChanged, &listening, [this, &mostCommitted] {
        mostCommitted = std::max(mostCommitted, m_store->runSpend()->committed());
    });
    m_store->startRun();
    QTRY_VERIFY_WITH_TIMEOUT(settled(), settleMs);

    QCOMPARE(predictionCreates().size(), created);
    QCOMPARE(countKind(pairs(), RunStatus::Kind::waiting), waiting);
    // Pending for the next run, as after Stop, with the failed pairs.
    QCOMPARE(int(m_store->pendingPairs().size()),
             waiting + countKind(pairs(), RunStatus::Kind::failed));
    const RunSpend spend = *m_store->runSpend();
    QCOMPARE(spend.mode, Mode::image);
    QCOMPARE(spend.limit.has_value(), limit.isValid());
    QVERIFY2(qAbs(spend.charged - charged) < 1e-9, qPrintable(QString::number(spend.charged)));
    QCOMPARE(spend.inFlight, 0.0);
    QCOMPARE(spend.stoppedAtLimit, stopped);
    QCOMPARE(spend.unpricedNotStarted, unpricedNotStarted);
    if (limit.isValid())
        QVERIFY2(mostCommitted <= limit.toDouble() + 1e-9,
                 qPrintable(QString::number(mostCommitted)));

    // The journal keeps the run's figure with the run.
    QVERIFY(runTask(m_store->shutdown(), settleMs).finished);
    m_store.reset();
    JournalDatabase journal(m_standIn.environment().environment().journalPath);
    const JournalContents journaled = journal.open({});
    QCOMPARE(journaled.runs.size(), 1);
    QVERIFY2(qAbs(journaled.runs.cbegin()->spent - spend.committed()) < 1e-9,
             qPrintable(QString::number(journaled.runs.cbegin()->spent)));
}

QTEST_MAIN(RunTest)
#include "tst_run.moc"
