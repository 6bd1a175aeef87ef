// The JSON value a parameter sends; kept apart from schema parsing so each can change alone.
#include "Models/ModelSchema.h"

#include <cmath>

namespace
{

QJsonValue integralOrNumber(double value)
{
    if (std::isfinite(value) && std::trunc(value) == value && std::fabs(value) < 9.0e15)
        return QJsonValue(static_cast<qint64>(value));
    return QJsonValue(value);
}

} // namespace

QJsonValue SchemaParam::encode(const ParamValue &value) const
{
    const bool numericChoice = kind.type == Kind::Type::choice && kind.numeric;
    switch (value.kind()) {
    case ParamValue::Kind::string:
        if (numericChoice) {
            bool ok = false;
            const double number = value.stringValue().toDouble(&ok);
            if (ok)
                return integralOrNumber(number);
        }
        return QJsonValue(value.stringValue());
    case ParamValue::Kind::number:
        return numericChoice ? integralOrNumber(value.numberValue())
                             : QJsonValue(value.numberValue());
    case ParamValue::Kind::integer:
        return QJsonValue(value.integerValue());
    case ParamValue::Kind::boolean:
        return QJsonValue(value.boolValue());
    }
    return QJsonValue();
}
