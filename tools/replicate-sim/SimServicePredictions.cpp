#include "SimService.h"

#include "InputValidator.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace
{

// Without a number, "Prefer: wait" means the service's longest hold.
constexpr double kLongestWait = 60;

std::optional<double> preferredWait(const QByteArray &prefer)
{
    for (QByteArray item : prefer.split(',')) {
        item = item.trimmed();
        if (item == "wait")
            return kLongestWait;
        if (item.startsWith("wait=")) {
            bool ok = false;
            const double seconds = item.mid(5).toDouble(&ok);
            if (ok && seconds >= 0)
                return qMin(seconds, kLongestWait);
        }
    }
    return std::nullopt;
}

// Inputs can script their own prediction: a string value containing one of these markers.
PredictionBehaviour magicBehaviour(const QJsonObject &input, QString *failure)
{
    for (auto it = input.begin(); it != input.end(); ++it) {
        const QString text = it.value().toString();
        if (text.contains(QLatin1String("sim:fail"))) {
            *failure = QStringLiteral("Simulated model error");
            return PredictionBehaviour::fail;
        }
        if (text.contains(QLatin1String("sim:stuck")))
            return PredictionBehaviour::stuck;
        if (text.contains(QLatin1String("sim:cancel")))
            return PredictionBehaviour::cancel;
        if (text.contains(QLatin1String("sim:null")))
            return PredictionBehaviour::nullOutput;
        if (text.contains(QLatin1String("sim:missing")))
            return PredictionBehaviour::missingOutput;
        if (text.contains(QLatin1String("sim:abort")))
            return PredictionBehaviour::abort;
    }
    return PredictionBehaviour::normal;
}

// The service's refusal of input that does not fit the model's schema.
HttpResponse validationFailure(const QList<InputValidator::Problem> &problems)
{
    QJsonArray fields;
    QString detail;
    for (const InputValidator::Problem &problem : problems) {
        fields.append(QJsonObject{{QStringLiteral("type"), QStringLiteral("invalid")},
                                  {QStringLiteral("field"), problem.field},
                                  {QStringLiteral("description"), problem.description}});
        detail += QStringLiteral("- ") + problem.field + QStringLiteral(": ") +
                  problem.description + QLatin1Char('\n');
    }
    return HttpResponse::json(
        422, QJsonDocument(
                 QJsonObject{{QStringLiteral("title"), QStringLiteral("Input validation failed")},
                             {QStringLiteral("detail"), detail},
                             {QStringLiteral("status"), 422},
                             {QStringLiteral("invalid_fields"), fields}}));
}

} // namespace

bool SimService::handlePredictions(const HttpRequest &request,
                                   const std::shared_ptr<HttpReply> &reply,
                                   const std::optional<FaultRule> &fault)
{
    const QStringList parts = request.path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (parts.size() == 5 && parts.at(1) == QLatin1String("models") &&
        parts.at(4) == QLatin1String("predictions") && request.method == "POST") {
        const SimModel *model = m_models.find(parts.at(2), parts.at(3));
        // As on the service, only official models run by name; the others need their version.
        if (!model || !model->record.value(QStringLiteral("is_official")).toBool())
            reply->send(HttpResponse::error(404, QStringLiteral("Not found.")));
        else
            createPrediction(request, reply, model, fault);
        return true;
    }
    if (parts.size() < 2 || parts.at(1) != QLatin1String("predictions"))
        return false;
    if (parts.size() == 2 && request.method == "GET") {
        listPredictions(request, *reply);
        return true;
    }
    if (parts.size() == 2 && request.method == "POST") {
        const QJsonObject body = QJsonDocument::fromJson(request.body).object();
        QString version = body.value(QStringLiteral("version")).toString();
        const SimModel *model = nullptr;
        // "owner/name:version" and "owner/name" are accepted as well as a bare version id.
        if (version.contains(QLatin1Char(':')))
            version = version.section(QLatin1Char(':'), 1);
        else if (version.contains(QLatin1Char('/')))
            model = m_models.find(version.section(QLatin1Char('/'), 0, 0),
                                  version.section(QLatin1Char('/'), 1));
        if (!model)
            model = m_models.findByVersion(version);
        if (!model)
            reply->send(
                HttpResponse::error(422, QStringLiteral("Invalid version or not permitted.")));
        else
            createPrediction(request, reply, model, fault);
        return true;
    }
    Prediction *prediction = parts.size() >= 3 ? m_predictions.find(parts.at(2)) : nullptr;
    if (parts.size() == 3 && request.method == "GET") {
        if (!prediction)
            reply->send(HttpResponse::error(404, QStringLiteral("Not found.")));
        else
            reply->send(HttpResponse::json(200, QJsonDocument(prediction->toJson(m_base))));
        return true;
    }
    if (parts.size() == 4 && parts.at(3) == QLatin1String("cancel") && request.method == "POST") {
        if (!prediction) {
            reply->send(HttpResponse::error(404, QStringLiteral("Not found.")));
            return true;
        }
        m_predictions.cancel(prediction->id);
        reply->send(HttpResponse::json(200, QJsonDocument(prediction->toJson(m_base))));
        return true;
    }
    return false;
}

// The account's predictions, newest first, a page at a time; "next" and "previous" are whole
// addresses carrying an opaque cursor, null at either end.
void SimService::listPredictions(const HttpRequest &request, HttpReply &reply)
{
    constexpr int pageSize = 100;
    const QList<const Prediction *> all = m_predictions.newestFirst();
    const QString cursor = request.query.queryItemValue(QStringLiteral("cursor"));
    bool ok = cursor.isEmpty();
    const qsizetype offset = cursor.isEmpty() ? 0 : cursor.toLongLong(&ok);
    if (!ok || offset < 0) {
        reply.send(HttpResponse::error(400, QStringLiteral("Invalid cursor.")));
        return;
    }
    QJsonArray results;
    for (qsizetype i = offset; i < qMin(all.size(), offset + pageSize); ++i)
        results.append(all.at(i)->toJson(m_base));
    const QString here = m_base + QStringLiteral("/v1/predictions?cursor=");
    const auto page = [&here](qsizetype at) { return QJsonValue(here + QString::number(at)); };
    reply.send(HttpResponse::json(
        200, QJsonDocument(QJsonObject{
                 {QStringLiteral("previous"),
                  offset > 0 ? page(qMax<qsizetype>(0, offset - pageSize)) : QJsonValue::Null},
                 {QStringLiteral("next"),
                  offset + pageSize < all.size() ? page(offset + pageSize) : QJsonValue::Null},
                 {QStringLiteral("results"), results}})));
}

void SimService::createPrediction(const HttpRequest &request,
                                  const std::shared_ptr<HttpReply> &reply, const SimModel *model,
                                  const std::optional<FaultRule> &fault)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(request.body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        reply->send(HttpResponse::error(400, QStringLiteral("Request body is not a JSON object.")));
        return;
    }
    const QJsonValue inputValue = document.object().value(QStringLiteral("input"));
    if (!inputValue.isObject()) {
        reply->send(
            validationFailure({{QStringLiteral("input"), QStringLiteral("input is required")}}));
        return;
    }
    const QJsonObject input = inputValue.toObject();
    const QList<InputValidator::Problem> problems =
        InputValidator::problems(input, model->inputSchema(), model->schemas());
    if (!problems.isEmpty()) {
        reply->send(validationFailure(problems));
        return;
    }
    QString failure;
    PredictionBehaviour behaviour = magicBehaviour(input, &failure);
    if (fault) {
        switch (fault->action) {
        case FaultRule::Action::stuck:
            behaviour = PredictionBehaviour::stuck;
            break;
        case FaultRule::Action::fail:
            behaviour = PredictionBehaviour::fail;
            failure = fault->error;
            break;
        case FaultRule::Action::cancel:
            behaviour = PredictionBehaviour::cancel;
            break;
        case FaultRule::Action::nullOutput:
            behaviour = PredictionBehaviour::nullOutput;
            break;
        case FaultRule::Action::missingOutput:
            behaviour = PredictionBehaviour::missingOutput;
            break;
        case FaultRule::Action::abort:
            behaviour = PredictionBehaviour::abort;
            break;
        default:
            break;
        }
    }
    Prediction &prediction = m_predictions.start(model, input, behaviour, failure);
    prediction.inlineOutputs =
        m_options.dataOutputs || (fault && fault->action == FaultRule::Action::dataOutput);
    const std::optional<double> wait = preferredWait(request.header("prefer"));
    m_predictions.holdUntilDone(prediction.id, wait.value_or(0), reply);
}
