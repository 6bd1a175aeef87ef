// The whole main window on screen during a run: N upscale pairs through a service, four at a
// time, while the job list scrolls up and down without pause. The store is set up exactly as the
// headless driver (bench/pipeline) sets it up, and the run is timed the same way, so the two wall
// times differ only by what the window costs. Prints the wall time, the CPU time per pair, the
// worst GUI-thread stall during the run and the outcome.
//   moonforge-bench-window <api base .../v1> <pairs> <input image> <work folder> [scale=2]
#include "Models/ModelCatalog.h"
#include "Services/AppStore.h"
#include "Services/Updater.h"
#include "StallCause.h"
#include "StallMeter.h"
#include "Views/Shell/MainWindow.h"
#include "Views/Workspace/JobListView.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QScrollBar>
#include <QTimer>

#include <ctime>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>

using namespace Qt::StringLiterals;

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

// Runs the event loop until `done` holds or `seconds` pass; false on the timeout.
template <typename Predicate> bool waitFor(Predicate done, int seconds)
{
    QElapsedTimer timer;
    timer.start();
    QTimer tick;
    tick.start(20);
    while (!done()) {
        if (timer.elapsed() > seconds * 1000)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// Times every event the GUI thread handles at the top level, to name the longest one.
class TimedApplication final : public QApplication
{
public:
    using QApplication::QApplication;
    bool notify(QObject *receiver, QEvent *event) override
    {
        if (m_depth++ > 0 || !m_timing) {
            const bool result = QApplication::notify(receiver, event);
            --m_depth;
            return result;
        }
        timespec before{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &before);
        const char *className = receiver->metaObject()->className();
        const int type = int(event->type());
        const bool result = QApplication::notify(receiver, event);
        timespec after{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &after);
        const double ms = double(after.tv_sec - before.tv_sec) * 1e3 +
                          double(after.tv_nsec - before.tv_nsec) / 1e6;
        if (ms > longestMs) {
            longestMs = ms;
            longest = QByteArray(className) + ' ' + QByteArray::number(type);
        }
        --m_depth;
        return result;
    }
    void setTiming(bool on) { m_timing = on; }
    double longestMs = 0;
    QByteArray longest;

private:
    int m_depth = 0;
    bool m_timing = false;
};

int fail(const char *message)
{
    std::fprintf(stderr, "moonforge-bench-window: %s\n", message);
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    TimedApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 5 && args.size() != 6)
        return fail("usage: moonforge-bench-window <api base> <pairs> <input image> <folder> "
                    "[scale]");
    const int pairs = args.at(2).toInt();
    const QString work = QDir(args.at(4)).absolutePath();
    const QString photos = work + u"/photos"_s;
    if (pairs <= 0 || !QDir().mkpath(photos))
        return fail("bad pair count or work folder");
    QList<QUrl> files;
    for (int i = 0; i < pairs; ++i) {
        const QString path = photos + u"/photo-%1.png"_s.arg(i + 1, 4, 10, QLatin1Char('0'));
        if (!QFile::exists(path) && !QFile::copy(args.at(3), path))
            return fail("cannot copy the input image");
        files.append(QUrl::fromLocalFile(path));
    }

    AppEnvironment environment;
    environment.settingsPath = work + u"/settings.ini"_s;
    environment.cacheFolder = work + u"/cache"_s;
    environment.keychainPrefix = u"org.moonforge.bench"_s;
    environment.environmentToken = u"r8_bench"_s;
    environment.apiBase = QUrl(args.at(1));
    AppStore store(environment);
    if (!waitFor([&] { return store.tokens().known(); }, 10) || !store.tokens().hasToken())
        return fail("no token");
    Updater updater(environment.settingsPath);
    MainWindow window(store, updater);
    window.show();

    store.setMode(Mode::upscale);
    const QString slug = u"nightmareai/real-esrgan"_s;
    if (const auto model = ModelCatalog::find(ModelCatalog::builtIn(Mode::upscale), slug))
        store.selectOnly(*model);
    if (!waitFor([&] { return store.directory().schemaStates().value(slug).isReady(); }, 30))
        return fail("the model's settings did not load");
    const std::optional<SchemaParam> scale =
        store.directory().schemaStates().value(slug).schema()->scaleParam();
    if (!scale)
        return fail("the model has no scale");
    store.setValue(ParamValue::number(args.size() == 6 ? args.at(5).toDouble() : 2.0), *scale);
    store.setOutputDestination(OutputDestination::folder(QUrl::fromLocalFile(work + u"/out"_s)));
    store.addFiles(files);
    const auto inspected = [&] {
        const QList<ImageJobPtr> jobs = store.jobs();
        return jobs.size() == pairs && std::all_of(jobs.begin(), jobs.end(), [](const auto &job) {
                   return job->pixelSize().has_value() && !job->thumbnail().isNull();
               });
    };
    if (!waitFor(inspected, 120))
        return fail("the photos were not added");
    auto *list = window.findChild<JobListView *>(u"jobList"_s);
    if (!list || !list->isVisible())
        return fail("the job list is not on screen");
    // Let the window settle (layout, first paints) before the clock starts.
    QElapsedTimer settle;
    settle.start();
    waitFor([&] { return settle.elapsed() > 300; }, 5);

    // The list scrolls 24 pixels a frame, top to bottom and back, all run long.
    QScrollBar *bar = list->verticalScrollBar();
    int step = 24;
    int scrolls = 0;
    QTimer scroller;
    QObject::connect(&scroller, &QTimer::timeout, &app, [&] {
        if (bar->value() + step > bar->maximum() || bar->value() + step < bar->minimum())
            step = -step;
        bar->setValue(bar->value() + step);
        ++scrolls;
    });
    StallMeter stalls;
    StallCause causes;

    const double cpuBefore = cpuMilliseconds();
    QElapsedTimer wall;
    wall.start();
    scroller.start(16);
    stalls.start();
    causes.start();
    app.setTiming(true);
    store.startRun();
    if (!waitFor([&] { return !store.isRunning(); }, 3600))
        return fail("the run did not end");
    const double wallMs = double(wall.nsecsElapsed()) / 1e6;
    stalls.stop();
    causes.stop();
    scroller.stop();
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
    std::printf("window_wall_ms=%.1f\n", wallMs);
    std::printf("window_cpu_ms_per_pair=%.2f\n", cpuMs / pairs);
    std::printf("window_worst_gui_stall_ms=%.1f\n", stalls.worstMs());
    const StallCause::Gap worst = causes.worst();
    const StallCause::Gap busiest = causes.busiest();
    std::printf("window_worst_gap_ms=%.1f (running %.1f, waiting for a cpu %.1f, blocked %.1f)\n",
                worst.wallMs, worst.runningMs, worst.waitingForCpuMs, worst.blockedMs());
    std::printf("window_busiest_gap_ms=%.1f (running %.1f, waiting for a cpu %.1f, blocked %.1f)\n",
                busiest.wallMs, busiest.runningMs, busiest.waitingForCpuMs, busiest.blockedMs());
    std::printf("window_longest_event_cpu_ms=%.1f (%s)\n", app.longestMs, app.longest.constData());
    std::printf("window_scroll_steps=%d list_height_px=%d\n", scrolls, bar->maximum());
    std::printf("window_pairs_done=%d/%d\n", done, pairs);
    return done == pairs ? 0 : 1;
}
