// The job list on screen with many photos: how long the GUI thread stalls while they are added
// and while their pills change 200 times a second, how long one paint takes while scrolling from
// top to bottom, how soon the rows on screen have their previews, and the peak memory once every
// preview is made.
//   moonforge-bench-joblist [COUNT=10000] [--list-order]
// The photos are a few generated 1600 × 1067 JPEGs linked under COUNT names. Two upscale models
// are selected, so every job has two pills. With --list-order the list is not on screen while
// the previews are made, so they come in list order: the baseline for "the screen first".
// Settings, caches and keyring entries are private to the run; no network is used.
#include "Models/ModelCatalog.h"
#include "Services/AppStore.h"
#include "StallMeter.h"
#include "Views/Workspace/CentreContent.h"
#include "Views/Workspace/JobListModel.h"
#include "Views/Workspace/JobListView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <sys/resource.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace
{

double peakMb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

void spin(QApplication &app, const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeoutMs)
        app.processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
}

QList<QUrl> makePhotos(const QString &folder, int count)
{
    QList<QString> sources;
    for (int i = 0; i < 12; ++i) {
        QImage image(1600, 1067, QImage::Format_RGB32);
        QPainter painter(&image);
        QLinearGradient fill(0, 0, 1600, 1067);
        fill.setColorAt(0, QColor::fromHsv(i * 30, 160, 220));
        fill.setColorAt(1, QColor::fromHsv((i * 30 + 140) % 360, 200, 90));
        painter.fillRect(image.rect(), fill);
        painter.setPen(QPen(Qt::white, 40));
        painter.drawEllipse(QPoint(300 + i * 90, 500), 260, 260);
        painter.end();
        const QString path = folder + u"/source-%1.jpg"_s.arg(i);
        image.save(path, "JPEG", 88);
        sources.append(path);
    }
    QList<QUrl> urls;
    for (int i = 0; i < count; ++i) {
        const QString path = folder + u"/drop/photo-%1.jpg"_s.arg(i, 5, 10, QLatin1Char('0'));
        QFile::link(sources.at(i % sources.size()), path);
        urls.append(QUrl::fromLocalFile(path));
    }
    return urls;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    const QStringList args = QCoreApplication::arguments();
    const bool listOrder = args.contains(u"--list-order"_s);
    int count = 10000;
    for (const QString &arg : args.mid(1))
        if (arg.toInt() > 0)
            count = arg.toInt();

    QTemporaryDir scratch;
    QDir(scratch.path()).mkpath(u"drop"_s);
    const QList<QUrl> photos = makePhotos(scratch.path(), count);

    AppEnvironment environment;
    environment.settingsPath = scratch.filePath(u"settings.ini"_s);
    environment.cacheFolder = scratch.filePath(u"cache"_s);
    environment.keychainPrefix = u"org.moonforge.bench%1"_s.arg(getpid());
    AppStore store(environment);
    store.setMode(Mode::upscale);
    store.selectOnly(ModelCatalog::builtIn(Mode::upscale).at(0));
    store.toggle(ModelCatalog::builtIn(Mode::upscale).at(1));

    // Connected before the list's own model, so it marks when the store has made its jobs and
    // the list starts taking them in.
    qint64 jobsMadeNs = -1;
    QElapsedTimer sinceDrop;
    QObject::connect(&store, &AppStore::jobsChanged, &app, [&] {
        if (jobsMadeNs < 0 && sinceDrop.isValid())
            jobsMadeNs = sinceDrop.nsecsElapsed();
    });
    CentreContent centre(store);
    centre.resize(740, 600);
    JobListView *list = centre.jobList();
    centre.show();
    spin(
        app, [] { return false; }, 300);
    if (listOrder)
        centre.hide();

    // 1. Adding: the drop itself, then rows arriving and previews filling in.
    StallMeter adding;
    StallMeter listing;
    adding.start();
    listing.start();
    sinceDrop.start();
    store.addFiles({QUrl::fromLocalFile(scratch.filePath(u"drop"_s))});
    const double addCallMs = double(sinceDrop.nsecsElapsed()) / 1e6;
    // The rows arrive in slices while the folder is listed in the background.
    spin(
        app, [&store] { return !store.isAddingFiles(); }, 10 * 60 * 1000);
    const double rowsListedMs = double(sinceDrop.nsecsElapsed()) / 1e6;
    listing.stop();
    // The user jumps to the middle of the list as soon as it is all there.
    const int middle = count / 2;
    if (listOrder) {
        centre.show();
        list->hide();
    }
    list->scrollTo(list->jobModel()->index(middle), QAbstractItemView::PositionAtTop);
    const auto [first, last] = list->visibleRows();
    const QList<ImageJobPtr> jobs = store.jobs();
    auto screenDone = [&, first = first, last = last] {
        for (int r = first; r <= last; ++r)
            if (jobs.at(r)->thumbnail().isNull())
                return false;
        return true;
    };
    auto allDone = [&] {
        return std::all_of(jobs.begin(), jobs.end(),
                           [](const ImageJobPtr &job) { return !job->thumbnail().isNull(); });
    };
    double screenMs = -1;
    QElapsedTimer poll;
    poll.start();
    spin(
        app,
        [&] {
            if (screenMs < 0 && screenDone())
                screenMs = double(sinceDrop.nsecsElapsed()) / 1e6;
            if (poll.elapsed() < 200)
                return false;
            poll.restart();
            return screenMs >= 0 && allDone();
        },
        30 * 60 * 1000);
    const double allMs = double(sinceDrop.nsecsElapsed()) / 1e6;
    adding.stop();
    if (listOrder)
        list->show();
    const double memoryMb = peakMb();

    // 2. Statuses: 200 changes a second for 5 seconds, half of them on the rows on screen.
    list->scrollTo(list->jobModel()->index(0), QAbstractItemView::PositionAtTop);
    spin(
        app, [] { return false; }, 200);
    const QString resultPath = scratch.filePath(u"drop/photo-00000.jpg"_s);
    StallMeter changing;
    changing.start();
    int changes = 0;
    QTimer driver;
    const QList<RunStatus> cycle{RunStatus::preparing(), RunStatus::uploading(),
                                 RunStatus::running(),   RunStatus::downloading(),
                                 RunStatus::done(),      RunStatus::failed(u"Boom"_s)};
    // Every tick catches up with 200 changes a second since the start.
    QElapsedTimer driving;
    driving.start();
    QObject::connect(&driver, &QTimer::timeout, &app, [&] {
        while (changes < driving.elapsed() / 5) {
            const auto [top, bottom] = list->visibleRows();
            QRandomGenerator *random = QRandomGenerator::global();
            const int row = changes % 2 ? int(random->bounded(count))
                                        : top + int(random->bounded(std::max(1, bottom - top + 1)));
            const ModelVariantPtr variant = jobs.at(row)->variants().at(changes % 2);
            const RunStatus next = cycle.at(changes / 2 % cycle.size());
            if (next == RunStatus::done()) {
                variant->setResultURL(QUrl::fromLocalFile(resultPath));
                variant->setResultPixelSize(QSizeF(6400, 4268));
                variant->setCost(CostRange{0.0023, 0.0023});
            }
            variant->setStatus(next);
            ++changes;
        }
    });
    driver.start(5);
    spin(
        app, [] { return false; }, 5000);
    driver.stop();
    changing.stop();

    // 3. Scrolling from the top to the bottom, one paint per step.
    QScrollBar *bar = list->verticalScrollBar();
    // Wall time, and the thread's own processor time, which other programs on a busy machine
    // cannot inflate.
    QList<double> wall;
    QList<double> processor;
    for (int y = 0; y <= bar->maximum(); y += 97) {
        bar->setValue(y);
        timespec before{};
        timespec after{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &before);
        QElapsedTimer timer;
        timer.start();
        list->viewport()->repaint();
        wall.append(double(timer.nsecsElapsed()) / 1e6);
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &after);
        processor.append(double(after.tv_sec - before.tv_sec) * 1e3 +
                         double(after.tv_nsec - before.tv_nsec) / 1e6);
    }
    auto percentile = [](QList<double> values, double p) {
        if (values.isEmpty())
            return 0.0;
        std::sort(values.begin(), values.end());
        return values.at(std::min(values.size() - 1, qsizetype(p * double(values.size()))));
    };

    std::printf("jobs=%d pills=%d order=%s\n", count, count * 2,
                listOrder ? "list" : "screen first");
    std::printf("addfiles_call_ms=%.1f first_rows_ms=%.1f all_rows_ms=%.1f\n", addCallMs,
                double(jobsMadeNs) / 1e6, rowsListedMs);
    std::printf("rows_arriving_worst_gui_stall_ms=%.1f (cpu %.1f)\n", listing.worstMs(),
                listing.worstCpuMs());
    std::printf("adding_worst_gui_stall_ms=%.1f (cpu %.1f)\n", adding.worstMs(),
                adding.worstCpuMs());
    std::printf("middle_screen_previews_ms=%.0f all_previews_ms=%.0f\n", screenMs, allMs);
    std::printf("peak_rss_after_previews_mb=%.1f\n", memoryMb);
    std::printf("status_changes=%d (%.0f/s) worst_gui_stall_ms=%.1f (cpu %.1f)\n", changes,
                changes / 5.0, changing.worstMs(), changing.worstCpuMs());
    std::printf("scroll_paints=%lld worst_paint_ms=%.2f p99_paint_ms=%.2f median_paint_ms=%.2f\n",
                qlonglong(wall.size()), percentile(wall, 1), percentile(wall, 0.99),
                percentile(wall, 0.5));
    std::printf("paint_cpu_ms: worst=%.2f p99=%.2f median=%.2f\n", percentile(processor, 1),
                percentile(processor, 0.99), percentile(processor, 0.5));
    return 0;
}
