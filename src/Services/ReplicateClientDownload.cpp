// Result downloads: streamed to a file, never buffered whole.
#include "Services/ReplicateClient.h"

#include "Models/AppError.h"
#include "Services/Coroutine.h"
#include "Services/NetworkError.h"
#include "Services/ReplyFinished.h"

#include <QIODevice>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QScopeGuard>

#include <memory>
#include <stdexcept>
#include <utility>

namespace
{

// An error answer is only read for its message; a hostile server must not fill memory with it.
constexpr qsizetype maxErrorBody = 64 * 1024;
// Keeps at most this much of a fast download in memory while the disk catches up. Each chunk is
// written on the GUI thread; a megabyte took up to 40 ms there, a quarter of it stays near 10.
constexpr qint64 readBufferBytes = 256 * 1024;

int statusOf(const QNetworkReply *reply)
{
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    return status.isValid() ? status.toInt() : 0;
}

bool isSuccess(int status)
{
    return status >= 200 && status <= 299;
}

} // namespace

QCoro::Task<qint64> ReplicateClient::download(QUrl address, QIODevice *sink,
                                              TaskHandle handle) const
{
    const QPointer<QNetworkAccessManager> network = m_network;
    handle.throwIfCancelled();
    if (!network)
        throw NetworkError(QNetworkReply::UnknownNetworkError,
                           QStringLiteral("The network is not available."));

    // Output addresses come from the service and may name any host: nothing of ours is sent.
    QNetworkRequest request(address);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    QNetworkReply *raw = network->get(request);
    raw->setReadBufferSize(readBufferBytes);
    const QPointer<QNetworkReply> guard(raw);
    const auto release = qScopeGuard([guard] {
        if (guard)
            guard->deleteLater();
    });

    struct Progress {
        qint64 written = 0;
        QByteArray errorBody;
        QString writeError;
        bool cancelled = false;
    } progress;

    auto drain = [guard, sink, &progress] {
        if (!guard)
            return;
        const QByteArray chunk = guard->readAll();
        if (chunk.isEmpty() || !progress.writeError.isEmpty())
            return;
        if (!isSuccess(statusOf(guard))) {
            progress.errorBody.append(chunk.left(maxErrorBody - progress.errorBody.size()));
            return;
        }
        if (sink->write(chunk) != chunk.size()) {
            progress.writeError = sink->errorString();
            guard->abort();
            return;
        }
        progress.written += chunk.size();
    };
    const QMetaObject::Connection draining =
        QObject::connect(raw, &QIODevice::readyRead, raw, drain);
    // `progress` lives in this frame: no chunk may arrive after the frame is gone.
    const auto stopDraining = qScopeGuard([draining] { QObject::disconnect(draining); });
    auto registration = handle.onCancel([guard, &progress] {
        progress.cancelled = true;
        if (guard)
            guard->abort();
    });

    ReplyFinished finished(raw);
    const bool answered = co_await std::move(finished);
    registration = TaskHandle::Registration();
    drain();

    // Gone unanswered means its manager went: only the store's end does that.
    if (progress.cancelled || handle.isCancelled() || !answered)
        throw AppError::cancelled();
    if (!progress.writeError.isEmpty())
        throw std::runtime_error(progress.writeError.toStdString());
    const int status = statusOf(raw);
    if (raw->error() == QNetworkReply::OperationCanceledError ||
        raw->error() == QNetworkReply::TimeoutError)
        throw NetworkError(QNetworkReply::TimeoutError, QStringLiteral("The request timed out."));
    if (status == 0)
        throw NetworkError(raw->error(), raw->errorString());
    if (!isSuccess(status))
        check(Response{status, progress.errorBody, {}});
    // A connection dropped part way through still leaves a 200 on the reply.
    if (raw->error() != QNetworkReply::NoError)
        throw NetworkError(raw->error(), raw->errorString());
    co_return progress.written;
}
