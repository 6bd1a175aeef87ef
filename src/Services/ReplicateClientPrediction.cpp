#include "Services/ReplicateClient.h"

#include <QJsonArray>

namespace
{

std::optional<QString> optionalString(const QJsonValue &value)
{
    if (!value.isString())
        return std::nullopt;
    return value.toString();
}

} // namespace

ReplicateClient::Prediction ReplicateClient::Prediction::fromJson(const QJsonObject &object)
{
    Prediction prediction;
    prediction.id = object.value(QLatin1String("id")).toString();
    if (const auto status = optionalString(object.value(QLatin1String("status"))))
        prediction.status = *status;
    if (object.contains(QLatin1String("output")))
        prediction.output = object.value(QLatin1String("output"));
    prediction.error = optionalString(object.value(QLatin1String("error")));
    const QJsonObject urls = object.value(QLatin1String("urls")).toObject();
    prediction.getURL = optionalString(urls.value(QLatin1String("get")));
    prediction.cancelURL = optionalString(urls.value(QLatin1String("cancel")));
    const QJsonValue predictTime =
        object.value(QLatin1String("metrics")).toObject().value(QLatin1String("predict_time"));
    if (predictTime.isDouble())
        prediction.predictTime = predictTime.toDouble();
    return prediction;
}

bool ReplicateClient::Prediction::isTerminal() const
{
    return status == QLatin1String("succeeded") || status == QLatin1String("failed") ||
           status == QLatin1String("canceled") || status == QLatin1String("aborted");
}

QList<QUrl> ReplicateClient::Prediction::outputURLs() const
{
    return output ? urlsIn(*output) : QList<QUrl>();
}

QList<QUrl> ReplicateClient::Prediction::urlsIn(const QJsonValue &value)
{
    if (value.isString()) {
        const QString text = value.toString();
        // A file sent inline (the service's answer to a held create) is a result too; whether
        // its data can be read is for the one who saves it to find out and say.
        if (text.startsWith(QLatin1String("data:"), Qt::CaseInsensitive))
            return {QUrl(text, QUrl::TolerantMode)};
        // File paths and plain text are not addresses.
        const QUrl url(text, QUrl::StrictMode);
        if (text.startsWith(QLatin1String("http")) && url.isValid())
            return {url};
        return {};
    }
    if (value.isArray()) {
        QList<QUrl> result;
        for (const QJsonValue &element : value.toArray())
            result.append(urlsIn(element));
        return result;
    }
    if (value.isObject()) {
        const QJsonObject object = value.toObject();
        for (const char *key : {"url", "image", "output", "file"}) {
            if (!object.contains(QLatin1String(key)))
                continue;
            const QList<QUrl> found = urlsIn(object.value(QLatin1String(key)));
            if (!found.isEmpty())
                return found;
        }
    }
    return {};
}
