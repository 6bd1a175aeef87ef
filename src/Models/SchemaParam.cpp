#include "Models/ModelSchema.h"

#include "Models/DecimalText.h"

#include <QHashFunctions>

#include <cmath>

namespace
{

// A whole number goes out as a JSON integer while it fits in 64 bits; beyond that it stays a
// double rather than wrap or saturate.
QJsonValue integralOrNumber(double value)
{
    if (std::isfinite(value) && value == std::trunc(value) && value >= -9.223372036854775808e18 &&
        value < 9.223372036854775808e18)
        return QJsonValue(static_cast<qint64>(value));
    return QJsonValue(value);
}

} // namespace

QJsonValue SchemaParam::encode(const ParamValue &value) const
{
    if (kind.type == Kind::Type::choice && kind.boolean)
        return encodeBooleanChoice(value);
    if (kind.type == Kind::Type::choice && !kind.numeric)
        return encodeStringChoice(value);
    const bool numericChoice = kind.type == Kind::Type::choice;
    switch (value.kind()) {
    case ParamValue::Kind::string: {
        const QString text = value.stringValue();
        if (!numericChoice)
            return text;
        // Exact for every integer that fits in 64 bits, not only for those a double holds.
        if (const auto integer = parseDecimalInteger(text))
            return QJsonValue(*integer);
        const auto number = parseDecimal(text);
        if (!number)
            return text;
        if (!std::isfinite(*number) ||
            (*number == std::trunc(*number) && std::fabs(*number) >= 9.223372036854775808e18)) {
            // An integer beyond 64 bits (or an overflow) cannot be sent exactly: keep the
            // user's own text rather than a rounded number.
            return text;
        }
        return integralOrNumber(*number);
    }
    case ParamValue::Kind::number:
        return numericChoice ? integralOrNumber(value.numberValue())
                             : QJsonValue(value.numberValue());
    case ParamValue::Kind::integer:
        return QJsonValue(value.integerValue());
    case ParamValue::Kind::boolean:
        return value.boolValue();
    }
    Q_UNREACHABLE();
    return QJsonValue();
}

QJsonValue SchemaParam::encodeStringChoice(const ParamValue &value)
{
    // A value stored as a number still names its option: it goes out as that option's text.
    switch (value.kind()) {
    case ParamValue::Kind::string:
        return value.stringValue();
    case ParamValue::Kind::number:
        return ModelSchema::asString(QJsonValue(value.numberValue())).value_or(QString());
    case ParamValue::Kind::integer:
        return QString::number(value.integerValue());
    case ParamValue::Kind::boolean:
        return value.boolValue() ? QStringLiteral("true") : QStringLiteral("false");
    }
    Q_UNREACHABLE();
    return QJsonValue();
}

QJsonValue SchemaParam::encodeBooleanChoice(const ParamValue &value)
{
    if (value.kind() == ParamValue::Kind::string) {
        const QString text = value.stringValue();
        if (text == QLatin1String("true") || text == QLatin1String("false"))
            return text == QLatin1String("true");
        return text;
    }
    if (value.kind() == ParamValue::Kind::boolean)
        return value.boolValue();
    return value.kind() == ParamValue::Kind::integer ? QJsonValue(value.integerValue())
                                                     : QJsonValue(value.numberValue());
}

size_t qHash(const SchemaParam &param, size_t seed)
{
    return qHashMulti(seed, param.key, param.title, param.order, param.required,
                      static_cast<int>(param.kind.type), param.kind.options);
}
