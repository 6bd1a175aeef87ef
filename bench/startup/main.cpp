// Starts Moonforge RUNS times (default 5) and prints how long each took from exec to the first
// painted frame of its main window, then the median and the worst:
//   bench_startup [RUNS]
// The application leaves by itself after that frame (MOONFORGE_EXIT_AFTER_FIRST_FRAME=1). Each run
// gets fresh settings and caches, as a new user would.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 5;
    QList<double> times;
    for (int run = 0; run < runs; ++run) {
        QTemporaryDir home;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("MOONFORGE_EXIT_AFTER_FIRST_FRAME"), QStringLiteral("1"));
        environment.insert(QStringLiteral("MOONFORGE_SETTINGS_FILE"),
                           home.filePath(QStringLiteral("settings.ini")));
        environment.insert(QStringLiteral("XDG_CACHE_HOME"),
                           home.filePath(QStringLiteral("cache")));
        environment.insert(QStringLiteral("MOONFORGE_KEYRING_PREFIX"),
                           QStringLiteral("org.moonforge.bench"));
        QProcess process;
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        QElapsedTimer timer;
        timer.start();
        process.start(QStringLiteral(MOONFORGE_BINARY), {});
        if (!process.waitForFinished(60000) || process.exitCode() != 0) {
            std::fprintf(stderr, "run %d: moonforge did not reach its first frame\n", run + 1);
            return 1;
        }
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        times.append(ms);
        std::printf("run %d: %.0f ms\n", run + 1, ms);
    }
    std::sort(times.begin(), times.end());
    std::printf("median %.0f ms, worst %.0f ms over %d runs\n", times.at(times.size() / 2),
                times.last(), runs);
    return 0;
}
