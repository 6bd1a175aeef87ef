#include "Services/AppStore.h"
#include "TestEnvironment.h"
#include "Views/Workspace/JobListModel.h"

#include <QSignalSpy>
#include <QTest>

using Range = std::pair<int, int>;

class TstJobListModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void changedRowsAreToldOncePerTurn_data();
    void changedRowsAreToldOncePerTurn();
};

void TstJobListModel::changedRowsAreToldOncePerTurn_data()
{
    QTest::addColumn<QList<int>>("changed");
    QTest::addColumn<QList<Range>>("told");

    QTest::newRow("one row") << QList<int>{3} << QList<Range>{{3, 3}};
    QTest::newRow("a row changed twice") << QList<int>{3, 3} << QList<Range>{{3, 3}};
    QTest::newRow("a few rows, in order of change")
        << QList<int>{7, 1, 4, 1} << QList<Range>{{7, 7}, {1, 1}, {4, 4}};
    QTest::newRow("half the rows")
        << QList<int>{0, 2, 4, 6, 8} << QList<Range>{{0, 0}, {2, 2}, {4, 4}, {6, 6}, {8, 8}};
    QTest::newRow("more than half: the whole list")
        << QList<int>{0, 2, 4, 6, 8, 9} << QList<Range>{{0, 9}};
}

void TstJobListModel::changedRowsAreToldOncePerTurn()
{
    QFETCH(QList<int>, changed);
    QFETCH(QList<Range>, told);

    TestEnvironment environment;
    AppStore store(environment.environment());
    store.setMode(Mode::image);
    QList<ImageJobPtr> jobs;
    for (int n = 0; n < 10; ++n) {
        auto job = std::make_shared<ImageJob>(JobInput::prompt(QStringLiteral("job %1").arg(n)));
        job->setVariants({std::make_shared<ModelVariant>(QStringLiteral("owner/model"),
                                                         QStringLiteral("Model"))});
        jobs.append(job);
    }
    store.setJobs(jobs);
    JobListModel model(store);
    QCOMPARE(model.rowCount(), 10);
    QTest::qWait(1);
    QSignalSpy dataChanged(&model, &QAbstractItemModel::dataChanged);
    for (int row : changed) {
        const ModelVariantPtr &variant = jobs.at(row)->variants().first();
        variant->setStatus(variant->status() == RunStatus::running() ? RunStatus::downloading()
                                                                     : RunStatus::running());
    }
    QCOMPARE(dataChanged.count(), 0);
    QTest::qWait(1);
    QList<Range> heard;
    for (const QList<QVariant> &call : std::as_const(dataChanged))
        heard.append({call.at(0).toModelIndex().row(), call.at(1).toModelIndex().row()});
    QCOMPARE(heard, told);
}

QTEST_MAIN(TstJobListModel)
#include "tst_joblistmodel.moc"
