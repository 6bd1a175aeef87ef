#pragma once

#include "Models/ModelSchema.h"

#include <QByteArray>
#include <QJsonObject>

// Model records as the service publishes them, reduced to the input a test cares about.
namespace SchemaRecords
{
// A record whose input has `properties` (a JSON object) and `required` (a JSON array of keys);
// `schemas` (a JSON object) adds named schemas beside "Input" for references to point at.
QJsonObject record(const QByteArray &properties, const QByteArray &required = "[]",
                   const QByteArray &schemas = "{}");
// The schema read from such a record.
ModelSchema schema(const QByteArray &properties, const QByteArray &required = "[]");
// A parameter as a parsed schema holds it, titled with its key.
SchemaParam param(const QString &key, SchemaParam::Kind::Type type,
                  std::optional<ParamValue> defaultValue = {}, bool required = false);
} // namespace SchemaRecords
