// The batch runner killed with SIGKILL in the middle of a run, then launched again over the same
// settings and journal: every photo ends with exactly one result file, and the service was asked
// for exactly one prediction per photo. Watched from outside, through the stand-in service and
// the disk, the way a user would count what they paid for and what they got.
#include "SampleFiles.h"
#include "StandInService.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>

#include <sys/prctl.h>

#include <csignal>

using namespace Qt::StringLiterals;

namespace
{
constexpr int photoCount = 6;
// Predictions take 4 s and a held create answers after 1 s (the pipeline's 5-s hold at this
// scale), so the batch learns each prediction's id while it still runs. A kill before that
// answer would leave a prediction nobody can name, which no restart can claim.
constexpr double predictSeconds = 20;
constexpr double timeScale = 0.2;
constexpr int killWithinMs = 30000;
constexpr int resumeWithinMs = 120000;

QString batchBinary()
{
    return QString::fromUtf8(MOONFORGE_BATCH_BINARY);
}

// Per photo stem, the files in `folder` named after it (the stem followed by anything but a
// letter or digit), the photo itself and hidden unfinished downloads left out.
QMap<QString, QStringList> resultsByPhoto(const QString &folder, const QStringList &stems)
{
    QMap<QString, QStringList> results;
    for (const QString &stem : stems)
        results[stem];
    for (const QString &name : QDir(folder).entryList(QDir::Files)) {
        for (const QString &stem : stems) {
            if (name != stem + u".png"_s && name.startsWith(stem) && name.size() > stem.size() &&
                !name.at(stem.size()).isLetterOrNumber())
                results[stem].append(name);
        }
    }
    return results;
}
} // namespace

class CrashResumeTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void everyPhotoOnceAfterAKill_data();
    void everyPhotoOnceAfterAKill();

private:
    void launch(QProcess &batch, const QStringList &arguments) const;
    // Whether the batch may be killed now: the service holds at least `created` predictions, the
    // batch has polled every one of them (so it was told their ids) and at least `saved` of the
    // photos have a result.
    static bool killPointReached(StandInService &service, int created, int saved,
                                 const QString &outputFolder, const QStringList &stems);
};

void CrashResumeTest::initTestCase()
{
    if (batchBinary().isEmpty() || StandInService::binaryPath().isEmpty())
        QSKIP("moonforge-batch or the stand-in service was not built");
}

void CrashResumeTest::launch(QProcess &batch, const QStringList &arguments) const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString &name : environment.keys()) {
        if (name.startsWith(u"MOONFORGE_"_s))
            environment.remove(name);
    }
    environment.insert(u"REPLICATE_API_TOKEN"_s, u"r8_sim"_s);
    batch.setProcessEnvironment(environment);
    batch.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // Never outlives the test.
    batch.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    batch.start(batchBinary(), arguments);
    QVERIFY2(batch.waitForStarted(10000), qPrintable(batch.errorString()));
}

bool CrashResumeTest::killPointReached(StandInService &service, int created, int saved,
                                       const QString &outputFolder, const QStringList &stems)
{
    const QJsonArray predictions = service.predictions();
    if (predictions.size() < created)
        return false;
    QSet<QString> polled;
    for (const QJsonValue &request : service.requests(u"/v1/predictions/"_s)) {
        if (request[u"method"_s] == u"GET"_s)
            polled.insert(request[u"path"_s].toString().section(u'/', 3, 3));
    }
    for (const QJsonValue &prediction : predictions) {
        if (!polled.contains(prediction[u"id"_s].toString()))
            return false;
    }
    const QMap<QString, QStringList> results = resultsByPhoto(outputFolder, stems);
    const auto withResult =
        std::count_if(results.cbegin(), results.cend(),
                      [](const QStringList &files) { return !files.isEmpty(); });
    return withResult >= saved;
}

void CrashResumeTest::everyPhotoOnceAfterAKill_data()
{
    QTest::addColumn<bool>("outputFolder"); // else beside the photos
    // The kill comes once this many predictions were created and this many photos have a result:
    // the first four running and nothing saved yet, or the first results saved and the last two
    // predictions running.
    QTest::addColumn<int>("createdAtKill");
    QTest::addColumn<int>("savedAtKill");
    QTest::newRow("beside the photos, predictions running") << false << 4 << 0;
    QTest::newRow("beside the photos, some results saved") << false << photoCount << 1;
    QTest::newRow("output folder, predictions running") << true << 4 << 0;
    QTest::newRow("output folder, some results saved") << true << photoCount << 1;
}

void CrashResumeTest::everyPhotoOnceAfterAKill()
{
    QFETCH(bool, outputFolder);
    QFETCH(int, createdAtKill);
    QFETCH(int, savedAtKill);
    StandInService::Options pace;
    pace.predictSeconds = predictSeconds;
    pace.timeScale = timeScale;
    StandInService service(pace);
    QVERIFY2(service.isRunning(), qPrintable(service.errorString()));
    QTemporaryDir home;
    QVERIFY(home.isValid());
    const QString photos = home.filePath(u"photos"_s);
    QVERIFY(QDir().mkpath(photos));
    QCOMPARE(SampleFiles::colouredPhotos(photos, photoCount).size(), photoCount);
    QStringList stems;
    for (int i = 0; i < photoCount; ++i)
        stems.append(u"photo-%1"_s.arg(i));
    const QString results = outputFolder ? home.filePath(u"results"_s) : photos;

    QStringList arguments{u"--settings"_s, home.filePath(u"settings.ini"_s),
                          u"--journal"_s,  home.filePath(u"journal.sqlite3"_s),
                          u"--service"_s,  service.baseUrl().toString()};
    if (outputFolder)
        arguments << u"--output"_s << results;
    arguments << photos;

    QProcess first;
    launch(first, arguments);
    if (QTest::currentTestFailed())
        return;
    QTRY_VERIFY_WITH_TIMEOUT(killPointReached(service, createdAtKill, savedAtKill, results, stems),
                             killWithinMs);
    QCOMPARE(first.state(), QProcess::Running);
    first.kill();
    QVERIFY(first.waitForFinished(10000));
    const qsizetype createdBeforeKill = service.predictions().size();
    const QMap<QString, QStringList> savedBeforeKill = resultsByPhoto(results, stems);
    qInfo("killed with %lld predictions created", qint64(createdBeforeKill));
    // Killed in the middle: some photo still had no result.
    QVERIFY(std::any_of(savedBeforeKill.cbegin(), savedBeforeKill.cend(),
                        [](const QStringList &files) { return files.isEmpty(); }));

    QProcess second;
    launch(second, arguments);
    if (QTest::currentTestFailed())
        return;
    QVERIFY2(second.waitForFinished(resumeWithinMs), "the resumed batch did not finish");
    const QList<QByteArray> lines = second.readAllStandardOutput().trimmed().split('\n');
    qInfo("resumed batch: %s", lines.constLast().constData());

    const QMap<QString, QStringList> saved = resultsByPhoto(results, stems);
    static const QRegularExpression numbered(u" \\d+\\.\\w+$"_s);
    for (auto it = saved.cbegin(); it != saved.cend(); ++it) {
        QVERIFY2(it->size() == 1, qPrintable(u"%1 has %2 result files: %3"_s.arg(it.key())
                                                 .arg(it->size())
                                                 .arg(it->join(u", "_s))));
        QVERIFY2(!numbered.match(it->constFirst()).hasMatch(), qPrintable(it->constFirst()));
    }
    const qsizetype created = service.predictions().size();
    QVERIFY2(created == photoCount,
             qPrintable(u"the service made %1 predictions for %2 photos (%3 before the kill)"_s
                            .arg(created)
                            .arg(photoCount)
                            .arg(createdBeforeKill)));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    const QJsonObject summary = QJsonDocument::fromJson(lines.constLast()).object();
    QCOMPARE(summary[u"done"_s].toInt(), photoCount);
    QCOMPARE(summary[u"mostResultsPerPhoto"_s].toInt(), 1);
}

QTEST_GUILESS_MAIN(CrashResumeTest)
#include "tst_crashresume.moc"
