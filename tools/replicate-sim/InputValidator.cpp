#include "InputValidator.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QStringList>

#include <cmath>

namespace InputValidator
{

namespace
{

// A property with its allOf references folded in, the property's own keys winning.
QJsonObject resolved(const QJsonObject &property, const QJsonObject &schemas)
{
    QJsonObject merged;
    for (const QJsonValue &part : property.value(QStringLiteral("allOf")).toArray()) {
        const QString ref = part.toObject().value(QStringLiteral("$ref")).toString();
        const QJsonObject target = schemas.value(ref.section(QLatin1Char('/'), -1)).toObject();
        for (auto it = target.begin(); it != target.end(); ++it)
            merged.insert(it.key(), it.value());
    }
    for (auto it = property.begin(); it != property.end(); ++it)
        merged.insert(it.key(), it.value());
    return merged;
}

bool hasType(const QJsonValue &value, const QString &type)
{
    if (type == QLatin1String("string"))
        return value.isString();
    if (type == QLatin1String("boolean"))
        return value.isBool();
    if (type == QLatin1String("number"))
        return value.isDouble();
    if (type == QLatin1String("integer"))
        return value.isDouble() && std::floor(value.toDouble()) == value.toDouble();
    if (type == QLatin1String("array"))
        return value.isArray();
    if (type == QLatin1String("object"))
        return value.isObject();
    return true;
}

} // namespace

QString typeOf(const QJsonValue &value)
{
    if (value.isString())
        return QStringLiteral("string");
    if (value.isBool())
        return QStringLiteral("boolean");
    if (value.isDouble())
        return std::floor(value.toDouble()) == value.toDouble() ? QStringLiteral("integer")
                                                                : QStringLiteral("number");
    if (value.isArray())
        return QStringLiteral("array");
    if (value.isObject())
        return QStringLiteral("object");
    return QStringLiteral("null");
}

QList<Problem> problems(const QJsonObject &input, const QJsonObject &inputSchema,
                        const QJsonObject &schemas)
{
    QList<Problem> found;
    const QString whole = QStringLiteral("input");
    for (const QJsonValue &key : inputSchema.value(QStringLiteral("required")).toArray()) {
        if (!input.contains(key.toString()))
            found.append({whole, key.toString() + QStringLiteral(" is required")});
    }
    const QJsonObject properties = inputSchema.value(QStringLiteral("properties")).toObject();
    for (auto it = input.begin(); it != input.end(); ++it) {
        if (!properties.contains(it.key()))
            continue;
        const QString field = whole + QLatin1Char('.') + it.key();
        const QJsonObject property = resolved(properties.value(it.key()).toObject(), schemas);
        const QString type = property.value(QStringLiteral("type")).toString();
        if (!type.isEmpty() && !hasType(it.value(), type)) {
            // As the service words it, naming both types: a string enum given 0.25 says so.
            found.append({field, QStringLiteral("Invalid type. Expected: ") + type +
                                     QStringLiteral(", given: ") + typeOf(it.value())});
            continue;
        }
        const QJsonArray cases = property.value(QStringLiteral("enum")).toArray();
        if (!cases.isEmpty() && !cases.contains(it.value())) {
            QStringList listed;
            for (const QJsonValue &option : cases)
                listed.append(QString::fromUtf8(QJsonDocument(QJsonArray{option})
                                                    .toJson(QJsonDocument::Compact)
                                                    .chopped(1)
                                                    .mid(1)));
            found.append({field, it.key() + QStringLiteral(" must be one of the following: ") +
                                     listed.join(QStringLiteral(", "))});
        }
        if (property.contains(QStringLiteral("minimum")) && it.value().isDouble() &&
            it.value().toDouble() < property.value(QStringLiteral("minimum")).toDouble())
            found.append(
                {field, QStringLiteral("Must be greater than or equal to ") +
                            QString::number(property.value(QStringLiteral("minimum")).toDouble())});
        if (property.contains(QStringLiteral("maximum")) && it.value().isDouble() &&
            it.value().toDouble() > property.value(QStringLiteral("maximum")).toDouble())
            found.append(
                {field, QStringLiteral("Must be less than or equal to ") +
                            QString::number(property.value(QStringLiteral("maximum")).toDouble())});
    }
    return found;
}

} // namespace InputValidator
