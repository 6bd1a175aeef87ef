// An archive added with "Include subfolders" on: COUNT tiny PNGs spread over a tree DEPTH levels
// deep (two subfolders per folder), added to a store as a folder drop. Prints the time to walk
// and sort the tree on its own, the time from the drop until the first rows and until every job
// is listed, and the GUI thread's longest stall in that time (wall clock, and the processor time
// the thread itself spent in it). With --with-list the job list is on screen and takes the rows
// in too. The previews are still being made when the figures are taken; their work on the GUI
// thread counts.
//   moonforge-bench-tree [COUNT=50000] [DEPTH=10] [--with-list]
// Settings, caches and keyring entries are private to the run; no network is used.
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
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace
{

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
    QApplication app(argc, argv);
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
    QObject::connect(&store, &AppStore::jobsChanged, &app, [&] {
        ++slices;
        if (firstRowsNs < 0)
            firstRowsNs = sinceDrop.nsecsElapsed();
    });
    QObject::connect(&store, &AppStore::addingFilesChanged, &app, [&] {
        if (!store.isAddingFiles()) {
            allJobsNs = sinceDrop.nsecsElapsed();
            meter.stop();
            app.quit();
        }
    });
    idle.start();
    QTimer::singleShot(300, &app, [&] {
        idle.stop();
        meter.start();
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
    std::printf("idle_worst_lateness_ms=%.2f\n", idle.worstMs());
    std::printf("gui_worst_stall_ms=%.2f (thread cpu %.2f, %d ticks)\n", meter.worstMs(),
                meter.worstCpuMs(), meter.ticks());
    return status == 0 && store.jobs().size() == count ? 0 : 1;
}
