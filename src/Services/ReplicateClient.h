#pragma once

#include "Models/CatalogModel.h"
#include "Models/ModelSchema.h"
#include "Models/TaskHandle.h"
#include "Services/Clock.h"
#include "Services/Coroutine.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QNetworkRequest>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>

class QIODevice;
class QNetworkAccessManager;

// Speaks the service's REST interface. A plain value: copies are cheap and every operation
// copies the client into its own coroutine frame, so a temporary client may be dropped as soon
// as the operation has started. Failures are thrown: AppError::api for HTTP statuses and the
// client's own response errors, NetworkError for transport failures, JsonParseFailure for bodies
// that are not JSON, AppError::cancelled() once `handle` is cancelled (which aborts the reply in
// flight or ends the retry sleep at once).
class ReplicateClient
{
public:
    // One prediction object of the service.
    struct Prediction {
        QString id;
        QString status = QStringLiteral("starting");
        std::optional<QJsonValue> output;
        std::optional<QString> error;
        std::optional<QString> getURL;
        std::optional<QString> cancelURL;
        std::optional<double> predictTime;

        static Prediction fromJson(const QJsonObject &object);
        // The service has finished with it: succeeded, failed, canceled or aborted.
        bool isTerminal() const;
        // The result addresses found in `output`: http(s) addresses and inline data: URIs.
        QList<QUrl> outputURLs() const;
        static QList<QUrl> urlsIn(const QJsonValue &value);

        friend bool operator==(const Prediction &, const Prediction &) = default;
    };

    // One entry of the account's list of recent predictions.
    struct ListedPrediction {
        Prediction prediction;
        QString model; // "owner/name"
        QJsonObject input;
        QDateTime createdAt; // invalid when the service sent none
    };
    struct PredictionPage {
        QList<ListedPrediction> results;
        std::optional<QString> next; // the following (older) page's address
    };

    // `network` is the one shared manager (see configure()); `apiBase` ends in "/v1"; `clock`
    // runs the retry sleeps.
    ReplicateClient(QNetworkAccessManager *network, QUrl apiBase, std::shared_ptr<Clock> clock,
                    QString token);

    // The settings of the shared manager: redirects stay on the origin they started from (so
    // the token never reaches another host) and an idle timeout of 120 s.
    static void configure(QNetworkAccessManager &network);

    QString token() const { return m_token; }
    QUrl apiBase() const { return m_base; }
    // The base address with `components` appended, each percent-encoded as one path segment.
    QUrl endpoint(const QStringList &components) const;

    QCoro::Task<QJsonObject> fetchModel(QString owner, QString name,
                                        TaskHandle handle = TaskHandle()) const;
    // Follows "next" for at most 5 pages.
    QCoro::Task<QList<CatalogModel>> fetchCollection(QString slug,
                                                     TaskHandle handle = TaskHandle()) const;
    QCoro::Task<QList<CatalogModel>> searchModels(QString query,
                                                  TaskHandle handle = TaskHandle()) const;
    // Returns the uploaded file's address.
    QCoro::Task<QString> uploadFile(QByteArray data, QString filename, QString mimeType,
                                    TaskHandle handle = TaskHandle()) const;
    // `handle` aborts the request in flight. `stopRetrying`, once cancelled, only keeps a 429 or
    // 5xx answer from being tried again: a create whose answer is still due must be let finish,
    // since only that answer names the prediction it may have started.
    QCoro::Task<Prediction> createPrediction(CatalogModel model, ModelSchema schema,
                                             QJsonObject input, int waitSeconds,
                                             TaskHandle handle = TaskHandle(),
                                             std::optional<TaskHandle> stopRetrying = {}) const;
    QCoro::Task<Prediction> getPrediction(QString address, TaskHandle handle = TaskHandle()) const;
    // One page of the account's predictions, newest first; an empty `address` asks for the first.
    QCoro::Task<PredictionPage> listPredictions(QString address,
                                                TaskHandle handle = TaskHandle()) const;
    // Best effort: every failure is swallowed.
    QCoro::Task<void> cancelPrediction(QString address, TaskHandle handle = TaskHandle()) const;
    // Streams a result file into `sink` as it arrives, so no output is ever held whole in
    // memory. A plain GET: no token, no extra headers, no retries; a non-2xx answer throws
    // AppError::api like every other request and its body never reaches `sink`, and a failed
    // write throws std::runtime_error with the file's own text. `sink` must outlive the task.
    // Returns the number of bytes written.
    QCoro::Task<qint64> download(QUrl address, QIODevice *sink,
                                 TaskHandle handle = TaskHandle()) const;

    // The multipart body of an upload, field "content".
    static QByteArray multipartBody(const QByteArray &data, const QString &filename,
                                    const QString &mimeType, const QString &boundary);
    // "Moonforge-" and a new upper-case UUID.
    static QString newBoundary();
    // The file name as it may stand inside a quoted header parameter.
    static QString quotedHeaderSafe(const QString &filename);
    // Seconds to wait before retry number `attempt` + 1, given the answer's Retry-After.
    static double retryDelay(const QByteArray &retryAfter, int attempt);

    static constexpr int maxCollectionPages = 5;
    static constexpr double maxRetryDelay = 30.0;

private:
    struct Request {
        QUrl url;
        QByteArray method;
        QByteArray body;
        QList<std::pair<QByteArray, QByteArray>> headers;
        int timeoutMs = 60000;
        std::optional<TaskHandle> stopRetrying = std::nullopt;
    };
    struct Response {
        int status = 0;
        QByteArray body;
        QByteArray retryAfter;
    };

    QNetworkRequest networkRequest(const Request &request) const;
    // One request; a transport failure or a cancel throws.
    QCoro::Task<Response> perform(Request request, TaskHandle handle) const;
    // perform() with the retry policy for 429 and 5xx: at most three requests.
    QCoro::Task<Response> send(Request request, TaskHandle handle) const;
    // Throws AppError::api unless the status is 2xx.
    static void check(const Response &response);
    static QJsonDocument parse(const QByteArray &body);
    static bool isObjectArray(const QJsonValue &value);
    // Listing entries of `items` when it is an array of objects, else none.
    static QList<CatalogModel> entries(const QJsonValue &items, bool isCustom);

    QPointer<QNetworkAccessManager> m_network;
    QUrl m_base;
    std::shared_ptr<Clock> m_clock;
    QString m_token;
};
