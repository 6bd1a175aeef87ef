#pragma once

#include "Prediction.h"

#include <QHash>
#include <QJsonArray>
#include <QObject>

class FileStore;

// Runs predictions through starting → processing → an end, on timers, and produces their
// outputs when they succeed.
class PredictionEngine : public QObject
{
    Q_OBJECT
public:
    PredictionEngine(FileStore &files, QString base, double predictSeconds, double timeScale,
                     QObject *parent = nullptr);

    Prediction &start(const SimModel *model, const QJsonObject &input,
                      PredictionBehaviour behaviour, const QString &failure);
    Prediction *find(const QString &id);
    void cancel(const QString &id);
    // Answers `reply` when the prediction ends or after `seconds` (scaled), whichever is first.
    void holdUntilDone(const QString &id, double seconds, std::shared_ptr<HttpReply> reply);
    qint64 scaledMs(double seconds) const;
    // Every prediction's id, model and status, for tests that must know none is left running.
    QJsonArray summary() const;
    // Every prediction, newest first, as the service lists an account's predictions.
    QList<const Prediction *> newestFirst() const;
    const QString &base() const { return m_base; }

private:
    void advance(const QString &id);
    void complete(const QString &id);
    void produce(Prediction &prediction);
    void answerWaiters(Prediction &prediction);
    std::optional<QByteArray> sourceOf(const Prediction &prediction) const;

    FileStore &m_files;
    QString m_base;
    double m_predictSeconds;
    double m_timeScale;
    QHash<QString, Prediction> m_predictions;
    QStringList m_created; // ids, oldest first
};
