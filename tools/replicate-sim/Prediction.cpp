#include "Prediction.h"

#include "ModelRegistry.h"

bool Prediction::terminal() const
{
    return status == QLatin1String("succeeded") || status == QLatin1String("failed") ||
           status == QLatin1String("canceled") || status == QLatin1String("aborted");
}

QJsonObject Prediction::toJson(const QString &base, bool blocking) const
{
    const auto stamp = [](const QDateTime &time) -> QJsonValue {
        return time.isValid() ? QJsonValue(time.toString(Qt::ISODateWithMs)) : QJsonValue::Null;
    };
    const bool official = model->record.value(QStringLiteral("is_official")).toBool();
    const QString self = base + QStringLiteral("/v1/predictions/") + id;
    QJsonObject object{
        {QStringLiteral("id"), id},
        {QStringLiteral("model"), model->slug()},
        {QStringLiteral("version"), official ? QStringLiteral("hidden") : model->versionId()},
        {QStringLiteral("input"), input},
        {QStringLiteral("logs"), logs},
        {QStringLiteral("output"),
         blocking && inlineOutputs && !inlineOutput.isUndefined() ? inlineOutput : output},
        {QStringLiteral("data_removed"), false},
        {QStringLiteral("error"), error},
        {QStringLiteral("status"), status},
        {QStringLiteral("source"), QStringLiteral("api")},
        {QStringLiteral("created_at"), stamp(createdAt)},
        {QStringLiteral("urls"),
         QJsonObject{{QStringLiteral("get"), self},
                     {QStringLiteral("cancel"), QString(self + QStringLiteral("/cancel"))},
                     {QStringLiteral("web"), QString(base + QStringLiteral("/p/") + id)}}}};
    // The service sends every key, null until it has a value.
    object.insert(QStringLiteral("started_at"), stamp(startedAt));
    object.insert(QStringLiteral("completed_at"), stamp(completedAt));
    QJsonObject metrics;
    if (completedAt.isValid()) {
        metrics.insert(QStringLiteral("total_time"), createdAt.msecsTo(completedAt) / 1000.0);
        // A prediction that ran and then failed was billed for its run time as well.
        if (startedAt.isValid() &&
            (status == QLatin1String("succeeded") || status == QLatin1String("failed")))
            metrics.insert(QStringLiteral("predict_time"), predictSeconds);
    }
    object.insert(QStringLiteral("metrics"), metrics);
    return object;
}
