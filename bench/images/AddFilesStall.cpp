// Adds COUNT photos to a store the way a folder drop does and reports the GUI thread's longest
// stall until every preview has arrived, and the memory the jobs and previews hold.
//   moonforge-bench-addfiles DIR [COUNT=1000]
// DIR's images are linked under COUNT names in a temporary folder, so 200 photos can stand for
// 1,000. Settings, caches and keyring entries are private to the run.
#include "Services/AppStore.h"
#include "Services/FileIntake.h"
#include "StallMeter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

namespace
{

double residentMb()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields.at(1).toDouble() * double(sysconf(_SC_PAGESIZE)) / 1048576.0
                             : 0;
}

double peakMb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: moonforge-bench-addfiles DIR [COUNT=1000]\n");
        return 1;
    }
    const int count = args.size() > 2 ? args.at(2).toInt() : 1000;
    const QList<QUrl> sources = FileIntake::expand({QUrl::fromLocalFile(args.at(1))});
    if (sources.isEmpty() || count <= 0) {
        std::fprintf(stderr, "no images in %s\n", qUtf8Printable(args.at(1)));
        return 1;
    }

    QTemporaryDir scratch;
    const QString drop = scratch.filePath(QStringLiteral("drop"));
    QDir().mkpath(drop);
    for (int i = 0; i < count; ++i) {
        const QString name = QStringLiteral("photo-%1.jpg").arg(i, 4, 10, QLatin1Char('0'));
        if (!QFile::link(sources.at(i % sources.size()).toLocalFile(), drop + u'/' + name)) {
            std::fprintf(stderr, "cannot link into %s\n", qUtf8Printable(drop));
            return 1;
        }
    }

    // Listing and typing the files alone, as the drop will do it again below.
    QElapsedTimer expandTimer;
    expandTimer.start();
    const qsizetype listed = FileIntake::expand({QUrl::fromLocalFile(drop)}).size();
    const double expandMs = double(expandTimer.nsecsElapsed()) / 1e6;

    AppEnvironment environment;
    environment.settingsPath = scratch.filePath(QStringLiteral("settings.ini"));
    environment.cacheFolder = scratch.filePath(QStringLiteral("cache"));
    environment.keychainPrefix = QStringLiteral("org.moonforge.bench%1").arg(getpid());
    AppStore store(environment);
    const double rssBefore = residentMb();

    StallMeter idle;
    StallMeter meter;
    QElapsedTimer sinceDrop;
    qint64 callNs = 0;
    int previews = 0;
    idle.start();
    QTimer::singleShot(200, &app, [&] {
        idle.stop();
        meter.start();
        sinceDrop.start();
        store.addFiles({QUrl::fromLocalFile(drop)});
        callNs = sinceDrop.nsecsElapsed();
    });
    // Counting by polling keeps a thousand connections of our own off the measured thread.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &app, [&] {
        const QList<ImageJobPtr> jobs = store.jobs();
        previews = int(std::count_if(jobs.begin(), jobs.end(), [](const ImageJobPtr &job) {
            return !job->thumbnail().isNull();
        }));
        if (!jobs.isEmpty() && previews == count)
            app.quit();
    });
    poll.start(50);
    QTimer::singleShot(15 * 60 * 1000, &app, [&] { app.exit(2); });
    const int status = app.exec();
    meter.stop();
    const double allMs = double(sinceDrop.nsecsElapsed()) / 1e6;

    qint64 thumbnailBytes = 0;
    for (const ImageJobPtr &job : store.jobs())
        thumbnailBytes += job->thumbnail().sizeInBytes();
    std::printf("photos=%d jobs=%lld previews=%d\n", count, qlonglong(store.jobs().size()),
                previews);
    std::printf("expand_ms=%.2f (%lld files)\n", expandMs, qlonglong(listed));
    std::printf("addfiles_call_ms=%.2f\n", double(callNs) / 1e6);
    std::printf("all_previews_ms=%.0f\n", allMs);
    std::printf("idle_worst_lateness_ms=%.2f\n", idle.worstMs());
    std::printf("gui_worst_stall_ms=%.2f (%d ticks)\n", meter.worstMs(), meter.ticks());
    std::printf("thumbnail_pixels_mb=%.1f\n", double(thumbnailBytes) / 1048576.0);
    std::printf("rss_before_mb=%.1f rss_with_jobs_mb=%.1f peak_rss_mb=%.1f\n", rssBefore,
                residentMb(), peakMb());
    return status == 0 ? 0 : 1;
}
