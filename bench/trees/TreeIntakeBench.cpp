// An archive added with "Include subfolders" on: COUNT tiny PNGs spread over a tree DEPTH levels
// deep (two subfolders per folder), added to a store as a folder drop. Prints the time to walk
// and sort the tree on its own, the time from the drop until the first rows and until every job
// is listed, and the GUI thread's longest stall in that time (wall clock, and the processor time
// the thread itself spent in it) with its longest single event and what received it. With
// --with-list the job list is on screen and takes the rows in too. The previews are still being
// made when the figures are taken; their work on the GUI thread counts.
//   moonforge-bench-tree [COUNT=50000] [DEPTH=10] [--with-list]
// Settings, caches, journal and keyring entries are private to the run; no network is used.
#include "Services/AppStore.h"
#include "Services/FileIntake.h"
#include "StallMeter.h"
#include "Views/Workspace/CentreContent.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <ctime>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace
{

qint64 threadCpuNs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// Times every event the GUI thread delivers from its event loop and keeps the longest by wall
// clock and by the thread's own processor time, with what received it: on a machine shared with
// other work, the second tells our own cost apart from time other programs held the processor.
class TimedApplication final : public QApplication
{
public:
    using QApplication::QApplication;

    struct Longest {
        qint64 ns = 0;
        QString what;
        void note(qint64 spent, const QObject *receiver, const QEvent *event,
                  const QElapsedTimer &since)
        {
            if (spent <= ns)
                return;
            ns = spent;
            const QObject *owner = receiver->parent() ? receiver->parent() : receiver;
            what = u"%1 of %2, event type %3"_s.arg(
                QString::fromLatin1(receiver->metaObject()->className()),
                QString::fromLatin1(owner->metaObject()->className()),
                QString::number(int(event->type())));
            if (const auto *timer = qobject_cast<const QTimer *>(receiver))
                what += u", interval %1 ms"_s.arg(timer->interval());
            what += u", %1 ms after the drop"_s.arg(since.elapsed());
        }
    };

    bool notify(QObject *receiver, QEvent *event) override
    {
        if (m_depth > 0 || !m_timing)
            return QApplication::notify(receiver, event);
        ++m_depth;
        QElapsedTimer timer;
        timer.start();
        const qint64 cpuBefore = threadCpuNs();
        const bool handled = QApplication::notify(receiver, event);
        m_cpu.note(threadCpuNs() - cpuBefore, receiver, event, m_since);
        m_wall.note(timer.nsecsElapsed(), receiver, event, m_since);
        --m_depth;
        return handled;
    }
    void setTiming(bool on)
    {
        m_timing = on;
        m_since.start();
    }
    const Longest &longestWall() const { return m_wall; }
    const Longest &longestCpu() const { return m_cpu; }

private:
    int m_depth = 0;
    bool m_timing = false;
    QElapsedTimer m_since;
    Longest m_wall;
    Longest m_cpu;
};

// Every folder of a full binary tree DEPTH levels deep, the root first.
QStringList makeFolders(const QString &root, int depth)
{
    QStringList folders{root};
    QStringList level{root};
    for (int d = 0; d < depth; ++d) {
        QStringList next;
        for (const QString &folder : std::as_const(level)) {
            for (int branch = 0; branch < 2; ++branch) {
                const QString child = folder + u"/level%1-%2"_s.arg(d + 1).arg(branch);
                QDir().mkpath(child);
                next.append(child);
            }
        }
        folders += next;
        level = next;
    }
    return folders;
}

// COUNT hard links to one 8 × 8 PNG, dealt out over the folders in turn.
bool makeFiles(const QString &source, const QStringList &folders, int count)
{
    for (int i = 0; i < count; ++i) {
        const QString path =
            folders.at(i % folders.size()) + u"/photo-%1.png"_s.arg(i, 5, 10, QLatin1Char('0'));
        if (::link(QFile::encodeName(source).constData(), QFile::encodeName(path).constData()) != 0)
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    TimedApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    const QStringList args = QCoreApplication::arguments();
    const bool withList = args.contains(u"--with-list"_s);
    QList<int> numbers;
    for (const QString &arg : args.mid(1))
        if (arg.toInt() > 0)
            numbers.append(arg.toInt());
    const int count = numbers.value(0, 50000);
    const int depth = numbers.value(1, 10);

    QTemporaryDir scratch;
    const QString tree = scratch.filePath(u"archive"_s);
    QImage pixel(8, 8, QImage::Format_RGB32);
    pixel.fill(Qt::darkCyan);
    const QString source = scratch.filePath(u"source.png"_s);
    const QStringList folders = makeFolders(tree, depth);
    if (!pixel.save(source) || !makeFiles(source, folders, count)) {
        std::fprintf(stderr, "cannot make the tree in %s\n", qUtf8Printable(scratch.path()));
        return 1;
    }

    // Walking, typing and sorting alone, as the drop does it again below (now with a warm
    // file-system cache, as the drop will have).
    QElapsedTimer walkTimer;
    walkTimer.start();
    const qsizetype walked = FileIntake::list({QUrl::fromLocalFile(tree)}, true).size();
    const double walkMs = double(walkTimer.nsecsElapsed()) / 1e6;

    AppEnvironment environment;
    environment.settingsPath = scratch.filePath(u"settings.ini"_s);
    environment.cacheFolder = scratch.filePath(u"cache"_s);
    // The application always keeps one, and it hears of every slice.
    environment.journalPath = scratch.filePath(u"journal.sqlite3"_s);
    environment.keychainPrefix = u"org.moonforge.bench%1"_s.arg(getpid());
    AppStore store(environment);
    store.setMode(Mode::upscale);
    store.setIncludeSubfolders(true);
    std::unique_ptr<CentreContent> centre;
    if (withList) {
        centre = std::make_unique<CentreContent>(store);
        centre->resize(740, 600);
        centre->show();
    }

    StallMeter idle;
    StallMeter meter;
    QElapsedTimer sinceDrop;
    qint64 firstRowsNs = -1;
    qint64 allJobsNs = -1;
    int slices = 0;
    // Two notices in one turn of the event loop are one slice apart: the time between them is
    // what one slice costs the GUI thread, from making its jobs to queueing their inspection.
    qint64 lastSliceCpuNs = -1;
    qint64 longestSliceNs = 0;
    qsizetype longestSliceAt = 0;
    QObject::connect(&store, &AppStore::jobsChanged, &app, [&] {
        ++slices;
        if (firstRowsNs < 0)
            firstRowsNs = sinceDrop.nsecsElapsed();
        const qint64 cpu = threadCpuNs();
        if (lastSliceCpuNs >= 0 && cpu - lastSliceCpuNs > longestSliceNs) {
            longestSliceNs = cpu - lastSliceCpuNs;
            longestSliceAt = store.jobs().size();
        }
        lastSliceCpuNs = cpu;
        // Whatever comes after this slice in the same turn is measured from here; a new turn
        // starts afresh.
        QTimer::singleShot(0, &app, [&] { lastSliceCpuNs = -1; });
    });
    QObject::connect(&store, &AppStore::addingFilesChanged, &app, [&] {
        if (!store.isAddingFiles()) {
            allJobsNs = sinceDrop.nsecsElapsed();
            meter.stop();
            app.setTiming(false);
            app.quit();
        }
    });
    idle.start();
    QTimer::singleShot(300, &app, [&] {
        idle.stop();
        meter.start();
        app.setTiming(true);
        sinceDrop.start();
        store.addFiles({QUrl::fromLocalFile(tree)});
    });
    QTimer::singleShot(15 * 60 * 1000, &app, [&] { app.exit(2); });
    const int status = app.exec();

    std::printf("files=%d folders=%lld depth=%d with_list=%s\n", count, qlonglong(folders.size()),
                depth, withList ? "yes" : "no");
    std::printf("walk_ms=%.1f (%lld files found)\n", walkMs, qlonglong(walked));
    std::printf("first_rows_ms=%.1f\n", double(firstRowsNs) / 1e6);
    std::printf("all_jobs_listed_ms=%.1f (%lld jobs, %d slices)\n", double(allJobsNs) / 1e6,
                qlonglong(store.jobs().size()), slices);
    std::printf("longest_slice_cpu_ms=%.2f (when %lld jobs were listed)\n",
                double(longestSliceNs) / 1e6, qlonglong(longestSliceAt));
    std::printf("idle_worst_lateness_ms=%.2f\n", idle.worstMs());
    std::printf("gui_worst_stall_ms=%.2f (thread cpu %.2f, %d ticks)\n", meter.worstMs(),
                meter.worstCpuMs(), meter.ticks());
    std::printf("gui_longest_event_ms=%.2f (%s)\n", double(app.longestWall().ns) / 1e6,
                qUtf8Printable(app.longestWall().what));
    std::printf("gui_longest_event_cpu_ms=%.2f (%s)\n", double(app.longestCpu().ns) / 1e6,
                qUtf8Printable(app.longestCpu().what));
    return status == 0 && store.jobs().size() == count ? 0 : 1;
}
