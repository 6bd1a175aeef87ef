#include "http/HttpServer.h"
#include "SimService.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace
{

int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    // Only async-signal-safe work here; the event loop picks the byte up.
    [[maybe_unused]] const ssize_t written = ::write(g_signalPipe[1], &byte, 1);
}

void installStopSignals(QCoreApplication &app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [&app] { app.quit(); });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("replicate-sim"));
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Local stand-in for the hosted model service, for tests and demos."));
    parser.addHelpOption();
    const QCommandLineOption listen(QStringLiteral("listen"),
                                    QStringLiteral("Address and port (port 0 picks a free one)."),
                                    QStringLiteral("host:port"), QStringLiteral("127.0.0.1:0"));
    const QCommandLineOption predict(QStringLiteral("predict-seconds"),
                                     QStringLiteral("How long a prediction runs."),
                                     QStringLiteral("seconds"), QStringLiteral("2"));
    const QCommandLineOption scale(QStringLiteral("time-scale"),
                                   QStringLiteral("Factor applied to every delay."),
                                   QStringLiteral("factor"), QStringLiteral("1"));
    const QCommandLineOption dataOutputs(
        QStringLiteral("data-outputs"),
        QStringLiteral("Answer held creates with output files inline, as data: URIs."));
    parser.addOptions({listen, predict, scale, dataOutputs});
    parser.process(app);

    const QString listenText = parser.value(listen);
    const qsizetype colon = listenText.lastIndexOf(QLatin1Char(':'));
    bool portOk = false;
    const uint port = listenText.mid(colon + 1).toUInt(&portOk);
    const QHostAddress host(colon > 0 ? listenText.left(colon) : QStringLiteral("127.0.0.1"));
    bool predictOk = false, scaleOk = false;
    SimOptions options;
    options.predictSeconds = parser.value(predict).toDouble(&predictOk);
    options.timeScale = parser.value(scale).toDouble(&scaleOk);
    options.dataOutputs = parser.isSet(dataOutputs);
    if (colon < 0 || !portOk || port > 65535 || host.isNull() || !predictOk || !scaleOk ||
        options.predictSeconds < 0 || options.timeScale < 0) {
        std::fprintf(stderr, "replicate-sim: bad arguments\n");
        return 2;
    }

    SimService *service = nullptr;
    HttpServer server([&service](const HttpRequest &request, std::shared_ptr<HttpReply> reply) {
        service->handle(request, std::move(reply));
    });
    if (!server.listen(host, quint16(port))) {
        std::fprintf(stderr, "replicate-sim: cannot listen: %s\n",
                     qPrintable(server.errorString()));
        return 1;
    }
    const QString hostText = host.protocol() == QAbstractSocket::IPv6Protocol
                                 ? QLatin1Char('[') + host.toString() + QLatin1Char(']')
                                 : host.toString();
    const QString base =
        QStringLiteral("http://") + hostText + QLatin1Char(':') + QString::number(server.port());
    SimService simService(base, options);
    service = &simService;
    installStopSignals(app);
    std::printf("listening on %s\n", qPrintable(base));
    std::fflush(stdout);
    return app.exec();
}
