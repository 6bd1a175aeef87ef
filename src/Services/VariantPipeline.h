#pragma once

#include "Models/CatalogModel.h"
#include "Models/CostRange.h"
#include "Models/ImageJob.h"
#include "Models/ModelPrice.h"
#include "Models/ModelSchema.h"
#include "Models/TaskHandle.h"
#include "Services/Clock.h"
#include "Services/Coroutine.h"
#include "Services/OutputPlacement.h"
#include "Services/OutputPlan.h"
#include "Services/PendingCreate.h"
#include "Services/ReplicateClient.h"
#include "Services/ServiceWork.h"

#include <QJsonObject>
#include <QSizeF>

#include <functional>
#include <memory>
#include <optional>

// What a run knows of one selected model, fixed when the run starts.
struct ModelPlan {
    CatalogModel model;
    ModelSchema schema;
    // The parameter values sent with every prediction of this model.
    QJsonObject extraInputs;
    std::optional<ModelPrice> price;
};

// Carries one variant from waiting to saved result files: upload, prediction, polling,
// downloads, placement, size, cost and preview. Every step runs on the GUI thread; file
// preparation and inspection run on the thread pool. It never fails outward: whatever goes
// wrong ends in the variant's status.
class VariantPipeline : public std::enable_shared_from_this<VariantPipeline>
{
public:
    struct Setup {
        ImageJobPtr job;
        ModelVariantPtr variant;
        ReplicateClient client;
        ModelPlan plan;
        bool tagWithModel = false;
        OutputPlan output;
        std::shared_ptr<Clock> clock;
        // Called once the variant is done, to keep the history current.
        std::function<void()> onDone;
        // Carries the cancels of a cancelled pair to the service; made here when absent.
        std::shared_ptr<ServiceWork> service;
        // Awaited just before the create goes out with this input, to note that it does.
        std::function<QCoro::Task<void>(QJsonObject input)> beforeCreate;
        // Awaited before the first part of a result is written into `folder`, so that what a
        // crash leaves there can be found.
        std::function<QCoro::Task<void>(QString folder)> beforePart;
        // Awaited with the final path of output `index` just before the part takes that name, so
        // that after a crash the result is found in place rather than fetched and written again.
        std::function<QCoro::Task<void>(int index, QString path)> beforeName;
    };

    // How long the service may hold a create before answering with the running prediction.
    // Short, because only that answer names the prediction, and nothing can be cancelled on the
    // service before it has a name: a held create keeps billing after the user pressed Stop.
    // Five seconds still lets quick models answer with their result and no poll at all.
    static constexpr int waitSeconds = 5;
    static constexpr double firstPollDelay = 1.0;
    static constexpr int resultThumbnailSize = 128;

    explicit VariantPipeline(Setup setup);

    // Stores a new task handle in the variant's `work` and returns when the variant is done,
    // failed or cancelled. Keeps the pipeline alive until then.
    QCoro::Task<void> run();
    // Takes up a prediction the service already runs for this pair (made before a restart): polls
    // it by its id, then downloads and places its outputs as run() would. One the service
    // cancelled meanwhile ends the pair cancelled. `input` is what the create sent (it prices
    // the result); an output whose path in `placed` (by index) is on the disk is taken as saved.
    QCoro::Task<void> resume(QString predictionId, QJsonObject input = {}, QStringList placed = {});

    // The delay before the poll after one that waited `delay`: 1.0, 1.5 … 5.0 s.
    static double nextPollDelay(double delay);
    // The failure text of a prediction that did not succeed.
    static QString failureText(const ReplicateClient::Prediction &prediction);
    // What the outputs cost by the price's unit; none when the quantity is unknown.
    static std::optional<CostRange> cost(const std::optional<ModelPrice> &price,
                                         const ModelSchema &schema, const QJsonObject &input,
                                         int outputCount, std::optional<QSizeF> pixelSize,
                                         std::optional<double> predictTime);

private:
    // Runs `steps` with the variant's work handle set, ending the variant whatever happens.
    QCoro::Task<void> carry(std::function<QCoro::Task<void>()> steps);
    QCoro::Task<void> steps();
    QCoro::Task<void> resumedSteps(QString predictionId);
    // From a finished prediction to the recorded result.
    QCoro::Task<void> finish();
    QCoro::Task<void> poll();
    QCoro::Task<QList<QUrl>> upload();
    QCoro::Task<void> predict();
    QCoro::Task<QUrl> save(QUrl address, int index, int count);
    // Writes an output the service sent inline (a data: URI); malformed data writes nothing.
    QCoro::Task<QUrl> saveInline(QUrl address, OutputPlacement::Target where, int index);
    // Gives the finished scratch file its final name; the pair's result from then on.
    QCoro::Task<QUrl> commitInBackground(std::shared_ptr<QTemporaryFile> part,
                                         OutputPlacement::Target where, int index);
    // The part for a result going to `folder`, named after the pair.
    QCoro::Task<std::shared_ptr<QTemporaryFile>> openPart(QString folder);
    // The saved output `index` from before a restart, when it is still on the disk.
    QCoro::Task<std::optional<QUrl>> placedBefore(int index);
    QCoro::Task<void> record(QList<QUrl> saved);
    // Ends the variant after `error`: cancelled (telling the service) or failed with its text.
    void fail(const std::exception *error);
    // Ends the variant as cancelled the moment its work is cancelled, and tells the service in
    // the background, once. The steps notice at their next wait and end without a trace.
    void endCancelled();

    Setup m_setup;
    TaskHandle m_work;
    // The create request while this pipeline waits for it; handed on when the pair is
    // cancelled before the service has named the prediction.
    std::shared_ptr<PendingCreate> m_create;
    double m_startedAt = 0;
    // The variant has been given its end; nothing may change it after that.
    bool m_ended = false;
    // The submitted input and the latest answer about the prediction.
    QJsonObject m_input;
    ReplicateClient::Prediction m_prediction;
    // Outputs named before a restart, by index.
    QStringList m_placed;
    // The folder beforePart was last told of.
    QString m_partFolder;
};
