// Times ImageFile::thumbnail inside one process, as the application pays it once running: no
// process start, no output file. Files are shared out to THREADS workers (default 2, so both
// cores are busy) and each preview is made ROUNDS times (default 1).
//   moonforge-bench-thumbnails [--threads N] [--rounds N] [--max PIXELS] FILE...
// Prints files, total wall milliseconds, CPU milliseconds per preview and the preview size.
#include "Services/ImageFile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QUrl>

#include <atomic>
#include <cstdio>
#include <ctime>
#include <thread>
#include <vector>

namespace
{

double cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    int threads = 2;
    int rounds = 1;
    int maxPixel = 256;
    const auto option = [&](const char *name, int *value) {
        const int at = int(args.indexOf(QLatin1String(name)));
        if (at >= 0 && at + 1 < args.size()) {
            *value = std::max(1, args.at(at + 1).toInt());
            args.remove(at, 2);
        }
    };
    option("--threads", &threads);
    option("--rounds", &rounds);
    option("--max", &maxPixel);
    if (args.isEmpty()) {
        std::fprintf(stderr, "usage: moonforge-bench-thumbnails [--threads N] [--rounds N] "
                             "[--max PIXELS] FILE...\n");
        return 1;
    }
    std::vector<QUrl> urls;
    for (const QString &file : std::as_const(args))
        urls.push_back(QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath()));
    // One preview first, so that one-time loading (decoders, plugins) stays out of the figures.
    const std::optional<QImage> first = ImageFile::thumbnail(urls.front(), maxPixel);
    if (!first) {
        std::fprintf(stderr, "no preview of %s\n", qPrintable(urls.front().toLocalFile()));
        return 1;
    }

    const int total = int(urls.size()) * rounds;
    std::atomic<int> next{0};
    std::atomic<int> failed{0};
    QElapsedTimer wall;
    const double cpuStart = cpuMs();
    wall.start();
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back([&] {
            for (int i = next++; i < total; i = next++) {
                if (!ImageFile::thumbnail(urls[size_t(i) % urls.size()], maxPixel))
                    ++failed;
            }
        });
    for (std::thread &worker : workers)
        worker.join();
    const double wallMs = double(wall.nsecsElapsed()) / 1e6;
    const double cpuPer = (cpuMs() - cpuStart) / total;
    std::printf("previews=%d threads=%d wall_ms=%.1f wall_ms_per_preview=%.2f "
                "cpu_ms_per_preview=%.2f size=%dx%d failed=%d\n",
                total, threads, wallMs, wallMs / total, cpuPer, first->width(), first->height(),
                failed.load());
    return failed.load() == 0 ? 0 : 1;
}
