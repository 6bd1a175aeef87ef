#include "SimService.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTimer>

SimService::SimService(QString base, SimOptions options, QObject *parent)
    : QObject(parent), m_base(std::move(base)), m_options(options),
      m_predictions(m_files, m_base, options.predictSeconds, options.timeScale, this)
{
}

void SimService::handle(const HttpRequest &request, std::shared_ptr<HttpReply> reply)
{
    if (request.path.startsWith(QLatin1String("/_sim/"))) {
        handleControl(request, *reply);
        return;
    }
    m_log.record(request);
    const std::optional<FaultRule> fault =
        m_faults.take(QString::fromLatin1(request.method), request.path);
    if (fault && fault->delayMs > 0) {
        QTimer::singleShot(m_predictions.scaledMs(fault->delayMs / 1000.0), this,
                           [this, request, reply, fault] {
                               if (reply->connected())
                                   applyFault(request, reply, *fault);
                           });
        return;
    }
    if (fault)
        applyFault(request, reply, *fault);
    else
        dispatch(request, reply, std::nullopt);
}

void SimService::applyFault(const HttpRequest &request, const std::shared_ptr<HttpReply> &reply,
                            const FaultRule &fault)
{
    switch (fault.action) {
    case FaultRule::Action::status: {
        HttpResponse response =
            fault.body.isEmpty()
                ? HttpResponse::error(fault.status, QStringLiteral("Simulated error"))
                : HttpResponse::bytes(fault.status, "application/json", fault.body.toUtf8());
        if (fault.retryAfter)
            response.setHeader("Retry-After", fault.retryAfter->toUtf8());
        reply->send(response);
        return;
    }
    case FaultRule::Action::drop:
        reply->drop();
        return;
    case FaultRule::Action::dropBody: {
        const HttpResponse response = HttpResponse::bytes(
            200, "application/json",
            fault.body.isEmpty() ? QByteArray("{\"detail\": \"this body never ends\"}")
                                 : fault.body.toUtf8());
        reply->sendTruncated(response, response.body.size() / 2);
        return;
    }
    case FaultRule::Action::malformed:
        reply->send(HttpResponse::bytes(200, "application/json",
                                        fault.body.isEmpty()
                                            ? QByteArray("{\"id\": \"broken\", \"status\": ")
                                            : fault.body.toUtf8()));
        return;
    default:
        // delay, and the prediction behaviours, which prediction creation reads.
        dispatch(request, reply, fault);
        return;
    }
}

bool SimService::authorised(const HttpRequest &request, HttpReply &reply) const
{
    const QByteArray header = request.header("authorization");
    const QByteArray token = header.startsWith("Bearer ") ? header.mid(7).trimmed() : QByteArray();
    if (token.isEmpty()) {
        reply.send(HttpResponse::error(401, QStringLiteral("Authentication credentials were not "
                                                           "provided.")));
        return false;
    }
    if (token.startsWith("r8_invalid")) {
        reply.send(HttpResponse::error(401, QStringLiteral("Invalid token.")));
        return false;
    }
    return true;
}

void SimService::dispatch(const HttpRequest &request, const std::shared_ptr<HttpReply> &reply,
                          const std::optional<FaultRule> &fault)
{
    if (request.path.startsWith(QLatin1String("/v1/"))) {
        if (!authorised(request, *reply))
            return;
        if (handlePredictions(request, reply, fault) || handleModels(request, *reply) ||
            handleFiles(request, *reply))
            return;
        reply->send(HttpResponse::error(404, QStringLiteral("Not found.")));
        return;
    }
    if (handleDelivery(request, *reply) || handleWebPage(request, *reply))
        return;
    reply->send(HttpResponse::bytes(404, "text/html; charset=utf-8",
                                    "<html><body><h1>Not found</h1></body></html>"));
}

void SimService::handleControl(const HttpRequest &request, HttpReply &reply)
{
    const QString &path = request.path;
    if (path == QLatin1String("/_sim/requests") && request.method == "GET") {
        reply.send(HttpResponse::json(200, QJsonDocument(m_log.toJson())));
    } else if (path == QLatin1String("/_sim/requests") && request.method == "DELETE") {
        m_log.clear();
        reply.send(HttpResponse::json(200, QJsonDocument(QJsonArray())));
    } else if (path == QLatin1String("/_sim/predictions") && request.method == "GET") {
        reply.send(HttpResponse::json(200, QJsonDocument(m_predictions.summary())));
    } else if (path == QLatin1String("/_sim/faults") && request.method == "GET") {
        reply.send(HttpResponse::json(200, QJsonDocument(m_faults.toJson())));
    } else if (path == QLatin1String("/_sim/faults") && request.method == "POST") {
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(request.body, &error);
        QString problem;
        QJsonArray rules = document.isObject() ? QJsonArray{document.object()} : document.array();
        if (error.error != QJsonParseError::NoError) {
            reply.send(HttpResponse::error(400, error.errorString()));
        } else if (!m_faults.add(rules, &problem)) {
            reply.send(HttpResponse::error(400, problem));
        } else {
            reply.send(HttpResponse::json(200, QJsonDocument(m_faults.toJson())));
        }
    } else if (path == QLatin1String("/_sim/faults") && request.method == "DELETE") {
        m_faults.clear();
        reply.send(HttpResponse::json(200, QJsonDocument(QJsonArray())));
    } else if (path == QLatin1String("/_sim/reset") && request.method == "POST") {
        m_faults.clear();
        m_log.clear();
        reply.send(
            HttpResponse::json(200, QJsonDocument(QJsonObject{{QStringLiteral("reset"), true}})));
    } else {
        reply.send(HttpResponse::error(404, QStringLiteral("Unknown control endpoint.")));
    }
}
