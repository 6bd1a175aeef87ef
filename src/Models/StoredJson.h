#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QString>

#include <optional>
#include <utility>
#include <variant>
#include <vector>

// A JSON value written the way the stored documents have always been written: object keys in
// the order they were inserted, compact, "/" escaped as "\/". QJsonDocument sorts keys, which
// would change the bytes of every document we rewrite.
class StoredJson
{
public:
    StoredJson() = default; // null
    StoredJson(bool value) : m_value(value) {}
    StoredJson(qint64 value) : m_value(value) {}
    StoredJson(double value) : m_value(value) {}
    StoredJson(const QString &value) : m_value(value) {}

    static StoredJson object();
    static StoredJson array();
    // Scalars, arrays and objects of a QJsonValue; object keys keep QJsonObject's order.
    static StoredJson fromJson(const QJsonValue &value);

    // Both return *this so that records read as one chain of fields.
    StoredJson &insert(const QString &key, StoredJson value);
    StoredJson &append(StoredJson value);

    // The compact text; none when a number is not finite (JSON cannot hold it).
    std::optional<QByteArray> toBytes() const;

private:
    using Members = std::vector<std::pair<QString, StoredJson>>;
    using Elements = std::vector<StoredJson>;
    struct Object {
        Members members;
    };
    struct Array {
        Elements elements;
    };

    bool write(QByteArray &out) const;
    static void writeString(QByteArray &out, const QString &text);

    std::variant<std::monostate, bool, qint64, double, QString, Array, Object> m_value;
};
