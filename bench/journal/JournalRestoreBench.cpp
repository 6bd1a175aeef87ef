// A long job list brought back from the journal at start: how long until every journaled job is
// listed, the worst stall of the GUI thread while the rows arrive, and, with the whole list on
// screen, the worst stall and the slowest paint while scrolling from top to bottom.
//   moonforge-bench-journal [COUNT=100000]
// Every job is a file job with two pairs, one done (its result on disk) and one waiting; the
// files are a few small PNGs linked under COUNT names. Settings, caches, journal and keyring
// entries are private to the run; no network is used.
#include "Services/AppStore.h"
#include "Services/JournalDatabase.h"
#include "StallMeter.h"
#include "Views/Workspace/CentreContent.h"
#include "Views/Workspace/JobListModel.h"
#include "Views/Workspace/JobListView.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace
{

void spin(QApplication &app, const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeoutMs)
        app.processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
}

// COUNT jobs, as a run over that many photos leaves them in the journal.
bool writeJournal(const QString &folder, const QString &journalPath, int count)
{
    QStringList sources;
    for (int i = 0; i < 12; ++i) {
        QImage image(64, 48, QImage::Format_RGB32);
        image.fill(QColor::fromHsv(i * 30, 160, 200));
        const QString path = folder + u"/source-%1.png"_s.arg(i);
        image.save(path);
        sources.append(path);
    }
    JournalBatch batch;
    for (int i = 0; i < count; ++i) {
        const QString photo = folder + u"/photos/photo-%1.png"_s.arg(i, 6, 10, QLatin1Char('0'));
        QFile::link(sources.at(i % sources.size()), photo);
        JournalJob job;
        job.id = QUuid::createUuid();
        job.position = i;
        job.source = QUrl::fromLocalFile(photo).toString();
        job.pixelWidth = 64;
        job.pixelHeight = 48;
        job.byteSize = 4096;
        JournalPair done;
        done.id = QUuid::createUuid();
        done.jobId = job.id;
        done.slug = u"nightmareai/real-esrgan"_s;
        done.title = u"Real-ESRGAN"_s;
        done.status = RunStatus::Kind::done;
        done.resultURL = QUrl::fromLocalFile(sources.at((i + 1) % sources.size())).toString();
        done.resultWidth = 256;
        done.resultHeight = 192;
        done.elapsed = 4.2;
        done.costLow = done.costHigh = 0.0023;
        JournalPair waiting = done;
        waiting.id = QUuid::createUuid();
        waiting.position = 1;
        waiting.slug = u"google/upscaler"_s;
        waiting.title = u"Google Upscaler"_s;
        waiting.status = RunStatus::Kind::waiting;
        waiting.resultURL.clear();
        batch.jobs.append(job);
        batch.jobPairs.append({job.id, {done, waiting}});
    }
    JournalDatabase journal(journalPath);
    return journal.open({}).isOpen && journal.apply(batch);
}

double percentile(QList<double> values, double p)
{
    if (values.isEmpty())
        return 0.0;
    std::sort(values.begin(), values.end());
    return values.at(std::min(values.size() - 1, qsizetype(p * double(values.size()))));
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    int count = 100000;
    for (const QString &arg : QCoreApplication::arguments().mid(1))
        if (arg.toInt() > 0)
            count = arg.toInt();

    QTemporaryDir scratch;
    QDir(scratch.path()).mkpath(u"photos"_s);
    AppEnvironment environment;
    environment.settingsPath = scratch.filePath(u"settings.ini"_s);
    environment.cacheFolder = scratch.filePath(u"cache"_s);
    environment.journalPath = scratch.filePath(u"journal.sqlite3"_s);
    environment.keychainPrefix = u"org.moonforge.bench%1"_s.arg(getpid());
    QElapsedTimer seeding;
    seeding.start();
    if (!writeJournal(scratch.path(), environment.journalPath, count)) {
        std::fprintf(stderr, "could not write the journal\n");
        return 1;
    }
    const double seedMs = double(seeding.nsecsElapsed()) / 1e6;

    // 1. Start: the store reads the journal on its thread and lists the jobs a slice at a time,
    // with the list on screen.
    StallMeter arriving;
    arriving.start();
    QElapsedTimer sinceStart;
    sinceStart.start();
    AppStore store(environment);
    const double constructMs = double(sinceStart.nsecsElapsed()) / 1e6;
    store.setMode(Mode::upscale);
    CentreContent centre(store);
    centre.resize(740, 600);
    JobListView *list = centre.jobList();
    centre.show();
    double restoredMs = -1;
    QObject::connect(&store, &AppStore::restoringChanged, &app,
                     [&] { restoredMs = double(sinceStart.nsecsElapsed()) / 1e6; });
    spin(
        app, [&] { return !store.isRestoring(); }, 10 * 60 * 1000);
    arriving.stop();
    const qsizetype listed = store.jobs().size();
    std::printf("jobs=%d listed=%lld rows=%d seed_journal_ms=%.0f\n", count, qlonglong(listed),
                list->jobModel()->rowCount({}), seedMs);
    std::printf("store_constructor_ms=%.1f restored_ms=%.0f\n", constructMs, restoredMs);
    std::printf("rows_arriving_worst_gui_stall_ms=%.1f (cpu %.1f)\n", arriving.worstMs(),
                arriving.worstCpuMs());
    std::fflush(stdout);

    // 2. Scrolling from the top to the bottom in 400 steps, one paint per step, the event loop
    // served in between so late work shows as a stall.
    StallMeter scrolling;
    scrolling.start();
    QScrollBar *bar = list->verticalScrollBar();
    const int step = std::max(97, bar->maximum() / 400);
    QList<double> paints;
    for (int y = 0; y <= bar->maximum(); y += step) {
        bar->setValue(y);
        QElapsedTimer timer;
        timer.start();
        list->viewport()->repaint();
        paints.append(double(timer.nsecsElapsed()) / 1e6);
        app.processEvents();
    }
    scrolling.stop();

    std::printf("scrolling_worst_gui_stall_ms=%.1f (cpu %.1f)\n", scrolling.worstMs(),
                scrolling.worstCpuMs());
    std::printf("scroll_paints=%lld worst_paint_ms=%.2f p99_paint_ms=%.2f median_paint_ms=%.2f\n",
                qlonglong(paints.size()), percentile(paints, 1), percentile(paints, 0.99),
                percentile(paints, 0.5));
    return listed == count ? 0 : 1;
}
