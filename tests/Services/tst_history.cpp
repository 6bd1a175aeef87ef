#include "Models/HistorySnapshot.h"
#include "Services/AppStore.h"
#include "Services/SettingsWriter.h"
#include "StoredDocument.h"
#include "TestEnvironment.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>
#include <QThread>

namespace
{

const QString key = "MoonforgeHistory.v1";

QList<JobSnapshot> fixtureSnapshots()
{
    const auto file = [](const char *path) { return QUrl::fromLocalFile(path); };
    JobSnapshot upscale{
        Mode::upscale, file("/home/ana/Pictures/beach day.jpg"), {}, {}, 1024, 768, 482133, {}};
    upscale.variants = {{"tarnwick/crystal-upscaler", "Crystal",
                         file("/home/ana/Pictures/beach day-4x.png"), 4096, 3072, 12.5,
                         CostRange{0.05, 0.1}}};
    JobSnapshot prompt{
        Mode::image, {}, "a lighthouse \"at\" dusk", {file("/home/ana/ref#1.png")}, {}, {}, 0, {}};
    prompt.variants = {{"google/nano-banana",
                        "Nano Banana",
                        file("/home/ana/Pictures/Moonforge/lighthouse.png"),
                        {},
                        {},
                        {},
                        {}}};
    return {upscale, prompt};
}

QUrl image(const TestEnvironment &env, const QString &name, int side = 8)
{
    QImage picture(side, side, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    picture.save(env.path(name));
    return QUrl::fromLocalFile(env.path(name));
}

ImageJobPtr finishedJob(const JobInput &input, const QUrl &result, qint64 bytes = 0,
                        RunStatus status = RunStatus::done())
{
    auto job = std::make_shared<ImageJob>(input);
    job->setByteSize(bytes);
    auto variant = std::make_shared<ModelVariant>("google/upscaler", "Google Upscaler");
    variant->setStatus(status);
    variant->setResultURL(result);
    job->setVariants({variant});
    return job;
}

} // namespace

class TstHistory : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fixtureIsWrittenByteForByte()
    {
        const QByteArray golden = StoredDocument::fixture("history.json");
        const std::optional<QByteArray> written = JobSnapshot::encode(fixtureSnapshots());
        QVERIFY(written);
        QCOMPARE(QJsonDocument::fromJson(*written), QJsonDocument::fromJson(golden));
        QCOMPARE(*written, golden);
        QCOMPARE(JobSnapshot::decode(golden), fixtureSnapshots());
    }

    void requiredKeys_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QJsonValue>("replacement");
        QTest::addColumn<bool>("readable");
        const QJsonValue none(QJsonValue::Undefined);
        for (const char *field : {"mode", "references", "byteSize", "variants"})
            QTest::newRow(field) << QString("0/") + field << none << false;
        for (const char *field : {"slug", "title", "resultURL"})
            QTest::newRow(field) << QString("0/variants/0/") + field << none << false;
        for (const char *field : {"fileURL", "pixelWidth", "pixelHeight"})
            QTest::newRow(field) << QString("0/") + field << none << true;
        for (const char *field : {"resultWidth", "elapsed", "cost"})
            QTest::newRow(field) << QString("0/variants/0/") + field << none << true;
        QTest::newRow("fractional byteSize") << "0/byteSize" << QJsonValue(1.5) << false;
        QTest::newRow("whole double byteSize") << "0/byteSize" << QJsonValue(12.0) << true;
        QTest::newRow("cost of three")
            << "0/variants/0/cost" << QJsonValue(QJsonArray{1, 2, 3}) << false;
        QTest::newRow("reversed cost")
            << "0/variants/0/cost" << QJsonValue(QJsonArray{2, 1}) << false;
        QTest::newRow("reference not text") << "1/references/0" << QJsonValue(true) << false;
    }

    void requiredKeys()
    {
        QFETCH(QString, path);
        QFETCH(QJsonValue, replacement);
        QFETCH(bool, readable);
        const QByteArray bytes =
            StoredDocument::edited(StoredDocument::fixture("history.json"), path, replacement);
        QCOMPARE(StoredDocument::reads(bytes, &JobSnapshot::decode), readable);
    }

    void saveKeepsOnlyResultsOnDisk()
    {
        TestEnvironment env;
        const QUrl source = image(env, "a.png");
        const QUrl deleted = image(env, "deleted.png");
        QFile::remove(deleted.toLocalFile());
        AppStore appStore(env.environment());
        appStore.setJobs(
            {finishedJob(JobInput::file(source), image(env, "r.png"), 1, RunStatus::failed("no")),
             finishedJob(JobInput::file(source), deleted, 2),
             finishedJob(JobInput::file(source), image(env, "kept.png"), 3)});
        appStore.saveHistory();
        appStore.settingsWriter().flush();
        const QList<JobSnapshot> saved = JobSnapshot::decode(StoredDocument::stored(env, key));
        QCOMPARE(saved.size(), 1);
        QCOMPARE(saved.first().byteSize, 3);
    }

    void capIsPerMode()
    {
        TestEnvironment env;
        const QUrl source = image(env, "a.png");
        const QUrl result = image(env, "r.png");
        {
            AppStore appStore(env.environment());
            QList<ImageJobPtr> upscale, prompts;
            for (int i = 1; i <= 105; ++i)
                upscale << finishedJob(JobInput::file(source), result, i);
            for (int i = 1; i <= 100; ++i)
                prompts << finishedJob(JobInput::prompt("p"), result, i);
            appStore.setJobs(upscale);
            appStore.setMode(Mode::image);
            appStore.setJobs(prompts);
            appStore.saveHistory();
        }
        AppStore restored(env.environment());
        const QList<ImageJobPtr> upscale = restored.jobs(Mode::upscale);
        QCOMPARE(upscale.size(), 100);
        QCOMPARE(upscale.first()->byteSize(), 6);
        QCOMPARE(upscale.last()->byteSize(), 105);
        QCOMPARE(restored.jobs(Mode::image).size(), 100);
    }

    void restoreDropsMissingFiles()
    {
        TestEnvironment env;
        const QUrl result = image(env, "r.png");
        const QUrl gone = QUrl::fromLocalFile(env.path("gone.png"));
        JobSnapshot missingSource{Mode::upscale, gone, {}, {}, 1, 1, 1, {}};
        missingSource.variants = {{"a/b", "B", result, 2, std::nullopt, 3.0, std::nullopt}};
        JobSnapshot prompt = missingSource;
        prompt.mode = Mode::image;
        prompt.fileURL.reset();
        prompt.prompt = "dusk";
        prompt.references = {gone, image(env, "ref.png")};
        prompt.pixelHeight.reset();
        prompt.variants.append({"c/d", "D", gone, 1, 1, 1, CostRange{1, 1}});
        StoredDocument::store(env, key, *JobSnapshot::encode({missingSource, prompt}));

        AppStore appStore(env.environment());
        QVERIFY(appStore.jobs(Mode::upscale).isEmpty());
        const QList<ImageJobPtr> jobs = appStore.jobs(Mode::image);
        QCOMPARE(jobs.size(), 1);
        QCOMPARE(jobs.first()->input().references(), QList<QUrl>{image(env, "ref.png")});
        QVERIFY(!jobs.first()->pixelSize()); // width without height
        QCOMPARE(jobs.first()->variants().size(), 1);
        const ModelVariantPtr variant = jobs.first()->variants().first();
        QCOMPARE(variant->status(), RunStatus::done());
        QVERIFY(!variant->resultPixelSize());
        QCOMPARE(variant->elapsed(), 3.0);
    }

    void unreadableDocumentIsKeptAside()
    {
        TestEnvironment env;
        const QByteArray bad = "[{\"mode\":\"upscale\"}]";
        StoredDocument::store(env, key, bad);
        AppStore appStore(env.environment());
        QVERIFY(appStore.jobs(Mode::upscale).isEmpty());
        appStore.settingsWriter().flush();
        QCOMPARE(StoredDocument::stored(env, key), bad);
        appStore.saveHistory();
        appStore.settingsWriter().flush();
        QCOMPARE(StoredDocument::stored(env, key + ".unreadable"), bad);
        QCOMPARE(StoredDocument::stored(env, key), QByteArray("[]"));
    }

    void previewsArriveInOrderOnTheGuiThread()
    {
        TestEnvironment env;
        QList<JobSnapshot> snapshots;
        for (int i = 0; i < 3; ++i) {
            // Large enough that a preview takes a while to make.
            const QUrl source = image(env, QString("s%1.png").arg(i), 1600);
            snapshots.append({Mode::upscale, source, {}, {}, {}, {}, i, {}});
            snapshots.last().variants = {{"a/b", "B", source, {}, {}, {}, {}}};
        }
        StoredDocument::store(env, key, *JobSnapshot::encode(snapshots));
        AppStore appStore(env.environment());
        const QList<ImageJobPtr> jobs = appStore.jobs(Mode::upscale);
        QCOMPARE(jobs.size(), 3);
        QVERIFY(jobs.first()->thumbnail().isNull()); // the constructor did not wait for it
        QList<qint64> order;
        for (const ImageJobPtr &job : jobs)
            connect(job.get(), &ImageJob::thumbnailChanged, this, [&order, job] {
                QCOMPARE(QThread::currentThread(), QCoreApplication::instance()->thread());
                order.append(job->byteSize());
            });
        QTRY_COMPARE(order.size(), 3);
        QCOMPARE(order, (QList<qint64>{0, 1, 2}));
        QCOMPARE(qMax(jobs.last()->thumbnail().width(), jobs.last()->thumbnail().height()), 128);
    }
};

QTEST_GUILESS_MAIN(TstHistory)
#include "tst_history.moc"
