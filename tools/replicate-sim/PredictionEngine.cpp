#include "PredictionEngine.h"

#include "FileStore.h"
#include "ModelRegistry.h"
#include "OutputRenderer.h"

#include <QJsonArray>
#include <QTimer>
#include <QUuid>

#include <cmath>

namespace
{

QString newId()
{
    // Prediction ids are 26 lower-case base-32 characters.
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyz234567";
    const QByteArray raw = QUuid::createUuid().toRfc4122();
    QString id;
    for (int i = 0; i < 26; ++i)
        id.append(QLatin1Char(alphabet[quint8(raw.at(i % 16)) * (i + 7) % 32]));
    return id;
}

QString firstImage(const QJsonObject &input)
{
    for (const char *key : {"image", "input_image", "img", "image_url", "start_image"}) {
        const QString value = input.value(QLatin1String(key)).toString();
        if (!value.isEmpty())
            return value;
    }
    return {};
}

double scaleOf(const QJsonObject &input)
{
    for (const char *key : {"scale", "upscale_factor", "scale_factor"}) {
        const QJsonValue value = input.value(QLatin1String(key));
        if (value.isDouble())
            return value.toDouble();
        if (value.isString()) {
            // "4x" and "4" both read as 4.
            QString text = value.toString();
            text.remove(QLatin1Char('x'));
            bool ok = false;
            const double number = text.toDouble(&ok);
            if (ok)
                return number;
        }
    }
    return 2;
}

} // namespace

PredictionEngine::PredictionEngine(FileStore &files, QString base, double predictSeconds,
                                   double timeScale, QObject *parent)
    : QObject(parent), m_files(files), m_base(std::move(base)), m_predictSeconds(predictSeconds),
      m_timeScale(timeScale)
{
}

qint64 PredictionEngine::scaledMs(double seconds) const
{
    return qMax<qint64>(0, std::llround(seconds * 1000.0 * m_timeScale));
}

Prediction &PredictionEngine::start(const SimModel *model, const QJsonObject &input,
                                    PredictionBehaviour behaviour, const QString &failure)
{
    Prediction prediction;
    prediction.id = newId();
    while (m_predictions.contains(prediction.id))
        prediction.id = newId();
    prediction.model = model;
    prediction.input = input;
    prediction.createdAt = QDateTime::currentDateTimeUtc();
    prediction.behaviour = behaviour;
    prediction.failure = failure;
    prediction.predictSeconds = m_predictSeconds;
    const QString id = prediction.id;
    auto &stored = *m_predictions.insert(id, prediction);
    QTimer::singleShot(scaledMs(m_predictSeconds * 0.1), this, [this, id] { advance(id); });
    return stored;
}

Prediction *PredictionEngine::find(const QString &id)
{
    auto it = m_predictions.find(id);
    return it == m_predictions.end() ? nullptr : &it.value();
}

void PredictionEngine::advance(const QString &id)
{
    Prediction *prediction = find(id);
    if (!prediction || prediction->terminal())
        return;
    prediction->status = QStringLiteral("processing");
    prediction->startedAt = QDateTime::currentDateTimeUtc();
    prediction->logs = QStringLiteral("Starting prediction\n");
    if (prediction->behaviour == PredictionBehaviour::stuck)
        return;
    QTimer::singleShot(scaledMs(m_predictSeconds * 0.9), this, [this, id] {
        Prediction *again = find(id);
        if (again && !again->terminal())
            complete(*again);
    });
}

void PredictionEngine::complete(Prediction &prediction)
{
    prediction.completedAt = QDateTime::currentDateTimeUtc();
    switch (prediction.behaviour) {
    case PredictionBehaviour::fail:
        prediction.status = QStringLiteral("failed");
        prediction.error = prediction.failure;
        break;
    case PredictionBehaviour::cancel:
        prediction.status = QStringLiteral("canceled");
        break;
    case PredictionBehaviour::nullOutput:
        prediction.status = QStringLiteral("succeeded");
        prediction.output = QJsonValue::Null;
        break;
    default:
        produce(prediction);
        break;
    }
    prediction.logs += QStringLiteral("Finished: ") + prediction.status + QLatin1Char('\n');
    answerWaiters(prediction);
}

void PredictionEngine::produce(Prediction &prediction)
{
    using SchemaFactory::Kind;
    using SchemaFactory::OutputShape;
    QList<OutputRenderer::Rendered> files;
    const QJsonObject &input = prediction.input;
    if (prediction.model->kind == Kind::upscale) {
        StoredFile scratch;
        const StoredFile *source = m_files.resolve(firstImage(input), m_base, &scratch);
        std::optional<OutputRenderer::Rendered> out =
            source ? OutputRenderer::upscale(source->bytes, scaleOf(input)) : std::nullopt;
        if (!out) {
            prediction.status = QStringLiteral("failed");
            prediction.error = source ? QStringLiteral("cannot identify image file")
                                      : QStringLiteral("could not fetch the input image");
            return;
        }
        files.append(*out);
    } else if (prediction.model->kind == Kind::image) {
        int count = 1;
        for (const char *key : {"num_outputs", "number_of_images", "num_images", "n"}) {
            if (input.value(QLatin1String(key)).isDouble())
                count = qBound(1, input.value(QLatin1String(key)).toInt(), 8);
        }
        const QString prompt =
            input.value(QStringLiteral("prompt"))
                .toString(input.value(QStringLiteral("negative_prompt")).toString());
        const qint64 seed = qint64(input.value(QStringLiteral("seed")).toDouble(0));
        for (int i = 0; i < count; ++i)
            files.append(OutputRenderer::generate(
                prompt, seed, input.value(QStringLiteral("aspect_ratio")).toString(), i,
                input.value(QStringLiteral("output_format")).toString(QStringLiteral("png"))));
    } else {
        files.append(OutputRenderer::clip());
    }
    QJsonArray urls;
    for (const OutputRenderer::Rendered &file : std::as_const(files)) {
        QString id = m_files.add(file.fileName, file.contentType, file.bytes);
        if (prediction.behaviour == PredictionBehaviour::missingOutput)
            id = QStringLiteral("missing-") + id;
        urls.append(
            QString(m_base + QStringLiteral("/delivery/") + id + QLatin1Char('/') + file.fileName));
    }
    prediction.status = QStringLiteral("succeeded");
    switch (prediction.model->shape) {
    case OutputShape::single:
        prediction.output = urls.first();
        break;
    case OutputShape::list:
        prediction.output = urls;
        break;
    case OutputShape::object:
        prediction.output = QJsonObject{{QStringLiteral("url"), urls.first()}};
        break;
    }
}

void PredictionEngine::cancel(const QString &id)
{
    Prediction *prediction = find(id);
    if (!prediction || prediction->terminal())
        return;
    prediction->status = QStringLiteral("canceled");
    prediction->completedAt = QDateTime::currentDateTimeUtc();
    answerWaiters(*prediction);
}

void PredictionEngine::holdUntilDone(const QString &id, double seconds,
                                     std::shared_ptr<HttpReply> reply)
{
    Prediction *prediction = find(id);
    if (!prediction)
        return;
    if (prediction->terminal() || seconds <= 0) {
        reply->send(HttpResponse::json(201, QJsonDocument(prediction->toJson(m_base))));
        return;
    }
    prediction->waiters.append(reply);
    QTimer::singleShot(scaledMs(seconds), this, [this, id, reply] {
        if (reply->answered())
            return;
        Prediction *current = find(id);
        if (!current) {
            reply->send(HttpResponse::error(404, QStringLiteral("Not found.")));
            return;
        }
        current->waiters.removeAll(reply);
        reply->send(HttpResponse::json(201, QJsonDocument(current->toJson(m_base))));
    });
}

void PredictionEngine::answerWaiters(Prediction &prediction)
{
    const QByteArray body = QJsonDocument(prediction.toJson(m_base)).toJson(QJsonDocument::Compact);
    const auto waiters = std::exchange(prediction.waiters, {});
    for (const auto &reply : waiters)
        reply->send(HttpResponse::bytes(201, "application/json", body));
}
