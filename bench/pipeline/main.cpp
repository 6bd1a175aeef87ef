// Runs N upscale pairs through the store against a service, four at a time, exactly as the
// application would: add the photos, pick the model, set its scale, start the run and wait for
// its end. Prints the wall time of the run, the CPU time per pair, peak memory and the outcome.
//   moonforge-bench-pipeline <api base .../v1> <pairs> <input image> <work folder> [scale=2]
#include "Models/ModelCatalog.h"
#include "Services/AppStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>

namespace
{

double cpuMilliseconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval &time) {
        return double(time.tv_sec) * 1000.0 + double(time.tv_usec) / 1000.0;
    };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

long peakKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Runs the event loop until `done` holds or `seconds` pass; false on the timeout.
template <typename Predicate> bool waitFor(Predicate done, int seconds)
{
    QElapsedTimer timer;
    timer.start();
    // Wakes the loop now and then to look again; the loop sleeps in between, so the waiting
    // costs no CPU of its own.
    QTimer tick;
    tick.start(20);
    while (!done()) {
        if (timer.elapsed() > seconds * 1000)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

int fail(const char *message)
{
    std::fprintf(stderr, "moonforge-bench-pipeline: %s\n", message);
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 5 && args.size() != 6)
        return fail("usage: moonforge-bench-pipeline <api base> <pairs> <input image> <folder> "
                    "[scale]");
    const int pairs = args.at(2).toInt();
    const QString work = QDir(args.at(4)).absolutePath();
    const QString photos = work + QStringLiteral("/photos");
    if (pairs <= 0 || !QDir().mkpath(photos))
        return fail("bad pair count or work folder");

    // Distinct files, since the store lists each file once.
    QList<QUrl> files;
    for (int i = 0; i < pairs; ++i) {
        const QString path =
            photos + QStringLiteral("/photo-%1.png").arg(i + 1, 4, 10, QLatin1Char('0'));
        if (!QFile::exists(path) && !QFile::copy(args.at(3), path))
            return fail("cannot copy the input image");
        files.append(QUrl::fromLocalFile(path));
    }

    AppEnvironment environment;
    environment.settingsPath = work + QStringLiteral("/settings.ini");
    environment.cacheFolder = work + QStringLiteral("/cache");
    environment.keychainPrefix = QStringLiteral("org.moonforge.bench");
    environment.environmentToken = QStringLiteral("r8_bench");
    environment.apiBase = QUrl(args.at(1));
    AppStore store(environment);
    if (!waitFor([&] { return store.tokens().known(); }, 10) || !store.tokens().hasToken())
        return fail("no token");

    store.setMode(Mode::upscale);
    const QString slug = QStringLiteral("nightmareai/real-esrgan");
    if (const auto model = ModelCatalog::find(ModelCatalog::builtIn(Mode::upscale), slug))
        store.selectOnly(*model);
    if (!waitFor([&] { return store.directory().schemaStates().value(slug).isReady(); }, 30))
        return fail("the model's settings did not load");
    const std::optional<SchemaParam> scale =
        store.directory().schemaStates().value(slug).schema()->scaleParam();
    if (!scale)
        return fail("the model has no scale");
    store.setValue(ParamValue::number(args.size() == 6 ? args.at(5).toDouble() : 2.0), *scale);
    store.setOutputDestination(
        OutputDestination::folder(QUrl::fromLocalFile(work + QStringLiteral("/out"))));
    store.addFiles(files);
    // Adding reads every photo's size and preview in the background; that is not the run's work.
    const auto inspected = [&] {
        const QList<ImageJobPtr> jobs = store.jobs();
        return jobs.size() == pairs && std::all_of(jobs.begin(), jobs.end(), [](const auto &job) {
                   return job->pixelSize().has_value() && !job->thumbnail().isNull();
               });
    };
    if (!waitFor(inspected, 120))
        return fail("the photos were not added");

    const double cpuBefore = cpuMilliseconds();
    QElapsedTimer wall;
    wall.start();
    store.startRun();
    if (!waitFor([&] { return !store.isRunning(); }, 3600))
        return fail("the run did not end");
    const double wallMs = double(wall.nsecsElapsed()) / 1e6;
    const double cpuMs = cpuMilliseconds() - cpuBefore;

    int done = 0;
    for (const ImageJobPtr &job : store.jobs()) {
        for (const ModelVariantPtr &variant : job->variants()) {
            if (variant->status() == RunStatus::done())
                ++done;
            else
                std::fprintf(stderr, "pair failed: %s\n", qPrintable(variant->status().message()));
        }
    }
    std::printf("moonforge_wall_ms=%.1f\n", wallMs);
    std::printf("moonforge_cpu_ms_per_pair=%.2f\n", cpuMs / pairs);
    std::printf("moonforge_peak_rss_mb=%.1f\n", double(peakKilobytes()) / 1024.0);
    std::printf("moonforge_pairs_done=%d/%d\n", done, pairs);
    return done == pairs ? 0 : 1;
}
