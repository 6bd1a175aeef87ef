#include "Models/HistorySnapshot.h"

#include "Models/StoredFields.h"
#include "Models/StoredJson.h"

namespace
{

void insertOptional(StoredJson &json, const QString &key, std::optional<double> value)
{
    if (value)
        json.insert(key, *value);
}

StoredJson encodeVariant(const VariantSnapshot &variant)
{
    StoredJson json = StoredJson::object();
    json.insert(QStringLiteral("slug"), variant.slug)
        .insert(QStringLiteral("title"), variant.title)
        .insert(QStringLiteral("resultURL"), StoredFields::urlText(variant.resultURL));
    insertOptional(json, QStringLiteral("resultWidth"), variant.resultWidth);
    insertOptional(json, QStringLiteral("resultHeight"), variant.resultHeight);
    insertOptional(json, QStringLiteral("elapsed"), variant.elapsed);
    if (variant.cost)
        json.insert(
            QStringLiteral("cost"),
            std::move(StoredJson::array().append(variant.cost->low).append(variant.cost->high)));
    return json;
}

StoredJson encodeJob(const JobSnapshot &job)
{
    StoredJson references = StoredJson::array();
    for (const QUrl &url : job.references)
        references.append(StoredFields::urlText(url));
    StoredJson variants = StoredJson::array();
    for (const VariantSnapshot &variant : job.variants)
        variants.append(encodeVariant(variant));

    StoredJson json = StoredJson::object();
    json.insert(QStringLiteral("mode"), Modes::key(job.mode));
    if (job.fileURL)
        json.insert(QStringLiteral("fileURL"), StoredFields::urlText(*job.fileURL));
    if (job.prompt)
        json.insert(QStringLiteral("prompt"), *job.prompt);
    json.insert(QStringLiteral("references"), std::move(references));
    insertOptional(json, QStringLiteral("pixelWidth"), job.pixelWidth);
    insertOptional(json, QStringLiteral("pixelHeight"), job.pixelHeight);
    json.insert(QStringLiteral("byteSize"), job.byteSize)
        .insert(QStringLiteral("variants"), std::move(variants));
    return json;
}

VariantSnapshot decodeVariant(const QJsonObject &object)
{
    using namespace StoredFields;
    VariantSnapshot variant;
    variant.slug = string(object, "slug");
    variant.title = string(object, "title");
    variant.resultURL = url(object, "resultURL");
    variant.resultWidth = optionalNumber(object, "resultWidth");
    variant.resultHeight = optionalNumber(object, "resultHeight");
    variant.elapsed = optionalNumber(object, "elapsed");
    const QJsonValue cost = object.value(QStringLiteral("cost"));
    if (!cost.isUndefined() && !cost.isNull()) {
        const QJsonArray bounds = array(cost, "cost");
        if (bounds.size() != 2)
            throw StoredDecodeError("Key \"cost\": expected two numbers.");
        variant.cost = CostRange{number(bounds.at(0), "cost"), number(bounds.at(1), "cost")};
        // A closed range: a lower bound above the upper one is not a range at all.
        if (variant.cost->low > variant.cost->high)
            throw StoredDecodeError("Key \"cost\": lower bound above upper bound.");
    }
    return variant;
}

JobSnapshot decodeJob(const QJsonObject &object)
{
    using namespace StoredFields;
    JobSnapshot job;
    job.mode = StoredFields::mode(object, "mode");
    job.fileURL = optionalUrl(object, "fileURL");
    job.prompt = optionalString(object, "prompt");
    for (const QJsonValue &reference : array(required(object, "references"), "references"))
        job.references.append(url(reference, "references"));
    job.pixelWidth = optionalNumber(object, "pixelWidth");
    job.pixelHeight = optionalNumber(object, "pixelHeight");
    job.byteSize = integer(object, "byteSize");
    for (const QJsonValue &variant : array(required(object, "variants"), "variants"))
        job.variants.append(decodeVariant(StoredFields::object(variant, "variants")));
    return job;
}

} // namespace

std::optional<QByteArray> JobSnapshot::encode(const QList<JobSnapshot> &snapshots)
{
    StoredJson document = StoredJson::array();
    for (const JobSnapshot &snapshot : snapshots)
        document.append(encodeJob(snapshot));
    return document.toBytes();
}

QList<JobSnapshot> JobSnapshot::decode(const QByteArray &bytes)
{
    QList<JobSnapshot> snapshots;
    for (const QJsonValue &job : StoredFields::array(StoredFields::parse(bytes), "history"))
        snapshots.append(decodeJob(StoredFields::object(job, "history")));
    return snapshots;
}
