#include "PredictionEngine.h"

#include "FileStore.h"
#include "ModelRegistry.h"
#include "OutputRenderer.h"

#include <QFutureWatcher>
#include <QJsonArray>
#include <QtConcurrent>
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

// The model's Output schema decides the form: one file, a list of them, or {"url": ...}.
QJsonValue shaped(SchemaFactory::OutputShape shape, const QJsonArray &files)
{
    switch (shape) {
    case SchemaFactory::OutputShape::single:
        return files.first();
    case SchemaFactory::OutputShape::list:
        return files;
    case SchemaFactory::OutputShape::object:
        return QJsonObject{{QStringLiteral("url"), files.first()}};
    }
    return files;
}

bool producesOutput(PredictionBehaviour behaviour)
{
    return behaviour == PredictionBehaviour::normal ||
           behaviour == PredictionBehaviour::missingOutput;
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
    m_created.append(id);
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
    if (prediction->behaviour == PredictionBehaviour::abort) {
        prediction->status = QStringLiteral("aborted");
        prediction->completedAt = QDateTime::currentDateTimeUtc();
        answerWaiters(*prediction);
        return;
    }
    prediction->status = QStringLiteral("processing");
    prediction->startedAt = QDateTime::currentDateTimeUtc();
    prediction->logs = QStringLiteral("Starting prediction\n");
    if (prediction->behaviour == PredictionBehaviour::stuck)
        return;
    // Outputs are made while the prediction runs, off the thread that answers requests.
    if (producesOutput(prediction->behaviour))
        prediction->render = QtConcurrent::run(OutputRenderer::render, prediction->model->kind,
                                               prediction->input, sourceOf(*prediction));
    QTimer::singleShot(scaledMs(m_predictSeconds * 0.9), this, [this, id] { complete(id); });
}

void PredictionEngine::complete(const QString &id)
{
    Prediction *found = find(id);
    if (!found || found->terminal())
        return;
    Prediction &prediction = *found;
    if (producesOutput(prediction.behaviour) && prediction.render.isValid() &&
        !prediction.render.isFinished()) {
        // Rendering took longer than the run: end when it is done.
        auto *watcher = new QFutureWatcher<OutputRenderer::Outcome>(this);
        connect(watcher, &QFutureWatcherBase::finished, this, [this, id, watcher] {
            watcher->deleteLater();
            complete(id);
        });
        watcher->setFuture(prediction.render);
        return;
    }
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
    using SchemaFactory::OutputShape;
    if (!prediction.render.isValid())
        prediction.render = QtConcurrent::run(OutputRenderer::render, prediction.model->kind,
                                              prediction.input, sourceOf(prediction));
    const OutputRenderer::Outcome outcome = prediction.render.result();
    if (!outcome.error.isEmpty()) {
        prediction.status = QStringLiteral("failed");
        prediction.error = outcome.error;
        return;
    }
    QJsonArray urls;
    QJsonArray inlined;
    for (const OutputRenderer::Rendered &file : outcome.files) {
        if (prediction.inlineOutputs)
            inlined.append(QString(QStringLiteral("data:") + QString::fromLatin1(file.contentType) +
                                   QStringLiteral(";base64,") +
                                   QString::fromLatin1(file.bytes.toBase64())));
        QString id = m_files.add(file.fileName, file.contentType, file.bytes);
        if (prediction.behaviour == PredictionBehaviour::missingOutput)
            id = QStringLiteral("missing-") + id;
        urls.append(
            QString(m_base + QStringLiteral("/delivery/") + id + QLatin1Char('/') + file.fileName));
    }
    prediction.status = QStringLiteral("succeeded");
    prediction.output = shaped(prediction.model->shape, urls);
    if (prediction.inlineOutputs && prediction.behaviour == PredictionBehaviour::normal)
        prediction.inlineOutput = shaped(prediction.model->shape, inlined);
}

std::optional<QByteArray> PredictionEngine::sourceOf(const Prediction &prediction) const
{
    if (prediction.model->kind != SchemaFactory::Kind::upscale)
        return std::nullopt;
    StoredFile scratch;
    const StoredFile *source =
        m_files.resolve(OutputRenderer::firstImage(prediction.input), m_base, &scratch);
    return source ? std::optional<QByteArray>(source->bytes) : std::nullopt;
}

QJsonArray PredictionEngine::summary() const
{
    QJsonArray all;
    for (const Prediction &prediction : m_predictions)
        all.append(QJsonObject{{QStringLiteral("id"), prediction.id},
                               {QStringLiteral("model"), prediction.model->slug()},
                               {QStringLiteral("status"), prediction.status}});
    return all;
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
        reply->send(
            HttpResponse::json(201, QJsonDocument(prediction->toJson(m_base, seconds > 0))));
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
        // Still running when the hold ran out: accepted, not yet done.
        reply->send(HttpResponse::json(202, QJsonDocument(current->toJson(m_base, true))));
    });
}

void PredictionEngine::answerWaiters(Prediction &prediction)
{
    const QByteArray body =
        QJsonDocument(prediction.toJson(m_base, true)).toJson(QJsonDocument::Compact);
    const auto waiters = std::exchange(prediction.waiters, {});
    for (const auto &reply : waiters)
        reply->send(HttpResponse::bytes(201, "application/json", body));
}

QList<const Prediction *> PredictionEngine::newestFirst() const
{
    QList<const Prediction *> listed;
    listed.reserve(m_created.size());
    for (auto it = m_created.crbegin(); it != m_created.crend(); ++it)
        listed.append(&*m_predictions.constFind(*it));
    return listed;
}
