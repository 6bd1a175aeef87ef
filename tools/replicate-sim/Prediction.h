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
enum class PredictionBehaviour { normal, stuck, fail, cancel, nullOutput, missingOutput };

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
    // Requests held by "Prefer: wait" until the prediction ends.
    QList<std::shared_ptr<HttpReply>> waiters;

    bool terminal() const;
    QJsonObject toJson(const QString &base) const;
};
