#include "Models/ModelSchema.h"

#include "Models/DecimalText.h"

#include <QJsonDocument>
#include <QLocale>

#include <algorithm>
#include <cmath>

namespace
{

using Type = SchemaParam::Kind::Type;

const QStringList &primaryWords()
{
    static const QStringList words = {
        QStringLiteral("face"),     QStringLiteral("enhance"), QStringLiteral("creativity"),
        QStringLiteral("fidelity"), QStringLiteral("detail"),  QStringLiteral("denoise"),
        QStringLiteral("sharpen"),  QStringLiteral("prompt"),  QStringLiteral("output_format"),
        QStringLiteral("format"),   QStringLiteral("model"),   QStringLiteral("mode"),
        QStringLiteral("quality"),  QStringLiteral("subject"), QStringLiteral("style"),
        QStringLiteral("preset")};
    return words;
}

bool isPrimary(const SchemaParam &param)
{
    const QString key = param.key.toLower();
    if (ModelSchema::scaleKeys().contains(key))
        return true;
    if (key == QLatin1String("seed") || key.contains(QLatin1String("webhook")))
        return false;
    return std::any_of(primaryWords().begin(), primaryWords().end(),
                       [&key](const QString &word) { return key.contains(word); });
}

bool fitsInt64(double value)
{
    return value >= -9.223372036854775808e18 && value < 9.223372036854775808e18;
}

} // namespace

const QSet<QString> &ModelSchema::outputCountKeys()
{
    static const QSet<QString> keys{
        QStringLiteral("num_outputs"),      QStringLiteral("num_images"),
        QStringLiteral("number_of_images"), QStringLiteral("num_images_per_prompt"),
        QStringLiteral("max_images"),       QStringLiteral("image_count"),
        QStringLiteral("batch_size"),       QStringLiteral("samples")};
    return keys;
}

const QSet<QString> &ModelSchema::durationKeys()
{
    static const QSet<QString> keys{QStringLiteral("duration"), QStringLiteral("duration_seconds"),
                                    QStringLiteral("video_length"), QStringLiteral("length"),
                                    QStringLiteral("seconds")};
    return keys;
}

QJsonObject ModelSchema::requestInputs(const QString &slug,
                                       const QMap<QString, ParamOverrides> &overrides) const
{
    const ParamOverrides model = overrides.value(slug);
    QJsonObject input;
    // Overrides left from an older model version are dropped.
    for (const SchemaParam &param : params) {
        const auto it = model.constFind(param.key);
        if (it != model.constEnd())
            input.insert(param.key, param.encode(*it));
        else if (param.required && param.defaultValue)
            input.insert(param.key, param.encode(*param.defaultValue));
    }
    return input;
}

const QSet<QString> &ModelSchema::scaleKeys()
{
    static const QSet<QString> keys = {
        QStringLiteral("scale"),          QStringLiteral("scale_factor"),
        QStringLiteral("upscale_factor"), QStringLiteral("upscaling_factor"),
        QStringLiteral("factor"),         QStringLiteral("upscale"),
        QStringLiteral("resolution"),     QStringLiteral("magnification")};
    return keys;
}

std::optional<SchemaParseError> ModelSchema::refusal(bool promptJob) const
{
    if (!promptJob && !imageKey)
        return SchemaParseError::noImageInput();
    if (promptJob && !promptKey)
        return SchemaParseError::noPromptInput(textKeys());
    if (secondFileKey)
        return SchemaParseError::secondFileRequired(*secondFileKey);
    return std::nullopt;
}

QStringList ModelSchema::textKeys() const
{
    QStringList keys;
    for (const SchemaParam &param : params) {
        if (param.kind.type == Type::text)
            keys.append(param.key);
    }
    return keys;
}

QList<SchemaParam> ModelSchema::primaryParams() const
{
    QList<SchemaParam> result;
    std::copy_if(params.begin(), params.end(), std::back_inserter(result), isPrimary);
    return result;
}

QList<SchemaParam> ModelSchema::advancedParams() const
{
    QList<SchemaParam> result;
    std::copy_if(params.begin(), params.end(), std::back_inserter(result),
                 [](const SchemaParam &param) { return !isPrimary(param); });
    return result;
}

std::pair<QList<SchemaParam>, QList<SchemaParam>>
ModelSchema::inspectorParams(bool hidingPrompt) const
{
    QList<SchemaParam> primary = primaryParams();
    QList<SchemaParam> advanced = advancedParams();
    if (hidingPrompt && promptKey) {
        const auto isPrompt = [this](const SchemaParam &param) { return param.key == *promptKey; };
        primary.removeIf(isPrompt);
        advanced.removeIf(isPrompt);
    }
    return {primary, advanced};
}

std::optional<SchemaParam> ModelSchema::scaleParam() const
{
    for (const SchemaParam &param : params) {
        if (scaleKeys().contains(param.key.toLower()))
            return param;
    }
    for (const SchemaParam &param : params) {
        const QString key = param.key.toLower();
        if ((key.contains(QLatin1String("scale")) || key.contains(QLatin1String("factor"))) &&
            param.kind.type != Type::toggle)
            return param;
    }
    return std::nullopt;
}

std::optional<double> ModelSchema::numericValue(const QSet<QString> &keys,
                                                const QJsonObject &input) const
{
    const auto found = std::find_if(params.begin(), params.end(), [&keys](const SchemaParam &p) {
        return keys.contains(p.key.toLower());
    });
    if (found == params.end())
        return std::nullopt;
    if (const auto value = asDouble(input.value(found->key)))
        return value;
    if (found->defaultValue)
        return found->defaultValue->doubleValue();
    return std::nullopt;
}

std::optional<double> ModelSchema::asDouble(const QJsonValue &value)
{
    if (value.isDouble())
        return value.toDouble();
    if (value.isBool())
        return value.toBool() ? 1.0 : 0.0;
    if (value.isString())
        return parseDecimal(value.toString());
    return std::nullopt;
}

std::optional<bool> ModelSchema::asBool(const QJsonValue &value)
{
    if (value.isBool())
        return value.toBool();
    if (const auto number = asDouble(value))
        return *number != 0.0;
    if (value.isString()) {
        const QString text = value.toString();
        return text == QLatin1String("true") || text == QLatin1String("1");
    }
    return std::nullopt;
}

std::optional<QString> ModelSchema::asString(const QJsonValue &value)
{
    if (value.isString())
        return value.toString();
    if (value.isBool())
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    if (!value.isDouble())
        return std::nullopt;
    // Integers the document wrote exactly keep every digit, even past what a double holds.
    if (value.toVariant().typeId() == QMetaType::LongLong)
        return QString::number(value.toInteger());
    const double number = value.toDouble();
    if (std::isfinite(number) && number == std::trunc(number) && fitsInt64(number))
        return QString::number(static_cast<qint64>(number));
    return QString::number(number, 'g', QLocale::FloatingPointShortest);
}

QString ModelSchema::humanized(const QString &text)
{
    if (text.isEmpty())
        return text;
    const bool hasUnderscore = text.contains(QLatin1Char('_'));
    if (!hasUnderscore &&
        std::any_of(text.begin(), text.end(), [](QChar c) { return c.isUpper(); }))
        return text;
    if (text.contains(QLatin1Char(' ')))
        return text;
    QString result = text;
    result.replace(QLatin1Char('_'), QLatin1Char(' '));
    bool wordStart = true;
    for (QChar &c : result) {
        if (c.isSpace()) {
            wordStart = true;
            continue;
        }
        c = wordStart ? c.toUpper() : c.toLower();
        wordStart = false;
    }
    return result;
}
