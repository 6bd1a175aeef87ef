#include "Models/HistorySnapshot.h"
#include "Services/AppStore.h"
#include "Services/JournalDatabase.h"
#include "StandInStore.h"
#include "StoredDocument.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <QThread>

using namespace Qt::StringLiterals;

namespace
{

const QString flux = u"black-forest-labs/flux-schnell"_s;
constexpr int settleMs = 30000;

QUrl image(const TestEnvironment &env, const QString &name, int side = 8)
{
    QImage picture(side, side, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    picture.save(env.path(name));
    return QUrl::fromLocalFile(env.path(name));
}

ModelVariantPtr pair(RunStatus status, const QUrl &result = {})
{
    auto variant = std::make_shared<ModelVariant>(u"google/upscaler"_s, u"Google Upscaler"_s);
    variant->setStatus(status);
    variant->setResultURL(result);
    return variant;
}

ImageJobPtr job(const JobInput &input, const QList<ModelVariantPtr> &variants, qint64 bytes = 0)
{
    auto made = std::make_shared<ImageJob>(input);
    made->setByteSize(bytes);
    made->setVariants(variants);
    return made;
}

std::unique_ptr<AppStore> restoredStore(const AppEnvironment &environment)
{
    auto store = std::make_unique<AppStore>(environment);
    if (!QTest::qWaitFor([&] { return !store->isRestoring(); }, settleMs))
        return nullptr;
    return store;
}

// One prompt job of the image list, as a run left it in the journal when the application ended.
struct InFlight {
    JournalJob job;
    JournalPair pair;
    // Where the pair was writing, as the journal heard it.
    QList<JournalPlacement> placements;
};

InFlight inFlight(const QString &prompt)
{
    InFlight seeded;
    seeded.job.id = QUuid::createUuid();
    seeded.job.mode = Mode::image;
    seeded.job.isPrompt = true;
    seeded.job.source = prompt;
    seeded.pair.id = QUuid::createUuid();
    seeded.pair.jobId = seeded.job.id;
    seeded.pair.slug = flux;
    seeded.pair.title = u"FLUX.1 [schnell]"_s;
    seeded.pair.status = RunStatus::Kind::running;
    return seeded;
}

} // namespace

class JournalTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY2(m_standIn.isRunning(), qPrintable(m_standIn.errorString())); }
    void init() { QVERIFY(m_standIn.reset(0.02)); }

    void everyKindOfJobComesBack();
    void noCap();
    void appendedJobsFollowTheRestoredOnes();
    void historyIsImportedOnceAndLeftInPlace();
    void corruptJournalIsSetAsideAndReported();
    void lockedJournalIsReportedAndLeftAlone();
    void previewsArriveInOrderOnTheGuiThread();
    void predictionAtTheServiceIsTakenUp_data();
    void predictionAtTheServiceIsTakenUp();
    void lostCreateIsFoundInTheList_data();
    void lostCreateIsFoundInTheList();
    void outputNamedBeforeTheEndIsNotWrittenTwice_data();
    void outputNamedBeforeTheEndIsNotWrittenTwice();
    void onlyThePairsOwnLeftoverPartIsRemoved_data();
    void onlyThePairsOwnLeftoverPartIsRemoved();

private:
    TestEnvironment &env() { return m_standIn.environment(); }
    // Writes `seeded` into a journal made for the test and returns the store that reads it.
    std::unique_ptr<AppStore> restartWith(const InFlight &seeded);
    // A prediction made on the service the way the pipeline makes them.
    QString createPrediction(const QJsonObject &input);

    StandInStore m_standIn{{.predictSeconds = 4, .timeScale = 0.02}};
};

void JournalTest::everyKindOfJobComesBack()
{
    const QUrl photo = image(env(), u"photo.png"_s);
    const QUrl gonePhoto = image(env(), u"gone.png"_s);
    const QUrl result = image(env(), u"photo-up.png"_s);
    const QUrl goneResult = image(env(), u"vanished-up.png"_s);
    const QList<QUrl> references{image(env(), u"ref1.png"_s), image(env(), u"ref2.png"_s)};
    QList<ImageJobPtr> written;
    {
        const auto store = restoredStore(env().environment());
        QVERIFY(store);
        ModelVariantPtr done = pair(RunStatus::done(), result);
        done->setCost(CostRange{0.05, 0.1});
        done->setElapsed(12.5);
        done->setResultPixelSize(QSizeF(32, 32));
        const ImageJobPtr file = job(JobInput::file(photo),
                                     {done, pair(RunStatus::failed(u"Boom."_s)),
                                      pair(RunStatus::cancelled()), pair(RunStatus::waiting())},
                                     482133);
        file->setPixelSize(QSizeF(8, 8));
        file->setTreeRoot(QUrl::fromLocalFile(env().path({})));
        written = {file, job(JobInput::file(gonePhoto), {pair(RunStatus::waiting())}),
                   job(JobInput::file(photo), {pair(RunStatus::done(), goneResult)})};
        store->setJobs(written);
        store->setMode(Mode::image);
        written.append(
            job(JobInput::prompt(u"a lighthouse"_s, references), {pair(RunStatus::uploading())}));
        store->setJobs({written.last()});
    }
    // Gone while the application was closed: the job and the result go with their files.
    QFile::remove(gonePhoto.toLocalFile());
    QFile::remove(goneResult.toLocalFile());
    QFile::remove(references.first().toLocalFile());

    const auto store = restoredStore(env().environment());
    QVERIFY(store);
    QVERIFY(store->journalProblem().isEmpty());
    const QList<ImageJobPtr> files = store->jobs(Mode::upscale);
    QCOMPARE(files.size(), 1);
    const ImageJobPtr file = files.first();
    QCOMPARE(file->id(), written.first()->id());
    QCOMPARE(file->input(), JobInput::file(photo));
    QCOMPARE(file->treeRoot(), written.first()->treeRoot());
    QCOMPARE(file->byteSize(), 482133);
    QCOMPARE(file->pixelSize(), std::optional(QSizeF(8, 8)));
    QList<RunStatus> statuses;
    for (const ModelVariantPtr &variant : file->variants())
        statuses.append(variant->status());
    QCOMPARE(statuses, (QList<RunStatus>{RunStatus::done(), RunStatus::failed(u"Boom."_s),
                                         RunStatus::cancelled(), RunStatus::waiting()}));
    const ModelVariantPtr done = file->variants().first();
    QCOMPARE(done->id(), written.first()->variants().first()->id());
    QCOMPARE(done->resultURL(), result);
    QVERIFY(done->resultExists());
    QCOMPARE(done->cost(), std::optional(CostRange{0.05, 0.1}));
    QCOMPARE(done->elapsed(), std::optional(12.5));
    QCOMPARE(done->resultPixelSize(), std::optional(QSizeF(32, 32)));
    const QList<ImageJobPtr> prompts = store->jobs(Mode::image);
    QCOMPARE(prompts.size(), 1);
    QCOMPARE(prompts.first()->input(), JobInput::prompt(u"a lighthouse"_s, {references.last()}));
    // Work that had not reached the service starts over.
    QCOMPARE(prompts.first()->variants().first()->status(), RunStatus::waiting());
}

// A drop after a restart follows the jobs read back, numbered after the last of them even when
// earlier removals left gaps in the numbers.
void JournalTest::appendedJobsFollowTheRestoredOnes()
{
    QList<QUuid> order;
    {
        const auto store = restoredStore(env().environment());
        QVERIFY(store);
        QList<ImageJobPtr> listed;
        for (const QString &name : {u"a.png"_s, u"b.png"_s, u"c.png"_s})
            listed.append(job(JobInput::file(image(env(), name)), {}));
        store->setJobs(listed);
        store->remove(listed.at(1));
        order = {listed.at(0)->id(), listed.at(2)->id()};
    }
    QDir().mkpath(env().path(u"drop/inner"_s));
    const QList<QUrl> dropped{image(env(), u"drop/d.png"_s), image(env(), u"drop/inner/e.png"_s)};
    {
        const auto store = restoredStore(env().environment());
        QVERIFY(store);
        QCOMPARE(store->jobs(Mode::upscale).size(), 2);
        store->setIncludeSubfolders(true);
        store->addFiles({QUrl::fromLocalFile(env().path(u"drop"_s))});
        QVERIFY(QTest::qWaitFor([&] { return store->jobs(Mode::upscale).size() == 4; }, settleMs));
        for (const ImageJobPtr &added : store->jobs(Mode::upscale).sliced(2))
            order.append(added->id());
        store->setMode(Mode::image);
        store->addPromptJob(u"a lighthouse"_s, {});
    }
    {
        QSqlDatabase reader = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"reader"_s);
        reader.setDatabaseName(env().environment().journalPath);
        QVERIFY(reader.open());
        QSqlQuery query(reader);
        QVERIFY(query.exec(u"SELECT id, position FROM jobs"_s));
        QHash<QUuid, qint64> positions;
        while (query.next())
            positions.insert(QUuid::fromString(query.value(0).toString()),
                             query.value(1).toLongLong());
        qint64 last = -1;
        for (const QUuid &id : std::as_const(order)) {
            QVERIFY(positions.contains(id));
            QVERIFY2(positions.value(id) > last, "listed jobs are numbered in their order");
            last = positions.value(id);
        }
        reader.close();
    }
    QSqlDatabase::removeDatabase(u"reader"_s);
    const auto store = restoredStore(env().environment());
    QVERIFY(store);
    QList<QUuid> restored;
    for (const ImageJobPtr &listed : store->jobs(Mode::upscale))
        restored.append(listed->id());
    QCOMPARE(restored, order);
    QCOMPARE(store->jobs(Mode::upscale).last()->input(), JobInput::file(dropped.last()));
    QCOMPARE(store->jobs(Mode::image).size(), 1);
    QCOMPARE(store->jobs(Mode::image).first()->input(), JobInput::prompt(u"a lighthouse"_s, {}));
}

void JournalTest::noCap()
{
    // On a first start the data folder the journal goes in is not there yet.
    m_standIn.surroundings().journalPath = env().path(u"data/Moonforge/journal.sqlite3"_s);
    const QUrl photo = image(env(), u"photo.png"_s);
    const QUrl result = image(env(), u"result.png"_s);
    {
        const auto store = restoredStore(env().environment());
        QVERIFY(store);
        QList<ImageJobPtr> jobs;
        for (int i = 1; i <= 150; ++i)
            jobs.append(job(JobInput::file(photo), {pair(RunStatus::done(), result)}, i));
        store->setJobs(jobs);
    }
    const auto store = restoredStore(env().environment());
    QVERIFY(store);
    const QList<ImageJobPtr> jobs = store->jobs(Mode::upscale);
    QCOMPARE(jobs.size(), 150);
    QCOMPARE(jobs.first()->byteSize(), 1);
    QCOMPARE(jobs.last()->byteSize(), 150);
}

void JournalTest::historyIsImportedOnceAndLeftInPlace()
{
    const QUrl photo = image(env(), u"photo.png"_s);
    JobSnapshot finished{Mode::upscale, photo, {}, {}, 8, 8, 77, {}};
    finished.variants = {
        {flux, u"Flux"_s, image(env(), u"up.png"_s), 16, 16, 3.0, CostRange{1, 2}}};
    const QByteArray history = *JobSnapshot::encode({finished});
    StoredDocument::store(env(), AppStore::historyKey, history);
    {
        const auto store = restoredStore(env().environment());
        QVERIFY(store);
        QCOMPARE(store->jobs(Mode::upscale).size(), 1);
        const ModelVariantPtr variant = store->jobs(Mode::upscale).first()->variants().first();
        QCOMPARE(variant->status(), RunStatus::done());
        QCOMPARE(variant->cost(), std::optional(CostRange{1, 2}));
        store->removeAll();
    }
    // Removed since: the record, still in the settings, is not read a second time.
    const auto store = restoredStore(env().environment());
    QVERIFY(store);
    QVERIFY(store->jobs(Mode::upscale).isEmpty());
    QCOMPARE(StoredDocument::stored(env(), AppStore::historyKey), history);
}

void JournalTest::corruptJournalIsSetAsideAndReported()
{
    const QString path = env().environment().journalPath;
    const QByteArray garbage(4096, 'x');
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(garbage);
    }
    const ImageJobPtr added = job(JobInput::prompt(u"after"_s), {pair(RunStatus::waiting())});
    {
        const auto store = restoredStore(env().environment());
        QVERIFY(store);
        QVERIFY2(store->journalProblem().contains(u"damaged"_s),
                 qPrintable(store->journalProblem()));
        const QStringList aside =
            QDir(env().path({})).entryList({u"journal.sqlite3.corrupt-*"_s}, QDir::Files);
        QCOMPARE(aside.size(), 1);
        QVERIFY(store->journalProblem().contains(aside.first()));
        QFile kept(env().path(aside.first()));
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), garbage);
        store->setJobs({added});
    }
    // The fresh journal keeps what came after.
    const auto store = restoredStore(env().environment());
    QVERIFY(store);
    QVERIFY(store->journalProblem().isEmpty());
    QCOMPARE(store->jobs(Mode::upscale).size(), 1);
    QCOMPARE(store->jobs(Mode::upscale).first()->id(), added->id());
}

void JournalTest::lockedJournalIsReportedAndLeftAlone()
{
    const QString path = env().environment().journalPath;
    {
        // Another instance of the application holds the file, as the journal itself does.
        QSqlDatabase holder = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"holder"_s);
        holder.setDatabaseName(path);
        QVERIFY(holder.open());
        QSqlQuery query(holder);
        QVERIFY(query.exec(u"PRAGMA locking_mode=EXCLUSIVE"_s));
        QVERIFY(query.exec(u"CREATE TABLE other (value INTEGER)"_s));
        {
            const auto store = restoredStore(env().environment());
            QVERIFY(store);
            QVERIFY2(store->journalProblem().contains(u"in use"_s),
                     qPrintable(store->journalProblem()));
            QVERIFY(store->jobs(Mode::upscale).isEmpty());
            store->setJobs(
                {job(JobInput::prompt(u"kept in memory"_s), {pair(RunStatus::waiting())})});
            QCOMPARE(store->jobs(Mode::upscale).size(), 1);
        }
        QVERIFY(query.exec(u"SELECT count(*) FROM sqlite_master"_s) && query.next());
        QCOMPARE(query.value(0).toInt(), 1); // nothing of ours was written into it
        holder.close();
    }
    QSqlDatabase::removeDatabase(u"holder"_s);
}

void JournalTest::previewsArriveInOrderOnTheGuiThread()
{
    {
        const auto store = restoredStore(env().environment());
        QVERIFY(store);
        QList<ImageJobPtr> jobs;
        for (int i = 0; i < 3; ++i) {
            // Large enough that a preview takes a while to make.
            const QUrl source = image(env(), u"s%1.png"_s.arg(i), 1600);
            jobs.append(job(JobInput::file(source), {pair(RunStatus::done(), source)}, i));
        }
        store->setJobs(jobs);
    }
    AppStore store(env().environment());
    QList<qint64> order;
    connect(&store, &AppStore::restoringChanged, this, [&] {
        for (const ImageJobPtr &job : store.jobs(Mode::upscale)) {
            QVERIFY(job->thumbnail().isNull()); // nobody waited for it
            connect(job.get(), &ImageJob::thumbnailChanged, this, [&order, job] {
                QCOMPARE(QThread::currentThread(), QCoreApplication::instance()->thread());
                order.append(job->byteSize());
            });
        }
    });
    QTRY_COMPARE(order.size(), 3);
    QCOMPARE(order, (QList<qint64>{0, 1, 2}));
    const QImage last = store.jobs(Mode::upscale).last()->thumbnail();
    QCOMPARE(qMax(last.width(), last.height()), 128);
}

std::unique_ptr<AppStore> JournalTest::restartWith(const InFlight &seeded)
{
    JournalRun run;
    run.id = QUuid::createUuid();
    run.mode = Mode::image;
    run.destinationFolder = env().path(u"results"_s);
    run.fallbackExtension = u"png"_s;
    QDir().mkpath(run.destinationFolder);
    {
        JournalDatabase journal(env().environment().journalPath);
        const JournalContents opened = journal.open({});
        if (!opened.isOpen) {
            qWarning() << opened.problem;
            return nullptr;
        }
        JournalBatch batch;
        batch.jobs = {seeded.job};
        batch.jobPairs = {{seeded.job.id, {seeded.pair}}};
        batch.runs = {run};
        batch.pairRuns = {{seeded.pair.id, run.id}};
        if (seeded.pair.createSentAt.isValid())
            batch.createsSent = {seeded.pair};
        batch.placements = seeded.placements;
        if (!journal.apply(batch))
            return nullptr;
    }
    m_standIn.service().reset();
    auto store = m_standIn.makeStore();
    if (!store || !QTest::qWaitFor([&] { return !store->isRestoring(); }, settleMs))
        return nullptr;
    return store;
}

QString JournalTest::createPrediction(const QJsonObject &input)
{
    const auto reply = m_standIn.service().call(
        "POST", u"/v1/models/%1/predictions"_s.arg(flux),
        QJsonDocument(QJsonObject{{u"input"_s, input}}).toJson(),
        {{"Authorization", "Bearer r8_sim"}, {"Content-Type", "application/json"}});
    return reply ? reply->object().value(u"id"_s).toString() : QString();
}

void JournalTest::predictionAtTheServiceIsTakenUp_data()
{
    QTest::addColumn<QString>("prompt");
    QTest::addColumn<bool>("cancelledWhileAway");
    QTest::addColumn<RunStatus>("ending");
    QTest::newRow("running") << u"A lighthouse"_s << false << RunStatus::done();
    QTest::newRow("cancelled while away") << u"A lighthouse"_s << true << RunStatus::cancelled();
    QTest::newRow("failed while away")
        << u"A lighthouse sim:fail"_s << false << RunStatus::failed(u"Simulated model error"_s);
}

void JournalTest::predictionAtTheServiceIsTakenUp()
{
    QFETCH(QString, prompt);
    QFETCH(bool, cancelledWhileAway);
    QFETCH(RunStatus, ending);
    InFlight seeded = inFlight(prompt);
    seeded.pair.predictionId = createPrediction({{u"prompt"_s, prompt}});
    QVERIFY(!seeded.pair.predictionId.isEmpty());
    if (cancelledWhileAway)
        QVERIFY(m_standIn.service().call(
            "POST", u"/v1/predictions/%1/cancel"_s.arg(seeded.pair.predictionId), {},
            {{"Authorization", "Bearer r8_sim"}}));

    const qsizetype made = m_standIn.service().predictions().size();
    const auto store = restartWith(seeded);
    QVERIFY(store);
    const ModelVariantPtr variant = store->jobs(Mode::image).first()->variants().first();
    QTRY_VERIFY_WITH_TIMEOUT(variant->status().isTerminal(), settleMs);
    QTRY_VERIFY(!store->isRunning());
    QCOMPARE(variant->status(), ending);
    // Nothing was made a second time: the one prediction is the one the journal named.
    QCOMPARE(m_standIn.service().predictions().size(), made);
    QVERIFY(
        !m_standIn.service().requests(u"/v1/predictions/"_s + seeded.pair.predictionId).isEmpty());
    if (ending == RunStatus::done()) {
        QVERIFY(variant->resultExists());
        QCOMPARE(QFileInfo(variant->resultURL().toLocalFile()).dir().path(),
                 env().path(u"results"_s));
    }
}

void JournalTest::lostCreateIsFoundInTheList_data()
{
    QTest::addColumn<bool>("reachedTheService");
    QTest::newRow("created") << true;
    QTest::newRow("never created") << false;
}

void JournalTest::lostCreateIsFoundInTheList()
{
    QFETCH(bool, reachedTheService);
    const QString prompt = u"A held create, "_s + QLatin1String(QTest::currentDataTag());
    const QJsonObject input{{u"prompt"_s, prompt}};
    InFlight seeded = inFlight(prompt);
    seeded.pair.createSentAt = QDateTime::currentDateTimeUtc();
    seeded.pair.createInput = QString::fromUtf8(QJsonDocument(input).toJson());
    // Another pair's prediction, made meanwhile with other input, is not taken for this one.
    QVERIFY(!createPrediction({{u"prompt"_s, u"Something else"_s}}).isEmpty());
    const QString lost = reachedTheService ? createPrediction(input) : QString();

    const qsizetype made = m_standIn.service().predictions().size();
    const auto store = restartWith(seeded);
    QVERIFY(store);
    const ModelVariantPtr variant = store->jobs(Mode::image).first()->variants().first();
    QTRY_VERIFY_WITH_TIMEOUT(!store->isRunning(), settleMs);
    QVERIFY(!m_standIn.service().requests(u"/v1/predictions"_s).isEmpty());
    QCOMPARE(m_standIn.service().predictions().size(), made);
    if (reachedTheService) {
        QCOMPARE(variant->status(), RunStatus::done());
        QCOMPARE(variant->predictionId(), std::optional(lost));
    } else {
        QCOMPARE(variant->status(), RunStatus::waiting());
    }
}

void JournalTest::outputNamedBeforeTheEndIsNotWrittenTwice_data()
{
    QTest::addColumn<bool>("moved");
    QTest::newRow("moved into place") << true;
    QTest::newRow("named, not moved") << false;
}

void JournalTest::outputNamedBeforeTheEndIsNotWrittenTwice()
{
    QFETCH(bool, moved);
    InFlight seeded = inFlight(u"A harbour at night"_s);
    seeded.pair.predictionId = createPrediction({{u"prompt"_s, seeded.job.source}});
    QVERIFY(!seeded.pair.predictionId.isEmpty());
    QVERIFY(QDir().mkpath(env().path(u"results"_s)));
    // The name the result gets when it is written after the restart.
    const QString placed = env().path(u"results/A-harbour-at-night.png"_s);
    if (moved)
        image(env(), u"results/A-harbour-at-night.png"_s);
    seeded.placements = {{seeded.pair.id, std::nullopt, env().path(u"results"_s)},
                         {seeded.pair.id, 0, placed}};

    const auto store = restartWith(seeded);
    QVERIFY(store);
    const ModelVariantPtr variant = store->jobs(Mode::image).first()->variants().first();
    QTRY_VERIFY_WITH_TIMEOUT(variant->status().isTerminal(), settleMs);
    QVERIFY2(variant->status() == RunStatus::done(), qPrintable(variant->status().message()));
    QCOMPARE(variant->resultURL(), QUrl::fromLocalFile(placed));
    if (moved)
        QCOMPARE(variant->resultPixelSize(), std::optional(QSizeF(8, 8)));
    // One result file and nothing else: no second copy, no part left.
    QCOMPARE(QDir(env().path(u"results"_s)).entryList(QDir::Files | QDir::Hidden),
             QStringList{QFileInfo(placed).fileName()});
    QCOMPARE(m_standIn.service().requests(u"/delivery/"_s).isEmpty(), moved);
}

void JournalTest::onlyThePairsOwnLeftoverPartIsRemoved_data()
{
    // "{pair}" stands for the pair's id, "{other}" for another pair's.
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("removed");
    QTest::newRow("its part") << u"results/.moonforge-{pair}-a1B2c3.part"_s << true;
    QTest::newRow("another pair's part") << u"results/.moonforge-{other}-a1B2c3.part"_s << false;
    QTest::newRow("a part of no pair") << u"results/.moonforge-a1B2c3.part"_s << false;
    QTest::newRow("a longer name") << u"results/.moonforge-{pair}-a1B2c3.part.keep"_s << false;
    QTest::newRow("other letters") << u"results/.moonforge-{pair}-a1B2c.part"_s << false;
    QTest::newRow("another folder") << u"elsewhere/.moonforge-{pair}-a1B2c3.part"_s << false;
}

void JournalTest::onlyThePairsOwnLeftoverPartIsRemoved()
{
    QFETCH(QString, file);
    QFETCH(bool, removed);
    InFlight seeded = inFlight(u"A pier"_s);
    seeded.pair.status = RunStatus::Kind::failed;
    seeded.placements = {{seeded.pair.id, std::nullopt, env().path(u"results"_s)}};
    file.replace(u"{pair}"_s, seeded.pair.id.toString(QUuid::WithoutBraces));
    file.replace(u"{other}"_s, QUuid::createUuid().toString(QUuid::WithoutBraces));
    QVERIFY(QDir().mkpath(QFileInfo(env().path(file)).absolutePath()));
    QFile leftover(env().path(file));
    QVERIFY(leftover.open(QIODevice::WriteOnly));
    leftover.write("half a result");
    leftover.close();

    const auto store = restartWith(seeded);
    QVERIFY(store);
    QCOMPARE(QFileInfo::exists(env().path(file)), !removed);
}

QTEST_GUILESS_MAIN(JournalTest)
#include "tst_journal.moc"
