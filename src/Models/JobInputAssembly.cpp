// How a job's files and prompt enter a prediction input.
#include "Models/JobInput.h"
#include "Models/ModelSchema.h"

#include <QJsonArray>

QList<QUrl> JobInput::uploadSources(const ModelSchema &schema) const
{
    // Refused before anything is uploaded: the service would refuse the prediction after it.
    if (const auto refusal = schema.refusal(isPrompt()))
        throw *refusal;
    if (isFile())
        return {m_url};
    if (!schema.imageKey)
        return {};
    if (m_references.isEmpty() && schema.imageIsRequired)
        throw SchemaParseError::imageRequired();
    if (schema.imageIsArray || m_references.size() <= 1)
        return m_references;
    return {m_references.first()};
}

QJsonObject JobInput::predictionInput(const QJsonObject &base, const ModelSchema &schema,
                                      const QList<QUrl> &uploadedImageURLs) const
{
    QJsonObject input = base;
    if (schema.imageKey && !uploadedImageURLs.isEmpty()) {
        if (schema.imageIsArray) {
            QJsonArray urls;
            for (const QUrl &url : uploadedImageURLs)
                urls.append(url.toString(QUrl::FullyEncoded));
            input.insert(*schema.imageKey, urls);
        } else {
            input.insert(*schema.imageKey, uploadedImageURLs.first().toString(QUrl::FullyEncoded));
        }
    }
    if (schema.promptKey && isPrompt())
        input.insert(*schema.promptKey, m_text);
    return input;
}
