// bench-sim: how the stand-in service holds up under the load tests and benchmarks put on it.
// Every phase keeps --concurrency requests in flight and times each one; the table shows latency
// as the client sees it (loopback included) and the service's own CPU time per request.
#include "LoadRunner.h"
#include "SimProcess.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>

#include <cstdio>
#include <unistd.h>

namespace
{

const QPair<QByteArray, QByteArray> kAuth{"Authorization", "Bearer r8_bench"};
const QPair<QByteArray, QByteArray> kJson{"Content-Type", "application/json"};

// The same call `count` times.
LoadRunner::Next repeat(int count, BenchCall call)
{
    auto left = std::make_shared<int>(count);
    return [left, call]() -> std::optional<BenchCall> {
        if (*left <= 0)
            return std::nullopt;
        --*left;
        return call;
    };
}

LoadRunner::Check expectStatus(int status, QByteArray mustContain = {})
{
    return [status, mustContain](const BenchCall &, const BenchResult &result, QString *problem) {
        if (result.status != status)
            return false;
        if (!mustContain.isEmpty() && !result.body.contains(mustContain)) {
            *problem = QStringLiteral("body lacks ") + QString::fromLatin1(mustContain);
            return false;
        }
        return true;
    };
}

QByteArray multipartUpload(const QByteArray &boundary, int bytes)
{
    // Random bytes: what the service stores is opaque to it, and nothing shrinks them.
    QByteArray content(bytes, Qt::Uninitialized);
    QRandomGenerator generator(7);
    for (char &byte : content)
        byte = char(generator.bounded(256));
    return "--" + boundary +
           "\r\nContent-Disposition: form-data; name=\"content\"; filename=\"bench.png\"\r\n"
           "Content-Type: image/png\r\n\r\n" +
           content + "\r\n--" + boundary + "--\r\n";
}

BenchCall prediction(const SimProcess &sim, const QString &model, const QJsonObject &input,
                     bool wait)
{
    BenchCall call{
        "POST",
        sim.url(QStringLiteral("/v1/models/") + model + QStringLiteral("/predictions")),
        QJsonDocument(QJsonObject{{QStringLiteral("input"), input}}).toJson(QJsonDocument::Compact),
        {kAuth, kJson},
        {}};
    if (wait)
        call.headers.append(qMakePair(QByteArray("Prefer"), QByteArray("wait=60")));
    return call;
}

void print(const QString &line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

struct Options {
    QString binary;
    int requests = 200;
    int routeRequests = 1000;
    int concurrency = 4;
    double holdSeconds = 0.1;
};

// Routes that answer at once: what every client call pays besides the wait for a model.
QList<PhaseStats> routePhases(const SimProcess &sim, LoadRunner &runner, const Options &options)
{
    const int n = options.routeRequests;
    const int c = options.concurrency;
    const QByteArray boundary = "bench-boundary-7f3a";
    const QByteArray upload = multipartUpload(boundary, 64 * 1024);
    QList<PhaseStats> phases;
    phases.append(runner.run(
        QStringLiteral("401 without token"), c,
        repeat(n,
               {"GET", sim.url(QStringLiteral("/v1/models/nightmareai/real-esrgan")), {}, {}, {}}),
        expectStatus(401)));
    phases.append(
        runner.run(QStringLiteral("model record"), c,
                   repeat(n, {"GET",
                              sim.url(QStringLiteral("/v1/models/nightmareai/real-esrgan")),
                              {},
                              {kAuth},
                              {}}),
                   expectStatus(200, "openapi_schema")));
    phases.append(runner.run(QStringLiteral("search (QUERY)"), c,
                             repeat(n, {"QUERY",
                                        sim.url(QStringLiteral("/v1/models")),
                                        "flux",
                                        {kAuth, {"Content-Type", "text/plain"}},
                                        {}}),
                             expectStatus(200, "flux-schnell")));
    phases.append(
        runner.run(QStringLiteral("collection page"), c,
                   repeat(n, {"GET",
                              sim.url(QStringLiteral("/v1/collections/text-to-image?cursor=1")),
                              {},
                              {kAuth},
                              {}}),
                   expectStatus(200, "cursor=2")));
    phases.append(runner.run(
        QStringLiteral("model web page"), c,
        repeat(n, {"GET", sim.url(QStringLiteral("/nightmareai/real-esrgan")), {}, {}, {}}),
        expectStatus(200, "p50price")));
    phases.append(runner.run(
        QStringLiteral("upload %1 KiB").arg(upload.size() / 1024), c,
        repeat(n, {"POST",
                   sim.url(QStringLiteral("/v1/files")),
                   upload,
                   {kAuth, {"Content-Type", "multipart/form-data; boundary=" + boundary}},
                   {}}),
        expectStatus(201, "\"get\"")));
    return phases;
}

// `--requests` predictions created together (all in flight at once), polled until they end,
// then every output downloaded.
QList<PhaseStats> inFlightPhases(const SimProcess &sim, LoadRunner &runner, const Options &options,
                                 QString *summary)
{
    auto pending = std::make_shared<QStringList>();
    auto finals = std::make_shared<QList<QJsonObject>>();
    int index = 0;
    const auto create = [&]() -> std::optional<BenchCall> {
        if (index >= options.requests)
            return std::nullopt;
        const QJsonObject input{{QStringLiteral("prompt"), QStringLiteral("bench %1").arg(index++)},
                                {QStringLiteral("aspect_ratio"), QStringLiteral("1:1")}};
        return prediction(sim, QStringLiteral("black-forest-labs/flux-schnell"), input, false);
    };
    QList<PhaseStats> phases;
    phases.append(
        runner.run(QStringLiteral("create, no wait"), options.concurrency, create,
                   [pending](const BenchCall &, const BenchResult &result, QString *problem) {
                       const QJsonObject object = QJsonDocument::fromJson(result.body).object();
                       if (result.status != 201 ||
                           object.value(QStringLiteral("status")) != QStringLiteral("starting")) {
                           *problem = QString::fromUtf8(result.body.left(200));
                           return false;
                       }
                       pending->append(object.value(QStringLiteral("id")).toString());
                       return true;
                   }));
    const auto poll = [&sim, pending]() -> std::optional<BenchCall> {
        if (pending->isEmpty())
            return std::nullopt;
        const QString id = pending->takeFirst();
        return BenchCall{"GET", sim.url(QStringLiteral("/v1/predictions/") + id), {}, {kAuth}, id};
    };
    phases.append(runner.run(
        QStringLiteral("poll until done"), options.concurrency, poll,
        [pending, finals](const BenchCall &call, const BenchResult &result, QString *problem) {
            const QJsonObject object = QJsonDocument::fromJson(result.body).object();
            const QString status = object.value(QStringLiteral("status")).toString();
            if (result.status != 200)
                return false;
            if (status == QLatin1String("starting") || status == QLatin1String("processing")) {
                pending->append(call.tag);
                return true;
            }
            finals->append(object);
            if (status == QLatin1String("succeeded"))
                return true;
            *problem = QStringLiteral("ended ") + status;
            return false;
        }));
    QDateTime lastCreated, firstCompleted;
    QStringList outputs;
    for (const QJsonObject &done : std::as_const(*finals)) {
        const QDateTime created = QDateTime::fromString(
            done.value(QStringLiteral("created_at")).toString(), Qt::ISODateWithMs);
        const QDateTime completed = QDateTime::fromString(
            done.value(QStringLiteral("completed_at")).toString(), Qt::ISODateWithMs);
        if (!lastCreated.isValid() || created > lastCreated)
            lastCreated = created;
        if (!firstCompleted.isValid() || completed < firstCompleted)
            firstCompleted = completed;
        for (const QJsonValue &url : done.value(QStringLiteral("output")).toArray())
            outputs.append(url.toString());
    }
    *summary =
        QStringLiteral("%1 predictions ended; all in flight together: %2 (last created %3 ms "
                       "before the first completed)")
            .arg(finals->size())
            .arg(lastCreated < firstCompleted ? QStringLiteral("yes") : QStringLiteral("no"))
            .arg(lastCreated.msecsTo(firstCompleted));
    const auto download = [&sim, outputs, at = 0]() mutable -> std::optional<BenchCall> {
        if (at >= outputs.size())
            return std::nullopt;
        return BenchCall{"GET", sim.url(QUrl(outputs.at(at++)).path()), {}, {}, {}};
    };
    phases.append(runner.run(QStringLiteral("download output"), options.concurrency, download,
                             expectStatus(200, "PNG")));
    return phases;
}

// Predictions held open with Prefer: wait; the table subtracts the model's run time.
PhaseStats heldPhase(const SimProcess &sim, LoadRunner &runner, const Options &options,
                     const QString &name, const QString &model, const QJsonObject &input)
{
    return runner.run(name, options.concurrency,
                      repeat(options.requests, prediction(sim, model, input, true)),
                      expectStatus(201, "\"succeeded\""));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Load benchmark of the stand-in service."));
    parser.addHelpOption();
    const QCommandLineOption simOption(
        QStringLiteral("sim"), QStringLiteral("replicate-sim binary."), QStringLiteral("path"),
#ifdef MOONFORGE_SIM_BINARY
        QStringLiteral(MOONFORGE_SIM_BINARY)
#else
        QString()
#endif
    );
    const QCommandLineOption requestsOption(QStringLiteral("requests"),
                                            QStringLiteral("Predictions per phase."),
                                            QStringLiteral("n"), QStringLiteral("200"));
    const QCommandLineOption routeOption(QStringLiteral("route-requests"),
                                         QStringLiteral("Requests per plain route."),
                                         QStringLiteral("n"), QStringLiteral("1000"));
    const QCommandLineOption concurrencyOption(QStringLiteral("concurrency"),
                                               QStringLiteral("Requests in flight at once."),
                                               QStringLiteral("n"), QStringLiteral("4"));
    parser.addOptions({simOption, requestsOption, routeOption, concurrencyOption});
    parser.process(app);
    Options options;
    options.binary = parser.value(simOption);
    options.requests = qMax(1, parser.value(requestsOption).toInt());
    options.routeRequests = qMax(1, parser.value(routeOption).toInt());
    options.concurrency = qMax(1, parser.value(concurrencyOption).toInt());

    // One service whose predictions take 2 s (so that all of them are in flight together) and one
    // whose predictions take 100 ms (so that held requests finish in reasonable time).
    SimProcess slow(options.binary, {QStringLiteral("--predict-seconds"), QStringLiteral("2")});
    SimProcess quick(options.binary,
                     {QStringLiteral("--predict-seconds"), QString::number(options.holdSeconds)});
    if (!slow.isRunning() || !quick.isRunning()) {
        std::fprintf(stderr, "bench-sim: cannot start %s: %s\n", qPrintable(options.binary),
                     qPrintable(slow.errorString() + quick.errorString()));
        return 1;
    }
    print(QStringLiteral("concurrency %1, %2 predictions per phase, %3 requests per route")
              .arg(options.concurrency)
              .arg(options.requests)
              .arg(options.routeRequests));
    print(PhaseStats::header());
    int errors = 0;
    LoadRunner slowRunner(slow);
    LoadRunner quickRunner(quick);
    const auto report = [&errors](const PhaseStats &stats, double offsetMs = 0) {
        print(stats.row(offsetMs));
        if (stats.errors > 0)
            print(QStringLiteral("  first error: ") + stats.firstError);
        errors += stats.errors;
    };
    for (const PhaseStats &stats : routePhases(slow, slowRunner, options))
        report(stats);
    QString summary;
    for (const PhaseStats &stats : inFlightPhases(slow, slowRunner, options, &summary))
        report(stats);
    const double holdMs = options.holdSeconds * 1000.0;
    report(heldPhase(quick, quickRunner, options, QStringLiteral("held video, minus run"),
                     QStringLiteral("minimax/video-01"),
                     {{QStringLiteral("prompt"), QStringLiteral("waves")}}),
           holdMs);
    report(heldPhase(quick, quickRunner, options, QStringLiteral("held image, minus run"),
                     QStringLiteral("black-forest-labs/flux-schnell"),
                     {{QStringLiteral("prompt"), QStringLiteral("a lighthouse")}}),
           holdMs);
    print(summary);
    print(QStringLiteral("errors: %1 (sim CPU time has %2 ms resolution)")
              .arg(errors)
              .arg(1000 / ::sysconf(_SC_CLK_TCK)));
    return errors == 0 ? 0 : 1;
}
