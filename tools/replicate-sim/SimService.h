#pragma once

#include "FaultRules.h"
#include "FileStore.h"
#include "http/HttpConnection.h"
#include "ModelRegistry.h"
#include "PredictionEngine.h"
#include "RequestLog.h"

#include <QObject>

struct SimOptions {
    double predictSeconds = 2;
    double timeScale = 1;
    // Answers to held creates carry output files inline as data: URIs.
    bool dataOutputs = false;
};

// The stand-in service: routes every request to its concern. The routes live in
// SimService<Concern>.cpp; this file holds dispatch, tokens and scripted faults.
class SimService : public QObject
{
    Q_OBJECT
public:
    SimService(QString base, SimOptions options, QObject *parent = nullptr);

    void handle(const HttpRequest &request, std::shared_ptr<HttpReply> reply);

private:
    void dispatch(const HttpRequest &request, const std::shared_ptr<HttpReply> &reply,
                  const std::optional<FaultRule> &fault);
    void applyFault(const HttpRequest &request, const std::shared_ptr<HttpReply> &reply,
                    const FaultRule &fault);
    bool authorised(const HttpRequest &request, HttpReply &reply) const;

    // Control: /_sim/...
    void handleControl(const HttpRequest &request, HttpReply &reply);
    // Models, collections, search.
    bool handleModels(const HttpRequest &request, HttpReply &reply);
    // Uploads and downloads.
    bool handleFiles(const HttpRequest &request, HttpReply &reply);
    bool handleDelivery(const HttpRequest &request, HttpReply &reply);
    // Predictions.
    bool handlePredictions(const HttpRequest &request, const std::shared_ptr<HttpReply> &reply,
                           const std::optional<FaultRule> &fault);
    void listPredictions(const HttpRequest &request, HttpReply &reply);
    void createPrediction(const HttpRequest &request, const std::shared_ptr<HttpReply> &reply,
                          const SimModel *model, const std::optional<FaultRule> &fault);
    // Model web pages.
    bool handleWebPage(const HttpRequest &request, HttpReply &reply);

    QJsonObject modelListing(const SimModel &model) const;

    QString m_base;
    SimOptions m_options;
    ModelRegistry m_models;
    FileStore m_files;
    PredictionEngine m_predictions;
    RequestLog m_log;
    FaultRules m_faults;
};
