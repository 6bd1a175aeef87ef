#include "SchemaRecords.h"

#include <QJsonDocument>
#include <QtGlobal>

namespace
{

QJsonDocument parsed(const QByteArray &text)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError)
        qFatal("bad test JSON: %s", qPrintable(error.errorString()));
    return document;
}

} // namespace

namespace SchemaRecords
{

QJsonObject record(const QByteArray &properties, const QByteArray &required,
                   const QByteArray &schemas)
{
    QJsonObject all = parsed(schemas).object();
    all.insert(QStringLiteral("Input"), parsed("{\"type\":\"object\",\"required\":" + required +
                                               ",\"properties\":" + properties + "}")
                                            .object());
    const QJsonObject openapi{
        {QStringLiteral("components"), QJsonObject{{QStringLiteral("schemas"), all}}}};
    const QJsonObject latest{{QStringLiteral("id"), QStringLiteral("v1")},
                             {QStringLiteral("openapi_schema"), openapi}};
    return QJsonObject{{QStringLiteral("latest_version"), latest}};
}

ModelSchema schema(const QByteArray &properties, const QByteArray &required)
{
    return ModelSchema::parse(record(properties, required));
}

SchemaParam param(const QString &key, SchemaParam::Kind::Type type,
                  std::optional<ParamValue> defaultValue, bool required)
{
    SchemaParam result;
    result.key = result.title = key;
    result.required = required;
    result.kind.type = type;
    result.defaultValue = std::move(defaultValue);
    return result;
}

} // namespace SchemaRecords
