// Parameter overrides of the focused model, and the parameter part of a prediction input.
#include "Services/AppStore.h"

std::optional<ParamValue> AppStore::value(const SchemaParam &param) const
{
    const ModeState current = state();
    const auto model = current.overrides.constFind(current.focusedSlug);
    if (model != current.overrides.constEnd()) {
        const auto it = model->constFind(param.key);
        if (it != model->constEnd())
            return *it;
    }
    return param.defaultValue;
}

void AppStore::setValue(const std::optional<ParamValue> &value, const SchemaParam &param)
{
    ModeState current = state();
    // An emptied entry stays: it still says "no overrides" and keeps the slug's place.
    ParamOverrides &model = current.overrides[current.focusedSlug];
    if (value)
        model.insert(param.key, *value);
    else
        model.remove(param.key);
    setState(current);
    savePreferences();
}

bool AppStore::isOverridden(const SchemaParam &param) const
{
    const ModeState current = state();
    const auto model = current.overrides.constFind(current.focusedSlug);
    return model != current.overrides.constEnd() && model->contains(param.key);
}

void AppStore::resetParams()
{
    ModeState current = state();
    current.overrides.remove(current.focusedSlug);
    setState(current);
    savePreferences();
}

QJsonObject AppStore::requestInputs(const ModelSchema &schema, const QString &slug,
                                    const QMap<QString, ParamOverrides> &overrides)
{
    const ParamOverrides model = overrides.value(slug);
    QJsonObject input;
    // Only keys of the schema go out: overrides left from an older model version are dropped.
    for (const SchemaParam &param : schema.params) {
        const auto it = model.constFind(param.key);
        if (it != model.constEnd())
            input.insert(param.key, param.encode(*it));
        else if (param.required && param.defaultValue)
            input.insert(param.key, param.encode(*param.defaultValue));
    }
    return input;
}

std::optional<double> AppStore::scaleFactor(const ParamValue &value)
{
    switch (value.kind()) {
    case ParamValue::Kind::string: {
        QString digits;
        for (const QChar c : value.stringValue())
            if (c.isDigit() || c == QLatin1Char('.'))
                digits += c;
        bool ok = false;
        const double number = digits.toDouble(&ok);
        return ok ? std::optional(number) : std::nullopt;
    }
    case ParamValue::Kind::number:
        return value.numberValue();
    case ParamValue::Kind::integer:
        return static_cast<double>(value.integerValue());
    case ParamValue::Kind::boolean:
        return std::nullopt;
    }
    return std::nullopt;
}

const QSet<QString> &AppStore::outputCountKeys()
{
    static const QSet<QString> keys{
        QStringLiteral("num_outputs"),      QStringLiteral("num_images"),
        QStringLiteral("number_of_images"), QStringLiteral("num_images_per_prompt"),
        QStringLiteral("max_images"),       QStringLiteral("image_count"),
        QStringLiteral("batch_size"),       QStringLiteral("samples")};
    return keys;
}

const QSet<QString> &AppStore::durationKeys()
{
    static const QSet<QString> keys{QStringLiteral("duration"), QStringLiteral("duration_seconds"),
                                    QStringLiteral("video_length"), QStringLiteral("length"),
                                    QStringLiteral("seconds")};
    return keys;
}
