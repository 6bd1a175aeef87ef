#pragma once

#include "http/HttpConnection.h"
#include "OutputRenderer.h"

#include <QDateTime>
#include <QFuture>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>

#include <memory>

struct SimModel;

// What a prediction will do instead of succeeding normally.
// `abort`: its deadline passes before it starts, so it ends "aborted" and is not charged.
enum class PredictionBehaviour { normal, stuck, fail, cancel, nullOutput, missingOutput, abort };

struct Prediction {
    QString id;
    const SimModel *model = nullptr;
    QJsonObject input;
    QString status = QStringLiteral("starting");
    QDateTime createdAt;
    QDateTime startedAt;
    QDateTime completedAt;
    QJsonValue output = QJsonValue::Null;
    QJsonValue error = QJsonValue::Null;
    QString logs;
    double predictSeconds = 0;
    PredictionBehaviour behaviour = PredictionBehaviour::normal;
    QString failure;
    // The outputs, rendered on a pool thread while the prediction is processing.
    QFuture<OutputRenderer::Outcome> render;
    // Answers to held creates carry the files themselves, as data: URIs, the way the service
    // answers in its blocking mode; later reads still give addresses.
    bool inlineOutputs = false;
    QJsonValue inlineOutput;
    // Requests held by "Prefer: wait" until the prediction ends.
    QList<std::shared_ptr<HttpReply>> waiters;

    bool terminal() const;
    // `blocking`: the answer to a held create.
    QJsonObject toJson(const QString &base, bool blocking = false) const;
};
