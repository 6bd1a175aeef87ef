#include "Models/StoredJson.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QLocale>
#include <QVariant>

#include <cmath>

StoredJson StoredJson::object()
{
    StoredJson json;
    json.m_value = Object{};
    return json;
}

StoredJson StoredJson::array()
{
    StoredJson json;
    json.m_value = Array{};
    return json;
}

StoredJson StoredJson::fromJson(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::Bool:
        return StoredJson(value.toBool());
    case QJsonValue::Double: {
        // Integers stay integers: a 64-bit value read back must not pass through a double.
        const QVariant variant = value.toVariant();
        if (variant.typeId() == QMetaType::LongLong)
            return StoredJson(value.toInteger());
        return StoredJson(value.toDouble());
    }
    case QJsonValue::String:
        return StoredJson(value.toString());
    case QJsonValue::Array: {
        StoredJson json = array();
        for (const QJsonValue &element : value.toArray())
            json.append(fromJson(element));
        return json;
    }
    case QJsonValue::Object: {
        StoredJson json = object();
        const QJsonObject source = value.toObject();
        for (auto it = source.begin(); it != source.end(); ++it)
            json.insert(it.key(), fromJson(it.value()));
        return json;
    }
    case QJsonValue::Null:
    case QJsonValue::Undefined:
        break;
    }
    return StoredJson();
}

StoredJson &StoredJson::insert(const QString &key, StoredJson value)
{
    if (auto *object = std::get_if<Object>(&m_value))
        object->members.emplace_back(key, std::move(value));
    return *this;
}

StoredJson &StoredJson::append(StoredJson value)
{
    if (auto *array = std::get_if<Array>(&m_value))
        array->elements.push_back(std::move(value));
    return *this;
}

std::optional<QByteArray> StoredJson::toBytes() const
{
    QByteArray out;
    if (!write(out))
        return std::nullopt;
    return out;
}

bool StoredJson::write(QByteArray &out) const
{
    if (std::holds_alternative<std::monostate>(m_value)) {
        out += "null";
    } else if (const auto *flag = std::get_if<bool>(&m_value)) {
        out += *flag ? "true" : "false";
    } else if (const auto *integer = std::get_if<qint64>(&m_value)) {
        out += QByteArray::number(*integer);
    } else if (const auto *number = std::get_if<double>(&m_value)) {
        if (!std::isfinite(*number))
            return false;
        // Whole numbers print without a fraction ("2048", not "2048.0"), up to 2^53 where a
        // double still counts every integer; beyond that the shortest round-trip form.
        if (*number == std::trunc(*number) && std::abs(*number) < 9007199254740992.0)
            out += QByteArray::number(static_cast<qint64>(*number));
        else
            out += QByteArray::number(*number, 'g', QLocale::FloatingPointShortest);
    } else if (const auto *text = std::get_if<QString>(&m_value)) {
        writeString(out, *text);
    } else if (const auto *array = std::get_if<Array>(&m_value)) {
        out += '[';
        for (size_t i = 0; i < array->elements.size(); ++i) {
            if (i > 0)
                out += ',';
            if (!array->elements[i].write(out))
                return false;
        }
        out += ']';
    } else if (const auto *object = std::get_if<Object>(&m_value)) {
        out += '{';
        for (size_t i = 0; i < object->members.size(); ++i) {
            if (i > 0)
                out += ',';
            writeString(out, object->members[i].first);
            out += ':';
            if (!object->members[i].second.write(out))
                return false;
        }
        out += '}';
    }
    return true;
}

void StoredJson::writeString(QByteArray &out, const QString &text)
{
    out += '"';
    const QByteArray utf8 = text.toUtf8();
    for (const char ch : utf8) {
        switch (ch) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '/':
            out += "\\/";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(ch) < 0x20)
                out +=
                    "\\u00" +
                    QByteArray::number(static_cast<unsigned char>(ch), 16).rightJustified(2, '0');
            else
                out += ch;
        }
    }
    out += '"';
}
