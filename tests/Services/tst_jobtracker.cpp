#include "Services/AppStore.h"
#include "Services/JobTracker.h"
#include "TestEnvironment.h"

#include <QSignalSpy>
#include <QTest>

using Change = JobTracker::Change;
using Changes = JobTracker::Changes;
using Listings = QList<QList<int>>;

namespace
{

ImageJobPtr makeJob(int number)
{
    auto job = std::make_shared<ImageJob>(JobInput::prompt(QStringLiteral("job %1").arg(number)));
    job->setVariants(
        {std::make_shared<ModelVariant>(QStringLiteral("owner/model"), QStringLiteral("Model"))});
    return job;
}

QList<ImageJobPtr> pick(const QList<ImageJobPtr> &jobs, const QList<int> &numbers)
{
    QList<ImageJobPtr> picked;
    for (int n : numbers)
        picked.append(jobs.at(n));
    return picked;
}

// A status other than the variant's own, so the setter always publishes.
void changeStatus(const ImageJobPtr &job)
{
    const ModelVariantPtr &variant = job->variants().first();
    variant->setStatus(variant->status() == RunStatus::running() ? RunStatus::downloading()
                                                                 : RunStatus::running());
}

// The batches heard, one entry per batch, each job by its number.
QList<QList<int>> batches(const QSignalSpy &spy, const QList<ImageJobPtr> &jobs)
{
    QList<QList<int>> heard;
    for (const QList<QVariant> &call : spy) {
        QList<int> numbers;
        for (const ImageJobPtr &job : call.at(0).value<QList<ImageJobPtr>>())
            numbers.append(int(jobs.indexOf(job)));
        heard.append(numbers);
    }
    return heard;
}

} // namespace

class TstJobTracker : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void reportsEachChangedJobOncePerTurn_data();
    void reportsEachChangedJobOncePerTurn();
    void tellsTheKindOfChange_data();
    void tellsTheKindOfChange();
    void followsTheVariantsAJobHasNow();
    void holdKeepsAnUnlistedJobFollowed();
    void addFollowsAppendedJobsUntilTheNextListing();
    void storeFollowsEveryModesJobs();
};

void TstJobTracker::reportsEachChangedJobOncePerTurn_data()
{
    QTest::addColumn<QList<int>>("listed");
    QTest::addColumn<QList<int>>("changedFirst");
    // Listings that follow within the same turn, as a drop's slices or a removal make them.
    QTest::addColumn<Listings>("relisted");
    QTest::addColumn<QList<int>>("changedThen");
    QTest::addColumn<QList<int>>("reported");
    // How often a change is told at once: once per change of a followed job.
    QTest::addColumn<int>("told");

    QTest::newRow("each job once, in order of its first change")
        << QList<int>{0, 1, 2} << QList<int>{1, 0, 1, 1} << Listings{} << QList<int>{0}
        << QList<int>{1, 0} << 5;
    QTest::newRow("jobs of a new slice are followed")
        << QList<int>{0} << QList<int>{} << Listings{{0, 1}, {0, 1, 2}} << QList<int>{2, 0, 1}
        << QList<int>{2, 0, 1} << 3;
    QTest::newRow("a job removed is not reported")
        << QList<int>{0, 1} << QList<int>{0, 1} << Listings{{1}} << QList<int>{0, 1}
        << QList<int>{1} << 3;
    QTest::newRow("a job removed and added again is followed once")
        << QList<int>{0, 1} << QList<int>{0} << Listings{{1}, {1, 0}} << QList<int>{0}
        << QList<int>{0} << 2;
    QTest::newRow("every job removed") << QList<int>{0, 1} << QList<int>{0, 1} << Listings{{}}
                                       << QList<int>{0, 1} << QList<int>{} << 2;
    QTest::newRow("no change, no report") << QList<int>{0, 1} << QList<int>{} << Listings{{0, 1}}
                                          << QList<int>{} << QList<int>{} << 0;
}

void TstJobTracker::reportsEachChangedJobOncePerTurn()
{
    QFETCH(QList<int>, listed);
    QFETCH(QList<int>, changedFirst);
    QFETCH(Listings, relisted);
    QFETCH(QList<int>, changedThen);
    QFETCH(QList<int>, reported);
    QFETCH(int, told);

    QList<ImageJobPtr> jobs;
    for (int n = 0; n < 3; ++n)
        jobs.append(makeJob(n));
    JobTracker tracker;
    QSignalSpy updated(&tracker, &JobTracker::jobsUpdated);
    QSignalSpy changed(&tracker, &JobTracker::jobChanged);
    tracker.track(pick(jobs, listed));
    for (int n : changedFirst)
        changeStatus(jobs.at(n));
    for (const QList<int> &listing : relisted)
        tracker.track(pick(jobs, listing));
    for (int n : changedThen)
        changeStatus(jobs.at(n));
    QCOMPARE(updated.count(), 0);
    QCOMPARE(changed.count(), told);

    QTest::qWait(1);
    const QList<QList<int>> expected =
        reported.isEmpty() ? QList<QList<int>>{} : QList<QList<int>>{reported};
    QCOMPARE(batches(updated, jobs), expected);
    // Nothing is left over for a later turn.
    QTest::qWait(1);
    QCOMPARE(updated.count(), expected.size());
}

void TstJobTracker::tellsTheKindOfChange_data()
{
    using Edit = std::function<void(ImageJob &, ModelVariant &)>;
    QTest::addColumn<Edit>("edit");
    QTest::addColumn<Changes>("expected");

    QTest::newRow("thumbnail") << Edit([](ImageJob &job, ModelVariant &) {
        job.setThumbnail(QImage(4, 4, QImage::Format_RGB32));
    }) << Changes(Change::preview);
    QTest::newRow("pixel size") << Edit([](ImageJob &job, ModelVariant &) {
        job.setPixelSize(QSizeF(40, 30));
    }) << Changes(Change::preview);
    QTest::newRow("status") << Edit([](ImageJob &, ModelVariant &variant) {
        variant.setStatus(RunStatus::running());
    }) << Changes(Change::status);
    QTest::newRow("result") << Edit([](ImageJob &, ModelVariant &variant) {
        variant.setResultURL(QUrl::fromLocalFile(QStringLiteral("/tmp/r.png")));
    }) << Changes(Change::result);
    QTest::newRow("cost and title") << Edit([](ImageJob &, ModelVariant &variant) {
        variant.setCost(CostRange{0.01, 0.01});
        variant.setModelTitle(QStringLiteral("Renamed"));
    }) << Changes(Change::details);
    QTest::newRow("status and result") << Edit([](ImageJob &, ModelVariant &variant) {
        variant.setResultURL(QUrl::fromLocalFile(QStringLiteral("/tmp/r.png")));
        variant.setStatus(RunStatus::done());
    }) << (Change::status | Change::result);
    // What no view shows is not followed.
    QTest::newRow("elapsed time") << Edit([](ImageJob &, ModelVariant &variant) {
        variant.setElapsed(3.5);
    }) << Changes();
}

void TstJobTracker::tellsTheKindOfChange()
{
    using Edit = std::function<void(ImageJob &, ModelVariant &)>;
    QFETCH(Edit, edit);
    QFETCH(Changes, expected);

    const ImageJobPtr job = makeJob(0);
    JobTracker tracker;
    tracker.track({job});
    QSignalSpy updated(&tracker, &JobTracker::jobsUpdated);
    edit(*job, *job->variants().first());
    QTest::qWait(1);
    if (!expected) {
        QCOMPARE(updated.count(), 0);
        return;
    }
    QCOMPARE(updated.count(), 1);
    QCOMPARE(updated.at(0).at(1).value<Changes>(), expected);
}

void TstJobTracker::followsTheVariantsAJobHasNow()
{
    const ImageJobPtr job = makeJob(0);
    const ModelVariantPtr old = job->variants().first();
    JobTracker tracker;
    tracker.track({job});
    QSignalSpy changed(&tracker, &JobTracker::jobChanged);
    auto added =
        std::make_shared<ModelVariant>(QStringLiteral("owner/other"), QStringLiteral("Other"));
    job->setVariants({added});
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(1).value<Changes>(), Changes(Change::variants));
    old->setStatus(RunStatus::running());
    QCOMPARE(changed.count(), 1);
    added->setStatus(RunStatus::running());
    QCOMPARE(changed.count(), 2);
    QCOMPARE(changed.at(1).at(0).value<const ImageJob *>(), job.get());
}

void TstJobTracker::holdKeepsAnUnlistedJobFollowed()
{
    const ImageJobPtr listed = makeJob(0);
    const ImageJobPtr open = makeJob(1);
    auto tracker = std::make_unique<JobTracker>();
    tracker->track({listed, open});
    QSignalSpy changed(tracker.get(), &JobTracker::jobChanged);
    {
        JobTracker::Hold hold(*tracker, open);
        tracker->track({listed});
        QVERIFY(tracker->isFollowing(open.get()));
        changeStatus(open);
        QCOMPARE(changed.count(), 1);
        // Moved, the hold still counts once.
        JobTracker::Hold moved = std::move(hold);
        QVERIFY(tracker->isFollowing(open.get()));
    }
    QVERIFY(!tracker->isFollowing(open.get()));
    changeStatus(open);
    QCOMPARE(changed.count(), 1);
    // A listed job stays followed when its hold ends; a hold may outlive the tracker.
    auto hold = std::make_unique<JobTracker::Hold>(*tracker, listed);
    hold.reset();
    QVERIFY(tracker->isFollowing(listed.get()));
    hold = std::make_unique<JobTracker::Hold>(*tracker, listed);
    tracker.reset();
    hold.reset();
}

void TstJobTracker::addFollowsAppendedJobsUntilTheNextListing()
{
    const QList<ImageJobPtr> jobs{makeJob(0), makeJob(1), makeJob(2)};
    JobTracker tracker;
    tracker.track({jobs.at(0)});
    tracker.add({jobs.at(1), jobs.at(2)});
    QSignalSpy changed(&tracker, &JobTracker::jobChanged);
    changeStatus(jobs.at(2));
    QCOMPARE(changed.count(), 1);
    // The next full listing decides again: what it leaves out is let go.
    tracker.track({jobs.at(0), jobs.at(2)});
    QVERIFY(!tracker.isFollowing(jobs.at(1).get()));
    QVERIFY(tracker.isFollowing(jobs.at(0).get()) && tracker.isFollowing(jobs.at(2).get()));
}

void TstJobTracker::storeFollowsEveryModesJobs()
{
    TestEnvironment environment;
    AppStore store(environment.environment());
    store.setMode(Mode::image);
    store.addPromptJob(QStringLiteral("a lighthouse"), {});
    store.addPromptJob(QStringLiteral("a harbour"), {});
    const QList<ImageJobPtr> jobs = store.jobs();
    QCOMPARE(jobs.size(), 2);
    QVERIFY(!jobs.first()->variants().isEmpty());
    // A run goes on while another mode is shown.
    store.setMode(Mode::video);
    QSignalSpy updated(&store.jobTracker(), &JobTracker::jobsUpdated);
    changeStatus(jobs.first());
    QTRY_COMPARE(updated.count(), 1);
    QCOMPARE(updated.at(0).at(0).value<QList<ImageJobPtr>>(), QList<ImageJobPtr>{jobs.first()});

    store.setMode(Mode::image);
    store.remove(jobs.first());
    QVERIFY(!store.jobTracker().isFollowing(jobs.first().get()));
    QVERIFY(store.jobTracker().isFollowing(jobs.last().get()));
}

QTEST_MAIN(TstJobTracker)
#include "tst_jobtracker.moc"
