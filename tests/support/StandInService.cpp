#include "StandInService.h"

#include <QEventLoop>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <sys/prctl.h>

#include <csignal>

namespace
{

constexpr int kStartTimeoutMs = 10000;
constexpr int kCallTimeoutMs = 30000;

} // namespace

QString StandInService::binaryPath()
{
    return QString::fromUtf8(MOONFORGE_SIM_BINARY);
}

StandInService::StandInService() : StandInService(Options{}) {}

StandInService::StandInService(Options options)
{
    if (binaryPath().isEmpty()) {
        m_error = QStringLiteral("the stand-in service was not built");
        return;
    }
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList arguments{
        QStringLiteral("--listen"),          QStringLiteral("127.0.0.1:0"),
        QStringLiteral("--predict-seconds"), QString::number(options.predictSeconds),
        QStringLiteral("--time-scale"),      QString::number(options.timeScale)};
    if (options.dataOutputs)
        arguments.append(QStringLiteral("--data-outputs"));
    // A test that crashes must not leave the service behind: it would hold the test's output
    // open and keep the test runner waiting until its time-out.
    m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    m_process.start(binaryPath(), arguments);
    if (!m_process.waitForStarted(kStartTimeoutMs)) {
        m_error = m_process.errorString();
        return;
    }
    QByteArray line;
    while (!line.contains('\n')) {
        if (!m_process.waitForReadyRead(kStartTimeoutMs)) {
            m_error = QStringLiteral("the stand-in service printed no address");
            return;
        }
        line += m_process.readAllStandardOutput();
    }
    const QByteArray first = line.left(line.indexOf('\n')).trimmed();
    const QByteArray prefix = "listening on ";
    if (!first.startsWith(prefix)) {
        m_error = QStringLiteral("unexpected first line: ") + QString::fromUtf8(first);
        return;
    }
    m_base = QUrl(QString::fromUtf8(first.mid(prefix.size())));
}

StandInService::~StandInService()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

bool StandInService::isRunning() const
{
    return m_process.state() == QProcess::Running && m_base.isValid() && !m_base.isEmpty();
}

QUrl StandInService::apiBase() const
{
    QUrl url = m_base;
    url.setPath(QStringLiteral("/v1"));
    return url;
}

QJsonObject StandInService::Reply::object() const
{
    return QJsonDocument::fromJson(body).object();
}

std::optional<StandInService::Reply>
StandInService::call(const QByteArray &method, const QString &path, const QByteArray &body,
                     const QList<QPair<QByteArray, QByteArray>> &headers)
{
    QNetworkAccessManager manager;
    QUrl url = m_base;
    const qsizetype question = path.indexOf(QLatin1Char('?'));
    url.setPath(question < 0 ? path : path.left(question));
    if (question >= 0)
        url.setQuery(path.mid(question + 1));
    QNetworkRequest request(url);
    for (const auto &[name, value] : headers)
        request.setRawHeader(name, value);
    if (!body.isEmpty() && !request.hasRawHeader("Content-Type"))
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("application/json"));
    QNetworkReply *reply = manager.sendCustomRequest(request, method, body);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(kCallTimeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    std::optional<Reply> result;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (reply->isFinished() && status.isValid())
        result = Reply{status.toInt(), reply->readAll()};
    reply->abort();
    delete reply;
    return result;
}

bool StandInService::addFault(const QJsonObject &rule)
{
    return addFaults(QJsonArray{rule});
}

bool StandInService::addFaults(const QJsonArray &rules)
{
    const auto reply = call("POST", QStringLiteral("/_sim/faults"),
                            QJsonDocument(rules).toJson(QJsonDocument::Compact));
    return reply && reply->status == 200;
}

bool StandInService::reset()
{
    const auto reply = call("POST", QStringLiteral("/_sim/reset"));
    return reply && reply->status == 200;
}

QJsonArray StandInService::requests()
{
    const auto reply = call("GET", QStringLiteral("/_sim/requests"));
    return reply ? QJsonDocument::fromJson(reply->body).array() : QJsonArray{};
}

QJsonArray StandInService::predictions()
{
    const auto reply = call("GET", QStringLiteral("/_sim/predictions"));
    return reply ? QJsonDocument::fromJson(reply->body).array() : QJsonArray{};
}

QJsonArray StandInService::requests(const QString &pathPrefix)
{
    QJsonArray matching;
    for (const QJsonValue &entry : requests()) {
        if (entry.toObject().value(QStringLiteral("path")).toString().startsWith(pathPrefix))
            matching.append(entry);
    }
    return matching;
}
