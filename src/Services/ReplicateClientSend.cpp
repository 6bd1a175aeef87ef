#include "Services/ReplicateClient.h"

#include "Models/AppError.h"
#include "Models/DecimalText.h"
#include "Services/Coroutine.h"
#include "Services/NetworkError.h"
#include "Services/ReplyFinished.h"

#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QScopeGuard>
#include <QTimer>

#include <cmath>
#include <memory>
#include <utility>

namespace
{

// Whole-transfer limit on top of the idle timeout, as for long downloads.
constexpr int resourceTimeoutMs = 3600 * 1000;

bool isTransportFailure(QNetworkReply::NetworkError error)
{
    // These leave an HTTP status on the reply (a refused redirect keeps its 3xx), yet the
    // request never got the answer it asked for.
    return error == QNetworkReply::InsecureRedirectError ||
           error == QNetworkReply::TooManyRedirectsError;
}

} // namespace

ReplicateClient::ReplicateClient(QNetworkAccessManager *network, QUrl apiBase,
                                 std::shared_ptr<Clock> clock, QString token)
    : m_network(network), m_base(std::move(apiBase)), m_clock(std::move(clock)),
      m_token(std::move(token))
{
    if (!m_clock)
        m_clock = std::make_shared<Clock>();
}

void ReplicateClient::configure(QNetworkAccessManager &network)
{
    network.setRedirectPolicy(QNetworkRequest::SameOriginRedirectPolicy);
    network.setTransferTimeout(120 * 1000);
}

QUrl ReplicateClient::endpoint(const QStringList &components) const
{
    QUrl url = m_base;
    QString path = url.path(QUrl::FullyEncoded);
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    QStringList encoded;
    for (const QString &component : components)
        encoded.append(QString::fromLatin1(QUrl::toPercentEncoding(component)));
    url.setPath(path + encoded.join(QLatin1Char('/')), QUrl::TolerantMode);
    return url;
}

QNetworkRequest ReplicateClient::networkRequest(const Request &request) const
{
    QNetworkRequest result(request.url);
    result.setRawHeader("Authorization", "Bearer " + m_token.toUtf8());
    result.setRawHeader("User-Agent", "Moonforge/1.0");
    for (const auto &[name, value] : request.headers)
        result.setRawHeader(name, value);
    // Set on every request, not only on the manager, so that no manager's defaults can carry
    // the token to another origin.
    result.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                        QNetworkRequest::SameOriginRedirectPolicy);
    result.setTransferTimeout(request.timeoutMs);
    return result;
}

QCoro::Task<ReplicateClient::Response> ReplicateClient::perform(Request request,
                                                                TaskHandle handle) const
{
    handle.throwIfCancelled();
    if (!m_network)
        throw NetworkError(QNetworkReply::UnknownNetworkError,
                           QStringLiteral("The network is not available."));
    const QNetworkRequest networkRequest = this->networkRequest(request);
    QNetworkReply *raw =
        request.method == "GET"
            ? m_network->get(networkRequest)
            : m_network->sendCustomRequest(networkRequest, request.method, request.body);
    // Only ever aborted and deleted later by us; its manager may still delete it under the wait.
    const QPointer<QNetworkReply> guard(raw);
    const auto release = qScopeGuard([guard] {
        if (guard)
            guard->deleteLater();
    });

    // A transfer timeout and an abort both end as OperationCanceledError: remember which.
    bool cancelled = false;
    bool overran = false;
    auto registration = handle.onCancel([guard, &cancelled] {
        cancelled = true;
        if (guard)
            guard->abort();
    });
    QTimer resourceTimer;
    resourceTimer.setSingleShot(true);
    QObject::connect(&resourceTimer, &QTimer::timeout, raw, [guard, &overran] {
        overran = true;
        if (guard)
            guard->abort();
    });
    resourceTimer.start(resourceTimeoutMs);

    ReplyFinished finished(raw);
    const bool answered = co_await std::move(finished);
    resourceTimer.stop();
    registration = TaskHandle::Registration();

    // Gone unanswered means its manager went: only the store's end does that.
    if (cancelled || handle.isCancelled() || !answered)
        throw AppError::cancelled();
    const QNetworkReply::NetworkError error = raw->error();
    if (overran || error == QNetworkReply::OperationCanceledError ||
        error == QNetworkReply::TimeoutError)
        throw NetworkError(QNetworkReply::TimeoutError, QStringLiteral("The request timed out."));
    const QVariant status = raw->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid() || isTransportFailure(error))
        throw NetworkError(error, raw->errorString());

    Response response;
    response.status = status.toInt();
    response.body = raw->readAll();
    response.retryAfter = raw->rawHeader("Retry-After");
    co_return response;
}

double ReplicateClient::retryDelay(const QByteArray &retryAfter, int attempt)
{
    const double fallback = 2.0 * (attempt + 1);
    double delay = fallback;
    if (const auto seconds = parseDecimal(QString::fromLatin1(retryAfter))) {
        // A negative wait means nothing; a huge or infinite one is capped below.
        if (!std::isnan(*seconds) && *seconds >= 0.0)
            delay = *seconds;
    }
    return std::min(delay, maxRetryDelay);
}

QCoro::Task<ReplicateClient::Response> ReplicateClient::send(Request request,
                                                             TaskHandle handle) const
{
    for (int attempt = 0;; ++attempt) {
        auto performing = perform(request, handle);
        Response response = co_await performing;
        const bool retryable =
            response.status == 429 || (response.status >= 500 && response.status <= 599);
        if (!retryable || attempt == 2)
            co_return response;
        if (!request.stopRetrying) {
            auto sleeping = m_clock->sleep(retryDelay(response.retryAfter, attempt), handle);
            co_await sleeping;
            continue;
        }
        // The sleep ends early on either handle; only `handle` makes it a cancellation.
        const TaskHandle wake;
        const auto stop = request.stopRetrying->onCancel([wake] { wake.cancel(); });
        const auto abort = handle.onCancel([wake] { wake.cancel(); });
        try {
            auto sleeping = m_clock->sleep(retryDelay(response.retryAfter, attempt), wake);
            co_await sleeping;
        } catch (const AppError &) {
            handle.throwIfCancelled();
            co_return response;
        }
    }
}

void ReplicateClient::check(const Response &response)
{
    if (response.status >= 200 && response.status <= 299)
        return;
    QString message;
    const QJsonDocument document = QJsonDocument::fromJson(response.body);
    if (document.isObject()) {
        const QJsonObject object = document.object();
        for (const char *key : {"detail", "title", "error"}) {
            const QJsonValue value = object.value(QLatin1String(key));
            if (value.isString()) {
                message = value.toString();
                break;
            }
        }
    }
    throw AppError::api(response.status, message);
}

QJsonDocument ReplicateClient::parse(const QByteArray &body)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError)
        throw JsonParseFailure(error.errorString());
    return document;
}
