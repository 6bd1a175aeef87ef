#include "Services/ReplicateClient.h"

#include "Models/AppError.h"
#include "Services/Coroutine.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QUuid>

#include <algorithm>

namespace
{

const QString unexpectedResponse = QStringLiteral("Unexpected response from Replicate.");

QJsonObject objectOrThrow(const QJsonDocument &document)
{
    if (!document.isObject())
        throw AppError::api(0, unexpectedResponse);
    return document.object();
}

// An absolute address, or none: a relative one could not be requested anyway.
std::optional<QUrl> absoluteURL(const QString &text)
{
    const QUrl url(text, QUrl::StrictMode);
    if (text.isEmpty() || !url.isValid() || url.isRelative())
        return std::nullopt;
    return url;
}

} // namespace

QCoro::Task<QJsonObject> ReplicateClient::fetchModel(QString owner, QString name,
                                                     TaskHandle handle) const
{
    // Tasks start at once: copy the client before the first suspension so that the caller may
    // drop its own copy.
    const ReplicateClient self = *this;
    Request request{self.endpoint({QStringLiteral("models"), owner, name}), "GET", {}, {}};
    auto sending = self.send(request, handle);
    const Response response = co_await sending;
    check(response);
    co_return objectOrThrow(parse(response.body));
}

bool ReplicateClient::isObjectArray(const QJsonValue &value)
{
    if (!value.isArray())
        return false;
    const QJsonArray items = value.toArray();
    return std::all_of(items.begin(), items.end(),
                       [](const QJsonValue &item) { return item.isObject(); });
}

QList<CatalogModel> ReplicateClient::entries(const QJsonValue &items, bool isCustom)
{
    QList<CatalogModel> result;
    if (!isObjectArray(items))
        return result;
    for (const QJsonValue &item : items.toArray()) {
        if (const auto entry = CatalogModel::fromListing(item.toObject(), isCustom))
            result.append(*entry);
    }
    return result;
}

QCoro::Task<QList<CatalogModel>> ReplicateClient::fetchCollection(QString slug,
                                                                  TaskHandle handle) const
{
    const ReplicateClient self = *this;
    QUrl address = self.endpoint({QStringLiteral("collections"), slug});
    QList<CatalogModel> result;
    for (int pages = 0;;) {
        const Request request{address, "GET", {}, {}};
        auto sending = self.send(request, handle);
        const Response response = co_await sending;
        check(response);
        const QJsonDocument document = parse(response.body);
        const QJsonObject object = document.isObject() ? document.object() : QJsonObject();
        const QJsonValue models = object.value(QLatin1String("models"));
        result.append(entries(
            isObjectArray(models) ? models : object.value(QLatin1String("results")), false));

        const QJsonValue next = object.value(QLatin1String("next"));
        const auto nextURL = next.isString() ? absoluteURL(next.toString()) : std::nullopt;
        if (!nextURL)
            break;
        if (++pages == maxCollectionPages)
            break;
        address = *nextURL;
    }
    co_return result;
}

QCoro::Task<QList<CatalogModel>> ReplicateClient::searchModels(QString query,
                                                               TaskHandle handle) const
{
    const ReplicateClient self = *this;
    Request request{self.endpoint({QStringLiteral("models")}),
                    "QUERY",
                    query.toUtf8(),
                    {{"Content-Type", "text/plain"}}};
    auto sending = self.send(request, handle);
    const Response response = co_await sending;
    check(response);
    const QJsonDocument document = parse(response.body);
    co_return entries(document.object().value(QLatin1String("results")), true);
}

QString ReplicateClient::newBoundary()
{
    return QStringLiteral("Moonforge-") +
           QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

QString ReplicateClient::quotedHeaderSafe(const QString &filename)
{
    // The same escapes browsers use for form-data names: a quote or a line break would end the
    // parameter or the header and let the name inject fields of its own.
    QString result;
    result.reserve(filename.size());
    for (const QChar c : filename) {
        if (c == QLatin1Char('"'))
            result += QStringLiteral("%22");
        else if (c == QLatin1Char('\r'))
            result += QStringLiteral("%0D");
        else if (c == QLatin1Char('\n'))
            result += QStringLiteral("%0A");
        else
            result += c;
    }
    return result;
}

QByteArray ReplicateClient::multipartBody(const QByteArray &data, const QString &filename,
                                          const QString &mimeType, const QString &boundary)
{
    const QByteArray crlf("\r\n");
    const QByteArray dashes("--");
    QByteArray body;
    body.reserve(data.size() + 256);
    body += dashes + boundary.toUtf8() + crlf;
    body += "Content-Disposition: form-data; name=\"content\"; filename=\"" +
            quotedHeaderSafe(filename).toUtf8() + "\"" + crlf;
    body += "Content-Type: " + quotedHeaderSafe(mimeType).toUtf8() + crlf + crlf;
    body += data;
    body += crlf + dashes + boundary.toUtf8() + dashes + crlf;
    return body;
}

QCoro::Task<QString> ReplicateClient::uploadFile(QByteArray data, QString filename,
                                                 QString mimeType, TaskHandle handle) const
{
    const ReplicateClient self = *this;
    const QString boundary = newBoundary();
    Request request{self.endpoint({QStringLiteral("files")}),
                    "POST",
                    multipartBody(data, filename, mimeType, boundary),
                    {{"Content-Type", "multipart/form-data; boundary=" + boundary.toUtf8()}}};
    auto sending = self.send(request, handle);
    const Response response = co_await sending;
    check(response);
    const QJsonDocument document = parse(response.body);
    const QJsonValue address =
        document.object().value(QLatin1String("urls")).toObject().value(QLatin1String("get"));
    if (!document.isObject() || !address.isString())
        throw AppError::api(0, QStringLiteral("Upload succeeded but returned no URL."));
    co_return address.toString();
}

QCoro::Task<ReplicateClient::Prediction>
ReplicateClient::createPrediction(CatalogModel model, ModelSchema schema, QJsonObject input,
                                  int waitSeconds, TaskHandle handle,
                                  std::optional<TaskHandle> stopRetrying) const
{
    const ReplicateClient self = *this;
    QJsonObject body{{QStringLiteral("input"), input}};
    QUrl address;
    if (!schema.versionID || schema.isOfficial) {
        address = self.endpoint(
            {QStringLiteral("models"), model.owner, model.name, QStringLiteral("predictions")});
    } else {
        address = self.endpoint({QStringLiteral("predictions")});
        body.insert(QStringLiteral("version"), *schema.versionID);
    }
    Request request{address,
                    "POST",
                    QJsonDocument(body).toJson(QJsonDocument::Compact),
                    {{"Content-Type", "application/json"},
                     {"Prefer", "wait=" + QByteArray::number(waitSeconds)}},
                    (waitSeconds + 30) * 1000,
                    stopRetrying};
    auto sending = self.send(request, handle);
    const Response response = co_await sending;
    check(response);
    co_return Prediction::fromJson(objectOrThrow(parse(response.body)));
}

QCoro::Task<ReplicateClient::Prediction> ReplicateClient::getPrediction(QString address,
                                                                        TaskHandle handle) const
{
    const ReplicateClient self = *this;
    const auto url = absoluteURL(address);
    if (!url)
        throw AppError::api(0, QStringLiteral("Bad prediction URL."));
    const Request request{*url, "GET", {}, {}};
    auto sending = self.send(request, handle);
    const Response response = co_await sending;
    check(response);
    co_return Prediction::fromJson(objectOrThrow(parse(response.body)));
}

QCoro::Task<ReplicateClient::PredictionPage>
ReplicateClient::listPredictions(QString address, TaskHandle handle) const
{
    const ReplicateClient self = *this;
    const auto url = address.isEmpty()
                         ? std::optional(self.endpoint({QStringLiteral("predictions")}))
                         : absoluteURL(address);
    if (!url)
        throw AppError::api(0, QStringLiteral("Bad prediction list URL."));
    const Request request{*url, "GET", {}, {}};
    auto sending = self.send(request, handle);
    const Response response = co_await sending;
    check(response);
    const QJsonObject object = objectOrThrow(parse(response.body));
    PredictionPage page;
    for (const QJsonValue &entry : object.value(QLatin1String("results")).toArray()) {
        const QJsonObject listed = entry.toObject();
        page.results.append(
            {Prediction::fromJson(listed), listed.value(QLatin1String("model")).toString(),
             listed.value(QLatin1String("input")).toObject(),
             QDateTime::fromString(listed.value(QLatin1String("created_at")).toString(),
                                   Qt::ISODateWithMs)});
    }
    const QJsonValue next = object.value(QLatin1String("next"));
    if (next.isString() && absoluteURL(next.toString()))
        page.next = next.toString();
    co_return page;
}

QCoro::Task<void> ReplicateClient::cancelPrediction(QString address, TaskHandle handle) const
{
    const ReplicateClient self = *this;
    const auto url = absoluteURL(address);
    if (!url)
        co_return;
    try {
        const Request request{*url, "POST", {}, {}};
        auto sending = self.send(request, handle);
        co_await sending;
    } catch (const std::exception &) {
        // Cancelling is a courtesy to the service; the caller has already given up on it.
    }
}
