#include "Services/Coroutine.h"
#include "Services/PriceCache.h"
#include "Services/Pricing.h"
#include "Services/ReplyFinished.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QStringDecoder>
#include <QTimer>

#include <memory>

namespace
{

// The page's text when it is valid UTF-8.
std::optional<QString> utf8Text(const QByteArray &body)
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder.decode(body);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

} // namespace

QUrl Pricing::pageUrl(const QUrl &webBase, const QString &slug)
{
    if (PriceCache::fileName(slug).isEmpty() || !webBase.isValid())
        return QUrl();
    const QStringList parts = slug.split(QLatin1Char('/'));
    QString base = webBase.toString(QUrl::FullyEncoded);
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    // Each part is encoded on its own so that a slug cannot add a query or another path.
    return QUrl(base + QLatin1Char('/') +
                    QString::fromLatin1(QUrl::toPercentEncoding(parts.at(0))) + QLatin1Char('/') +
                    QString::fromLatin1(QUrl::toPercentEncoding(parts.at(1))),
                QUrl::StrictMode);
}

QCoro::Task<std::optional<ModelPrice>>
Pricing::fetch(std::shared_ptr<QNetworkAccessManager> network, QUrl webBase, PriceCache cache,
               QString slug, TaskHandle handle)
{
    if (std::optional<ModelPrice> cached = cache.cached(slug))
        co_return cached;
    const QUrl url = pageUrl(webBase, slug);
    if (!url.isValid() || handle.isCancelled())
        co_return std::nullopt;

    // A plain request: no token, no extra headers. The page is public.
    QNetworkRequest request(url);
    request.setTransferTimeout(pageTimeoutMs);
    QPointer<QNetworkReply> reply = network->get(request);
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply,
                     [raw = reply.data()](qint64 received, qint64) {
                         if (received > maxPageBytes)
                             raw->abort();
                     });
    const TaskHandle::Registration abortOnCancel = handle.onCancel([reply] {
        if (reply)
            reply->abort();
    });
    // The transfer timeout only notices a stalled page; this bounds a page that trickles in.
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, reply, [raw = reply.data()] { raw->abort(); });
    deadline.start(2 * pageTimeoutMs);
    ReplyFinished finished(reply.data());
    co_await std::move(finished);
    const std::unique_ptr<QNetworkReply, void (*)(QNetworkReply *)> owned(
        reply.data(), [](QNetworkReply *r) { r->deleteLater(); });
    if (!reply || handle.isCancelled())
        co_return std::nullopt;
    if (!reply->isFinished())
        reply->abort();

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!reply->isFinished() || reply->error() != QNetworkReply::NoError || !status.isValid() ||
        status.toInt() != 200)
        co_return std::nullopt;
    const std::optional<QString> page = utf8Text(reply->readAll());
    if (!page)
        co_return std::nullopt;
    std::optional<ModelPrice> price = parse(*page);
    if (price)
        cache.store(slug, *price);
    co_return price;
}
