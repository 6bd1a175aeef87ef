#include "Models/ModelSchema.h"

#include "Models/DecimalText.h"
#include "Models/PromptInput.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QUrl>

#include <algorithm>
#include <cmath>

namespace
{

using Type = SchemaParam::Kind::Type;

const QStringList &imageKeyPreference()
{
    static const QStringList keys = {QStringLiteral("image"),       QStringLiteral("input_image"),
                                     QStringLiteral("image_input"), QStringLiteral("img"),
                                     QStringLiteral("image_url"),   QStringLiteral("image_path"),
                                     QStringLiteral("input")};
    return keys;
}

const QStringList &videoWords()
{
    static const QStringList words = {QStringLiteral("video"), QStringLiteral("mp4"),
                                      QStringLiteral("webm"), QStringLiteral(".mov")};
    return words;
}

const QStringList &imageWords()
{
    static const QStringList words = {QStringLiteral("image"), QStringLiteral("png"),
                                      QStringLiteral("jpg"), QStringLiteral("jpeg"),
                                      QStringLiteral("webp")};
    return words;
}

// One step down the path to the input properties; none when the step is missing or no object.
std::optional<QJsonObject> child(const std::optional<QJsonObject> &object, const char *key)
{
    if (!object)
        return std::nullopt;
    const QJsonValue value = object->value(QLatin1String(key));
    if (!value.isObject())
        return std::nullopt;
    return value.toObject();
}

std::optional<QString> stringAt(const QJsonObject &object, const char *key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isString())
        return std::nullopt;
    return value.toString();
}

// Copies the entries of every schema the property's "allOf" refers to, without overwriting the
// property's own keys.
QJsonObject resolveAllOf(QJsonObject property, const QJsonObject &schemas)
{
    const QJsonValue allOf = property.value(QLatin1String("allOf"));
    if (!allOf.isArray())
        return property;
    for (const QJsonValue &element : allOf.toArray()) {
        if (!element.isObject())
            continue;
        const QJsonValue ref = element.toObject().value(QLatin1String("$ref"));
        if (!ref.isString())
            continue;
        const QStringList pieces = ref.toString().split(QLatin1Char('/'), Qt::SkipEmptyParts);
        if (pieces.isEmpty())
            continue;
        const QJsonValue target = schemas.value(pieces.last());
        if (!target.isObject())
            continue;
        const QJsonObject referenced = target.toObject();
        for (auto it = referenced.begin(); it != referenced.end(); ++it) {
            if (!property.contains(it.key()))
                property.insert(it.key(), it.value());
        }
    }
    return property;
}

// "x-order" counts only when it is a whole number within 64 bits; 2.5 or a string reads as absent.
qint64 orderOf(const QJsonValue &value)
{
    if (!value.isDouble())
        return 999;
    if (value.toVariant().typeId() == QMetaType::LongLong)
        return value.toInteger();
    const double number = value.toDouble();
    if (number != std::trunc(number) || number < -9.223372036854775808e18 ||
        number >= 9.223372036854775808e18)
        return 999;
    return static_cast<qint64>(number);
}

// An integer default, exact where the document gives it exactly; none beyond 64 bits rather
// than a rounded or saturated value.
std::optional<qint64> integerDefault(const QJsonValue &value)
{
    if (value.isDouble() && value.toVariant().typeId() == QMetaType::LongLong)
        return value.toInteger();
    if (value.isString()) {
        if (const auto exact = parseDecimalInteger(value.toString()))
            return exact;
    }
    const auto number = ModelSchema::asDouble(value);
    if (!number || !std::isfinite(*number))
        return std::nullopt;
    const double truncated = std::trunc(*number);
    if (truncated < -9.223372036854775808e18 || truncated >= 9.223372036854775808e18)
        return std::nullopt;
    return static_cast<qint64>(truncated);
}

std::optional<ParamValue> defaultFor(const SchemaParam::Kind &kind, const QJsonValue &value)
{
    if (value.isUndefined() || value.isNull())
        return std::nullopt;
    switch (kind.type) {
    case Type::text:
    case Type::choice:
    case Type::uri:
        if (const auto text = ModelSchema::asString(value))
            return ParamValue::string(*text);
        return std::nullopt;
    case Type::integer:
        if (const auto integer = integerDefault(value))
            return ParamValue::integer(*integer);
        return std::nullopt;
    case Type::number:
        if (const auto number = ModelSchema::asDouble(value))
            return ParamValue::number(*number);
        return std::nullopt;
    case Type::toggle:
        if (const auto flag = ModelSchema::asBool(value))
            return ParamValue::boolean(*flag);
        return std::nullopt;
    }
    Q_UNREACHABLE();
    return std::nullopt;
}

// The kind a property asks for, or none when it cannot become a parameter. `isArrayURI` tells
// an array of file inputs from a single one.
std::optional<SchemaParam::Kind> kindOf(const QString &key, const QJsonObject &property,
                                        bool &isArrayURI)
{
    isArrayURI = false;
    const auto type = stringAt(property, "type");
    const auto format = stringAt(property, "format");
    SchemaParam::Kind kind;
    kind.min = ModelSchema::asDouble(property.value(QLatin1String("minimum")));
    kind.max = ModelSchema::asDouble(property.value(QLatin1String("maximum")));

    const QJsonValue enumValue = property.value(QLatin1String("enum"));
    if (enumValue.isArray()) {
        const QJsonArray elements = enumValue.toArray();
        // The service checks input against the declared type: the strings "1" and "0.25" of a
        // string enum must go out as strings, however numeric they look.
        bool allNumbers = true;
        bool allBooleans = true;
        for (const QJsonValue &element : elements) {
            const auto option = ModelSchema::asString(element);
            if (!option)
                continue;
            kind.options.append(*option);
            allNumbers = allNumbers && element.isDouble();
            allBooleans = allBooleans && element.isBool();
        }
        if (!kind.options.isEmpty()) {
            kind.type = Type::choice;
            if (type) {
                kind.numeric =
                    *type == QLatin1String("integer") || *type == QLatin1String("number");
                kind.boolean = *type == QLatin1String("boolean");
            } else {
                kind.numeric = allNumbers;
                kind.boolean = allBooleans;
            }
            kind.min.reset();
            kind.max.reset();
            return kind;
        }
    }
    kind.options.clear();
    if (!type)
        return std::nullopt;

    const bool isURI = format == QLatin1String("uri");
    if (*type == QLatin1String("boolean")) {
        kind.type = Type::toggle;
    } else if (*type == QLatin1String("integer")) {
        kind.type = Type::integer;
    } else if (*type == QLatin1String("number")) {
        kind.type = Type::number;
    } else if (*type == QLatin1String("string") && isURI) {
        kind.type = Type::uri;
    } else if (*type == QLatin1String("string")) {
        kind.type = Type::text;
        const QString description = stringAt(property, "description").value_or(QString());
        kind.multiline = key.toLower().contains(QLatin1String("prompt")) ||
                         description.toLower().contains(QLatin1String("prompt"));
    } else if (*type == QLatin1String("array")) {
        const QJsonValue items = property.value(QLatin1String("items"));
        if (!items.isObject() || stringAt(items.toObject(), "format") != QLatin1String("uri"))
            return std::nullopt;
        kind.type = Type::uri;
        isArrayURI = true;
    } else {
        return std::nullopt;
    }
    if (kind.type != Type::integer && kind.type != Type::number) {
        kind.min.reset();
        kind.max.reset();
    }
    return kind;
}

OutputKind outputKindOf(const QJsonObject &schemas)
{
    if (!schemas.contains(QLatin1String("Output")))
        return OutputKind::unknown;
    const QJsonValue output = schemas.value(QLatin1String("Output"));
    // The whole entry, keys and values, is searched as text.
    QString text;
    if (output.isObject())
        text = QString::fromUtf8(QJsonDocument(output.toObject()).toJson(QJsonDocument::Compact));
    else if (output.isArray())
        text = QString::fromUtf8(QJsonDocument(output.toArray()).toJson(QJsonDocument::Compact));
    else
        text = ModelSchema::asString(output).value_or(QString());
    text = text.toLower();
    const auto containsAny = [&text](const QStringList &words) {
        return std::any_of(words.begin(), words.end(),
                           [&text](const QString &word) { return text.contains(word); });
    };
    if (containsAny(videoWords()))
        return OutputKind::video;
    if (containsAny(imageWords()))
        return OutputKind::image;
    return OutputKind::unknown;
}

// Collects every string in an example output, however deeply it is nested.
void collectStrings(const QJsonValue &value, QStringList &into)
{
    if (value.isString()) {
        into.append(value.toString());
    } else if (value.isArray()) {
        for (const QJsonValue &element : value.toArray())
            collectStrings(element, into);
    } else if (value.isObject()) {
        const QJsonObject object = value.toObject();
        for (auto it = object.begin(); it != object.end(); ++it)
            collectStrings(it.value(), into);
    }
}

// A file output's schema is just "a URI"; the files the model's published example made say
// what they are.
OutputKind outputKindOfExample(const QJsonObject &modelResponse)
{
    const QJsonValue example = modelResponse.value(QLatin1String("default_example"));
    if (!example.isObject())
        return OutputKind::unknown;
    QStringList outputs;
    collectStrings(example.toObject().value(QLatin1String("output")), outputs);
    static const QStringList videoExtensions = {QStringLiteral(".mp4"), QStringLiteral(".webm"),
                                                QStringLiteral(".mov"), QStringLiteral(".m4v")};
    static const QStringList imageExtensions = {QStringLiteral(".png"),  QStringLiteral(".jpg"),
                                                QStringLiteral(".jpeg"), QStringLiteral(".webp"),
                                                QStringLiteral(".gif"),  QStringLiteral(".avif")};
    const auto anyEndsWith = [&outputs](const QStringList &extensions) {
        return std::any_of(outputs.begin(), outputs.end(), [&extensions](const QString &output) {
            const QString path = QUrl(output).path().toLower();
            return std::any_of(extensions.begin(), extensions.end(),
                               [&path](const QString &ext) { return path.endsWith(ext); });
        });
    };
    if (anyEndsWith(videoExtensions))
        return OutputKind::video;
    if (anyEndsWith(imageExtensions))
        return OutputKind::image;
    return OutputKind::unknown;
}

} // namespace

ModelSchema ModelSchema::parse(const QJsonObject &modelResponse)
{
    ModelSchema schema;
    const QJsonValue official = modelResponse.value(QLatin1String("is_official"));
    schema.isOfficial = official.isBool() && official.toBool();

    const auto latest = child(modelResponse, "latest_version");
    const auto schemas = child(child(child(latest, "openapi_schema"), "components"), "schemas");
    const auto input = child(schemas, "Input");
    const auto properties = child(input, "properties");
    if (!properties)
        throw SchemaParseError::missingSchema();
    schema.versionID = stringAt(*latest, "id");

    QSet<QString> required;
    for (const QJsonValue &entry : input->value(QLatin1String("required")).toArray()) {
        if (entry.isString())
            required.insert(entry.toString());
    }

    QList<SchemaParam> all;
    QSet<QString> arrayImageKeys;
    QHash<QString, QJsonObject> resolved;
    for (auto it = properties->begin(); it != properties->end(); ++it) {
        if (!it.value().isObject())
            continue;
        const QString key = it.key();
        const QJsonObject property = resolveAllOf(it.value().toObject(), *schemas);
        resolved.insert(key, property);
        bool isArrayURI = false;
        const auto kind = kindOf(key, property, isArrayURI);
        if (!kind)
            continue;
        if (isArrayURI)
            arrayImageKeys.insert(key);

        SchemaParam param;
        param.key = key;
        param.kind = *kind;
        param.defaultValue = defaultFor(*kind, property.value(QLatin1String("default")));
        param.title = humanized(stringAt(property, "title").value_or(key));
        param.help = stringAt(property, "description");
        param.order = orderOf(property.value(QLatin1String("x-order")));
        param.required = required.contains(key);
        all.append(param);
    }
    // Properties arrive in key order; the stable sort keeps that among equal orders.
    std::stable_sort(all.begin(), all.end(),
                     [](const SchemaParam &a, const SchemaParam &b) { return a.order < b.order; });

    QList<const SchemaParam *> uris;
    for (const SchemaParam &param : all) {
        if (param.kind.type == Type::uri)
            uris.append(&param);
        else
            schema.params.append(param);
    }
    for (const QString &preferred : imageKeyPreference()) {
        const bool found = std::any_of(uris.begin(), uris.end(), [&preferred](const auto *param) {
            return param->key == preferred;
        });
        if (found) {
            schema.imageKey = preferred;
            break;
        }
    }
    if (!schema.imageKey && !uris.isEmpty()) {
        // `all` is sorted, so the first file input has the smallest order.
        schema.imageKey = uris.first()->key;
    }
    if (schema.imageKey) {
        schema.imageIsRequired = required.contains(*schema.imageKey);
        schema.imageIsArray = arrayImageKeys.contains(*schema.imageKey);
    }
    // Optional further files (a style image, a mask that may be left out) are simply not sent.
    for (const SchemaParam *param : std::as_const(uris)) {
        if (param->required && param->key != schema.imageKey) {
            schema.secondFileKey = param->key;
            break;
        }
    }

    schema.promptKey = PromptInput::keyOf(schema.params, resolved);

    schema.outputKind = outputKindOf(*schemas);
    if (schema.outputKind == OutputKind::unknown)
        schema.outputKind = outputKindOfExample(modelResponse);
    return schema;
}
