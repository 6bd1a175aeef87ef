#pragma once

#include "Models/Mode.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QStringList>
#include <QUrl>

#include <optional>
#include <stdexcept>

// A stored document that cannot be read as a whole: wrong layout, a missing required key or a
// value of the wrong type anywhere.
class StoredDecodeError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Strict readers for the fields of stored documents. A required key that is missing, null or of
// another type throws StoredDecodeError; an optional key that is missing or null reads as none.
namespace StoredFields
{

QJsonValue parse(const QByteArray &bytes);
QJsonObject object(const QJsonValue &value, const char *what);
QJsonArray array(const QJsonValue &value, const char *what);

QJsonValue required(const QJsonObject &object, const char *key);
QString string(const QJsonObject &object, const char *key);
std::optional<QString> optionalString(const QJsonObject &object, const char *key);
bool boolean(const QJsonObject &object, const char *key);
std::optional<bool> optionalBoolean(const QJsonObject &object, const char *key);
double number(const QJsonValue &value, const char *key);
double number(const QJsonObject &object, const char *key);
std::optional<double> optionalNumber(const QJsonObject &object, const char *key);
// Any number that is exactly a 64-bit integer, "12.0" included.
qint64 integer(const QJsonObject &object, const char *key);
QStringList strings(const QJsonObject &object, const char *key);

// URLs are stored as their absolute text; a file URL percent-escapes everything but the
// unreserved characters, "/" and the sub-delimiters, so "a b.png" reads "a%20b.png".
QString urlText(const QUrl &url);
QUrl url(const QJsonValue &value, const char *key);
QUrl url(const QJsonObject &object, const char *key);
std::optional<QUrl> optionalUrl(const QJsonObject &object, const char *key);
// A mode stored by its key; an unknown key throws.
Mode mode(const QJsonObject &object, const char *key);

} // namespace StoredFields
