#include "Models/ParamValue.h"

#include "Models/DecimalText.h"

#include <QJsonValue>
#include <QVariant>

#include <cmath>

namespace
{

const char *const storedKeys[] = {"string", "number", "integer", "bool"};

} // namespace

QString ParamValue::stringValue() const
{
    const auto *text = std::get_if<QString>(&m_value);
    return text ? *text : QString();
}

double ParamValue::numberValue() const
{
    const auto *value = std::get_if<double>(&m_value);
    return value ? *value : 0.0;
}

qint64 ParamValue::integerValue() const
{
    const auto *value = std::get_if<qint64>(&m_value);
    return value ? *value : 0;
}

bool ParamValue::boolValue() const
{
    const auto *value = std::get_if<bool>(&m_value);
    return value ? *value : false;
}

std::optional<double> ParamValue::doubleValue() const
{
    switch (kind()) {
    case Kind::string:
        return parseDecimal(stringValue());
    case Kind::number:
        return numberValue();
    case Kind::integer:
        return static_cast<double>(integerValue());
    case Kind::boolean:
        return std::nullopt;
    }
    Q_UNREACHABLE();
    return std::nullopt;
}

QString ParamValue::displayString() const
{
    switch (kind()) {
    case Kind::string:
        return stringValue();
    case Kind::number: {
        const double value = numberValue();
        if (std::isfinite(value) && value == std::trunc(value) &&
            value >= -9.223372036854775808e18 && value < 9.223372036854775808e18)
            return QString::number(static_cast<qint64>(value));
        return QString::asprintf("%.2f", value);
    }
    case Kind::integer:
        return QString::number(integerValue());
    case Kind::boolean:
        return boolValue() ? QStringLiteral("On") : QStringLiteral("Off");
    }
    Q_UNREACHABLE();
    return QString();
}

QJsonObject ParamValue::toStored() const
{
    QJsonValue payload;
    switch (kind()) {
    case Kind::string:
        payload = stringValue();
        break;
    case Kind::number:
        payload = numberValue();
        break;
    case Kind::integer:
        payload = integerValue();
        break;
    case Kind::boolean:
        payload = boolValue();
        break;
    }
    const QString key = QString::fromLatin1(storedKeys[static_cast<int>(kind())]);
    return QJsonObject{{key, QJsonObject{{QStringLiteral("_0"), payload}}}};
}

std::optional<double> ParamValue::scaleFactor() const
{
    switch (kind()) {
    case Kind::string: {
        QString digits;
        for (const QChar c : stringValue())
            if (c.isDigit() || c == QLatin1Char('.'))
                digits += c;
        bool ok = false;
        const double number = digits.toDouble(&ok);
        return ok ? std::optional(number) : std::nullopt;
    }
    case Kind::number:
        return numberValue();
    case Kind::integer:
        return static_cast<double>(integerValue());
    case Kind::boolean:
        return std::nullopt;
    }
    return std::nullopt;
}

ParamValue ParamValue::fromStored(const QJsonObject &object)
{
    if (object.size() != 1)
        throw ParamValueDecodeError("Invalid number of keys found, expected one.");
    const QString key = object.begin().key();
    const QJsonValue wrapper = object.begin().value();
    if (!wrapper.isObject() || !wrapper.toObject().contains(QStringLiteral("_0")))
        throw ParamValueDecodeError("No value associated with key \"_0\".");
    const QJsonValue payload = wrapper.toObject().value(QStringLiteral("_0"));

    if (key == QLatin1String("string")) {
        if (!payload.isString())
            throw ParamValueDecodeError("Expected to decode String but found another type.");
        return string(payload.toString());
    }
    if (key == QLatin1String("number")) {
        if (!payload.isDouble())
            throw ParamValueDecodeError("Expected to decode Double but found another type.");
        return number(payload.toDouble());
    }
    if (key == QLatin1String("integer")) {
        // Accept only numbers that are exactly a 64-bit integer: 2.5 or 1e20 would change value.
        if (payload.isDouble() && payload.toVariant().typeId() == QMetaType::LongLong)
            return integer(payload.toInteger());
        const double value = payload.toDouble();
        if (!payload.isDouble() || value != std::trunc(value) || value < -9.223372036854775808e18 ||
            value >= 9.223372036854775808e18)
            throw ParamValueDecodeError("Expected to decode Int64 but found another type.");
        return integer(static_cast<qint64>(value));
    }
    if (key == QLatin1String("bool")) {
        if (!payload.isBool())
            throw ParamValueDecodeError("Expected to decode Bool but found another type.");
        return boolean(payload.toBool());
    }
    throw ParamValueDecodeError("Unknown case key in a stored parameter value.");
}
