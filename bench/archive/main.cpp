// A photo archive through moonforge-batch against the stand-in service, twice over fresh copies
// of the same tree: once straight through, and once killed with SIGKILL when half the pairs are
// done, then launched again over the same settings and journal to the end. Prints, for each, the
// pairs done, the predictions the service made (which must equal the pairs), result files per
// photo (which must be exactly one) and the wall time; exits non-zero when either is off. A kill
// that lands while a create is unanswered leaves a prediction no restart can name, so the
// interrupted pass may pay for up to one such prediction per pair in flight.
//   moonforge-bench-archive [--photos 10000] [--levels 3] [--predict-seconds 2]
//                           [--time-scale 0.01] [--work FOLDER]
// Run it inside scripts/with-test-session, which gives the batch a private session and keyring.
#include "BatchLaunch.h"
#include "PhotoTree.h"
#include "Services/AppStore.h"
#include "SimProcess.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTemporaryDir>

#include <cstdio>

namespace
{
constexpr int photosPerFolder = 20;

struct Settings {
    int photos = 10000;
    int levels = 3;
    QString predictSeconds;
    QString timeScale;
};

// How many predictions the service has made, or -1 when it did not say.
int predictionCount(const SimProcess &service)
{
    QNetworkAccessManager network;
    QNetworkReply *reply =
        network.get(QNetworkRequest(service.url(QStringLiteral("/_sim/predictions"))));
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    const QJsonDocument answer = QJsonDocument::fromJson(reply->readAll());
    delete reply;
    return answer.isArray() ? int(answer.array().size()) : -1;
}

QProcessEnvironment batchEnvironment()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString &name : environment.keys()) {
        if (name.startsWith(QLatin1String("MOONFORGE_")))
            environment.remove(name);
    }
    environment.insert(QStringLiteral("REPLICATE_API_TOKEN"), QStringLiteral("r8_bench"));
    return environment;
}

// One pass over a fresh tree and a fresh service; `interrupt` kills the first launch half way.
// False when its figures are wrong or it could not run.
bool pass(const Settings &settings, const QString &work, bool interrupt, double *wallSeconds)
{
    const char *name = interrupt ? "interrupted" : "straight";
    const QString root = QDir(work).filePath(QString::fromLatin1(name));
    PhotoTree::Made made;
    QElapsedTimer making;
    making.start();
    if (!PhotoTree::make(QDir(root).filePath(QStringLiteral("photos")), settings.photos,
                         photosPerFolder, settings.levels, &made)) {
        std::fprintf(stderr, "%s: cannot write the photos\n", name);
        return false;
    }
    std::printf("%s: tree photos=%d folders=%d made_in_s=%.2f\n", name, made.photos, made.folders,
                double(making.elapsed()) / 1000.0);
    std::fflush(stdout);

    SimProcess service(QString::fromUtf8(MOONFORGE_SIM_BINARY),
                       {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"),
                        QStringLiteral("--predict-seconds"), settings.predictSeconds,
                        QStringLiteral("--time-scale"), settings.timeScale});
    if (!service.isRunning()) {
        std::fprintf(stderr, "%s: the stand-in service did not start: %s\n", name,
                     qPrintable(service.errorString()));
        return false;
    }
    const QStringList arguments{QStringLiteral("--settings"),
                                QDir(root).filePath(QStringLiteral("settings.ini")),
                                QStringLiteral("--service"), service.baseUrl().toString(),
                                QDir(root).filePath(QStringLiteral("photos"))};
    const QString batch = QString::fromUtf8(MOONFORGE_BATCH_BINARY);
    double seconds = 0;
    if (interrupt) {
        const BatchLaunch first =
            BatchLaunch::run(batch, arguments, batchEnvironment(), settings.photos / 2);
        if (!first.killed) {
            std::fprintf(stderr, "%s: the first launch ended before half way %s\n", name,
                         qPrintable(first.error));
            return false;
        }
        std::printf("%s: killed at done=%d after_s=%.2f predictions_then=%d\n", name,
                    first.doneAtKill, first.seconds, predictionCount(service));
        seconds += first.seconds;
    }
    const BatchLaunch last = BatchLaunch::run(batch, arguments, batchEnvironment());
    seconds += last.seconds;
    const int done = last.summary.value(QStringLiteral("done")).toInt();
    const int pairs = last.summary.value(QStringLiteral("pairs")).toInt();
    const int predictions = predictionCount(service);
    const PhotoTree::Results results = PhotoTree::countResults(root, settings.photos);
    std::printf(
        "%s: pairs_done=%d/%d predictions=%d paid_twice=%d result_files=%d per_photo_min=%d "
        "per_photo_max=%d photos_without=%d wall_s=%.2f%s\n",
        name, done, pairs, predictions, predictions - settings.photos, results.total,
        results.fewest, results.most, results.photosWithout, seconds,
        interrupt
            ? qPrintable(QStringLiteral(" (resumed launch %1 s)").arg(last.seconds, 0, 'f', 2))
            : "");
    std::fflush(stdout);
    *wallSeconds = seconds;
    // A create whose answer had not arrived when the process died made a prediction nobody was
    // told the id of: the resumed batch cannot claim it and creates the pair's prediction again.
    // At most one per pair in flight; everything the batch was told must be claimed.
    const int unclaimable = interrupt ? AppStore::maxPairsInFlight : 0;
    return done == settings.photos && predictions >= settings.photos &&
           predictions - settings.photos <= unclaimable && results.fewest == 1 && results.most == 1;
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("An archive of photos through "
                                                    "moonforge-batch, straight and killed half "
                                                    "way."));
    parser.addHelpOption();
    const QCommandLineOption photos(QStringLiteral("photos"), QStringLiteral("Photos (10000)."),
                                    QStringLiteral("n"), QStringLiteral("10000"));
    const QCommandLineOption predict(QStringLiteral("predict-seconds"),
                                     QStringLiteral("A prediction's time at the service (2)."),
                                     QStringLiteral("s"), QStringLiteral("2"));
    const QCommandLineOption scale(QStringLiteral("time-scale"),
                                   QStringLiteral("The service's clock factor (0.01)."),
                                   QStringLiteral("f"), QStringLiteral("0.01"));
    const QCommandLineOption keep(QStringLiteral("work"),
                                  QStringLiteral("Leave the trees in this folder."),
                                  QStringLiteral("folder"));
    const QCommandLineOption levels(QStringLiteral("levels"),
                                    QStringLiteral("Folder levels below the root, 0 to 3 (3)."),
                                    QStringLiteral("n"), QStringLiteral("3"));
    parser.addOptions({photos, predict, scale, keep, levels});
    parser.process(app);
    Settings settings{parser.value(photos).toInt(), parser.value(levels).toInt(),
                      parser.value(predict), parser.value(scale)};
    if (settings.photos < 2 || settings.levels < 0 || settings.levels > 3) {
        std::fprintf(stderr, "moonforge-bench-archive: --photos must be 2 or more and --levels "
                             "0 to 3\n");
        return 2;
    }
    QTemporaryDir temporary;
    const QString work = parser.isSet(keep) ? parser.value(keep) : temporary.path();
    if (!QDir().mkpath(work))
        return 2;

    double straight = 0;
    double interrupted = 0;
    const bool straightRight = pass(settings, work, false, &straight);
    const bool interruptedRight = pass(settings, work, true, &interrupted);
    if (straight > 0)
        std::printf("interrupted_vs_straight=%.2f\n", interrupted / straight);
    return straightRight && interruptedRight ? 0 : 1;
}
