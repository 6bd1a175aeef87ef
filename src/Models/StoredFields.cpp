#include "Models/StoredFields.h"

#include <QJsonDocument>
#include <QVariant>

#include <cmath>
#include <string>

namespace StoredFields
{

namespace
{

[[noreturn]] void fail(const char *key, const char *expected)
{
    throw StoredDecodeError(std::string("Key \"") + key + "\": expected " + expected + ".");
}

bool isAbsent(const QJsonValue &value)
{
    return value.isUndefined() || value.isNull();
}

} // namespace

QJsonValue parse(const QByteArray &bytes)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError)
        throw StoredDecodeError("The data is not valid JSON: " + error.errorString().toStdString());
    if (document.isArray())
        return document.array();
    return document.object();
}

QJsonObject object(const QJsonValue &value, const char *what)
{
    if (!value.isObject())
        fail(what, "an object");
    return value.toObject();
}

QJsonArray array(const QJsonValue &value, const char *what)
{
    if (!value.isArray())
        fail(what, "an array");
    return value.toArray();
}

QJsonValue required(const QJsonObject &object, const char *key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (isAbsent(value))
        fail(key, "a value");
    return value;
}

QString string(const QJsonObject &object, const char *key)
{
    const QJsonValue value = required(object, key);
    if (!value.isString())
        fail(key, "a string");
    return value.toString();
}

std::optional<QString> optionalString(const QJsonObject &object, const char *key)
{
    if (isAbsent(object.value(QLatin1String(key))))
        return std::nullopt;
    return string(object, key);
}

bool boolean(const QJsonObject &object, const char *key)
{
    const QJsonValue value = required(object, key);
    if (!value.isBool())
        fail(key, "true or false");
    return value.toBool();
}

std::optional<bool> optionalBoolean(const QJsonObject &object, const char *key)
{
    if (isAbsent(object.value(QLatin1String(key))))
        return std::nullopt;
    return boolean(object, key);
}

double number(const QJsonValue &value, const char *key)
{
    if (!value.isDouble())
        fail(key, "a number");
    return value.toDouble();
}

double number(const QJsonObject &object, const char *key)
{
    return number(required(object, key), key);
}

std::optional<double> optionalNumber(const QJsonObject &object, const char *key)
{
    if (isAbsent(object.value(QLatin1String(key))))
        return std::nullopt;
    return number(object, key);
}

qint64 integer(const QJsonObject &object, const char *key)
{
    const QJsonValue value = required(object, key);
    if (value.isDouble() && value.toVariant().typeId() == QMetaType::LongLong)
        return value.toInteger();
    const double whole = number(value, key);
    if (whole != std::trunc(whole) || whole < -9.223372036854775808e18 ||
        whole >= 9.223372036854775808e18)
        fail(key, "a whole number");
    return static_cast<qint64>(whole);
}

QStringList strings(const QJsonObject &object, const char *key)
{
    QStringList list;
    for (const QJsonValue &element : array(required(object, key), key)) {
        if (!element.isString())
            fail(key, "an array of strings");
        list.append(element.toString());
    }
    return list;
}

QString urlText(const QUrl &url)
{
    if (!url.isLocalFile())
        return url.toString(QUrl::FullyEncoded);
    const QByteArray path =
        QUrl::toPercentEncoding(url.toLocalFile(), QByteArrayLiteral("/!$&'()*+,;=:@"));
    return QStringLiteral("file://") + QString::fromLatin1(path);
}

QUrl url(const QJsonValue &value, const char *key)
{
    if (!value.isString())
        fail(key, "a URL string");
    const QUrl parsed(value.toString());
    if (value.toString().isEmpty() || !parsed.isValid())
        fail(key, "a valid URL");
    return parsed;
}

QUrl url(const QJsonObject &object, const char *key)
{
    return url(required(object, key), key);
}

std::optional<QUrl> optionalUrl(const QJsonObject &object, const char *key)
{
    if (isAbsent(object.value(QLatin1String(key))))
        return std::nullopt;
    return url(object, key);
}

Mode mode(const QJsonObject &object, const char *key)
{
    const std::optional<Mode> mode = Modes::fromKey(string(object, key));
    if (!mode)
        throw StoredDecodeError("Key \"" + std::string(key) + "\": unknown mode.");
    return *mode;
}

} // namespace StoredFields
