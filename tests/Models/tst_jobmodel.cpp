#include "Models/AppError.h"
#include "Models/ImageJob.h"
#include "Models/Mode.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

using Kind = RunStatus::Kind;

namespace
{

RunStatus statusNamed(const QString &name)
{
    if (name == QLatin1String("waiting"))
        return RunStatus::waiting();
    if (name == QLatin1String("preparing"))
        return RunStatus::preparing();
    if (name == QLatin1String("uploading"))
        return RunStatus::uploading();
    if (name == QLatin1String("running"))
        return RunStatus::running();
    if (name == QLatin1String("downloading"))
        return RunStatus::downloading();
    if (name == QLatin1String("done"))
        return RunStatus::done();
    if (name == QLatin1String("cancelled"))
        return RunStatus::cancelled();
    if (name.startsWith(QLatin1String("failed:")))
        return RunStatus::failed(name.mid(7));
    qFatal("unknown status name");
}

ImageJobPtr jobWith(const QStringList &statuses)
{
    auto job = std::make_shared<ImageJob>(JobInput::prompt(u"x"_s));
    QList<ModelVariantPtr> variants;
    int index = 0;
    for (const QString &name : statuses) {
        auto variant = std::make_shared<ModelVariant>(u"o/m%1"_s.arg(index++), u"M"_s);
        variant->setStatus(statusNamed(name));
        variants.append(variant);
    }
    job->setVariants(variants);
    return job;
}

} // namespace

class TestJobModel : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void modeKeysRoundTrip()
    {
        QCOMPARE(Modes::all().size(), 3);
        for (Mode mode : Modes::all())
            QCOMPARE(Modes::fromKey(Modes::key(mode)), mode);
        QCOMPARE(Modes::key(Mode::upscale), u"upscale"_s);
        QCOMPARE(Modes::blurb(Mode::video), u"Generate video from a prompt."_s);
        QVERIFY(!Modes::fromKey(u"Upscale"_s).has_value());
        QVERIFY(Modes::userFolder(QStandardPaths::PicturesLocation).endsWith(u"/Moonforge"_s));
    }

    void statusGroups_data()
    {
        QTest::addColumn<QString>("status");
        QTest::addColumn<bool>("active");
        QTest::addColumn<bool>("terminal");
        QTest::addColumn<bool>("pending");
        QTest::newRow("waiting") << "waiting" << false << false << true;
        QTest::newRow("preparing") << "preparing" << true << false << false;
        QTest::newRow("uploading") << "uploading" << true << false << false;
        QTest::newRow("running") << "running" << true << false << false;
        QTest::newRow("downloading") << "downloading" << true << false << false;
        QTest::newRow("done") << "done" << false << true << false;
        QTest::newRow("failed") << "failed:x" << false << true << true;
        QTest::newRow("cancelled") << "cancelled" << false << true << true;
    }
    void statusGroups()
    {
        QFETCH(QString, status);
        const RunStatus value = statusNamed(status);
        QTEST(value.isActive(), "active");
        QTEST(value.isTerminal(), "terminal");
        QTEST(value.isPending(), "pending");
    }

    void jobSummaryStatus_data()
    {
        QTest::addColumn<QStringList>("variants");
        QTest::addColumn<QString>("expected");
        QTest::newRow("none") << QStringList{} << "waiting";
        QTest::newRow("done beats failure") << QStringList{"done", "failed:x"} << "done";
        QTest::newRow("first failure") << QStringList{"failed:x", "cancelled"} << "failed:x";
        QTest::newRow("two failures keep the first")
            << QStringList{"cancelled", "failed:first", "failed:second"} << "failed:first";
        QTest::newRow("waiting beats cancelled")
            << QStringList{"cancelled", "waiting"} << "waiting";
        QTest::newRow("first active") << QStringList{"done", "uploading", "running"} << "uploading";
        QTest::newRow("active beats waiting")
            << QStringList{"waiting", "downloading"} << "downloading";
        QTest::newRow("all cancelled") << QStringList{"cancelled", "cancelled"} << "cancelled";
        QTest::newRow("waiting beats done") << QStringList{"done", "waiting"} << "waiting";
    }
    void jobSummaryStatus()
    {
        QFETCH(QStringList, variants);
        QFETCH(QString, expected);
        QCOMPARE(jobWith(variants)->status(), statusNamed(expected));
    }

    // File jobs take the name without its last extension; prompts become hyphenated words.
    void filenameStem_data()
    {
        QTest::addColumn<bool>("isFile");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("stem");
        const auto row = [](bool isFile) {
            return [isFile](const char *name, const char *text, const char *stem) {
                QTest::newRow(name) << isFile << QString::fromUtf8(text) << QString::fromUtf8(stem);
            };
        };
        const auto file = row(true);
        const auto prompt = row(false);
        file("jpeg", "/photos/holiday.jpeg", "holiday");
        file("last extension only", "/a/scan.tar.gz", "scan.tar");
        file("no extension", "/a/README", "README");
        file("spaces and accents", "/a/Été à Nice.HEIC", "Été à Nice");
        prompt("english", "A cat, resting on the moon at night!", "A-cat-resting-on-the-moon");
        prompt("punctuation only", "?!… —", "generated");
        prompt("empty", "", "generated");
        prompt("japanese", "夜の 月、猫", "夜の-月-猫");
        prompt("cyrillic keeps case", "Кот  на Луне", "Кот-на-Луне");
        prompt("combining marks stay", "cafe\u0301 noir", "cafe\u0301-noir");
        prompt("devanagari vowel signs", "बिल्ली चाँद", "बिल्ली-चाँद");
        prompt("digits", "4k render, 16:9", "4k-render-16-9");
        prompt("astral letters", "𝒜 cat", "𝒜-cat");
    }
    void filenameStem()
    {
        QFETCH(bool, isFile);
        QFETCH(QString, text);
        ImageJob job(isFile ? JobInput::file(QUrl::fromLocalFile(text)) : JobInput::prompt(text));
        QTEST(job.filenameStem(), "stem");
    }

    void dimensionsTruncate_data()
    {
        QTest::addColumn<QSizeF>("size");
        QTest::addColumn<QString>("text");
        QTest::newRow("fractions") << QSizeF(1023.9, 767.2) << u"1023 × 767"_qs;
        QTest::newRow("whole") << QSizeF(2048, 1536) << u"2048 × 1536"_qs;
    }
    void dimensionsTruncate()
    {
        QFETCH(QSizeF, size);
        ModelVariant variant(u"o/n"_s, u"N"_s);
        QVERIFY(!variant.resultDimensions().has_value());
        variant.setResultPixelSize(size);
        QTEST(*variant.resultDimensions(), "text");
        ImageJob job(JobInput::file(QUrl::fromLocalFile(u"/a.png"_s)));
        job.setPixelSize(size);
        QTEST(*job.sourceDimensions(), "text");
    }

    void errorMessages_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("detail");
        QTest::addColumn<QString>("message");
        const auto row = [](const char *name, int status, const char *detail, const char *text) {
            QTest::newRow(name) << status << QString(detail) << QString(text);
        };
        row("401 ignores detail", 401, "Unauthenticated", "Replicate rejected the API token.");
        row("402", 402, "", "Replicate says this account needs billing set up.");
        row("429 with detail", 429, "Request was throttled.",
            "Rate limited by Replicate. Try fewer at a time.");
        row("500 empty", 500, "", "Replicate returned HTTP 500.");
        row("422 detail", 422, "Invalid input.", "Invalid input.");
        row("no answer", 0, "", "Replicate returned HTTP 0.");
    }
    void errorMessages()
    {
        QFETCH(int, status);
        QFETCH(QString, detail);
        const AppError error = AppError::api(status, detail);
        QTEST(error.message(), "message");
        QTEST(localizedDescription(error), "message");
        QCOMPARE(QString::fromUtf8(error.what()), error.message());
    }

    void fixedErrorMessages()
    {
        QCOMPARE(AppError::unreadableImage(u"a.cr3"_s).message(), u"Couldn't read a.cr3."_s);
        QCOMPARE(AppError::missingToken().message(),
                 u"Add your Replicate API token in Settings first."_s);
        QCOMPARE(AppError::noOutput().message(), u"The model finished but returned no file."_s);
        QCOMPARE(AppError::cancelled().message(), u"Cancelled."_s);
        QCOMPARE(AppError::predictionFailed(u"NSFW"_s).message(), u"NSFW"_s);
        QCOMPARE(localizedDescription(std::runtime_error("disk full")), u"disk full"_s);
    }

    void setterEmitsOnlyOnChange()
    {
        ModelVariant variant(u"o/n"_s, u"N"_s);
        QSignalSpy status(&variant, &ModelVariant::statusChanged);
        QSignalSpy cost(&variant, &ModelVariant::costChanged);
        variant.setStatus(RunStatus::waiting());
        QCOMPARE(status.count(), 0);
        variant.setStatus(RunStatus::failed(u"a"_s));
        variant.setStatus(RunStatus::failed(u"a"_s));
        QCOMPARE(status.count(), 1);
        variant.setStatus(RunStatus::failed(u"b"_s));
        QCOMPARE(status.count(), 2);
        variant.setStatus(RunStatus::cancelled()); // not the same as a failure without a message
        variant.setStatus(RunStatus::failed(QString()));
        QCOMPARE(status.count(), 4);
        variant.setCost(CostRange{0.1, 0.2});
        variant.setCost(CostRange{0.1, 0.2});
        QCOMPARE(cost.count(), 1);

        ImageJob job(JobInput::prompt(u"p"_s));
        QSignalSpy bytes(&job, &ImageJob::byteSizeChanged);
        job.setByteSize(0);
        job.setByteSize(10);
        job.setByteSize(10);
        QCOMPARE(bytes.count(), 1);
    }

    void resetKeepsIdentityAndWork()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"out.png"_s);
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("x");
        file.close();

        ModelVariant variant(u"o/n"_s, u"N"_s);
        const QUuid id = variant.id();
        const TaskHandle work;
        variant.setWork(work);
        variant.setStatus(RunStatus::done());
        variant.setResultURL(QUrl::fromLocalFile(path));
        variant.setElapsed(3.5);
        variant.setCost(CostRange{1, 2});
        variant.setPredictionCancelURL(u"http://x/cancel"_s);
        QVERIFY(variant.resultExists());

        variant.reset();
        QCOMPARE(variant.id(), id);
        QVERIFY(variant.work().has_value() && *variant.work() == work);
        QCOMPARE(variant.status(), RunStatus::waiting());
        QVERIFY(!variant.resultExists());
        QVERIFY(!variant.elapsed() && !variant.cost() && !variant.predictionCancelURL());
    }

    void viewableResultNeedsFileOnDiskWhenLookedAt()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"r.png"_s);
        auto job = jobWith({"done", "failed:x"});
        job->variants().at(0)->setResultURL(QUrl::fromLocalFile(path));
        QSignalSpy changed(job->variants().at(0).get(), &ModelVariant::resultChanged);
        QCOMPARE(job->doneVariants().size(), 1);
        QVERIFY(!job->hasViewableResult());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        // Reading the record never touches the disk; only a refresh does.
        QVERIFY(!job->hasViewableResult());
        job->refreshResultFiles();
        QVERIFY(job->hasViewableResult());
        QFile::remove(path);
        QVERIFY(job->hasViewableResult());
        job->refreshResultFiles();
        job->refreshResultFiles();
        QVERIFY(!job->hasViewableResult());
        QCOMPARE(changed.count(), 2);
    }

    void taskHandleCancelRunsHooksOnce()
    {
        TaskHandle handle;
        int calls = 0;
        {
            auto registration = handle.onCancel([&calls] { ++calls; });
            auto dropped = handle.onCancel([&calls] { calls += 100; });
            dropped = TaskHandle::Registration();
            const TaskHandle copy = handle;
            copy.cancel();
            copy.cancel();
        }
        QCOMPARE(calls, 1);
        QVERIFY(handle.isCancelled());
        QVERIFY_THROWS_EXCEPTION(AppError, handle.throwIfCancelled());
        auto late = handle.onCancel([&calls] { ++calls; });
        QCOMPARE(calls, 2);
        QVERIFY(!(TaskHandle() == handle));
    }
};

QTEST_GUILESS_MAIN(TestJobModel)
#include "tst_jobmodel.moc"
