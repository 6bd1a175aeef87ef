#pragma once

#include "Models/ModelSchema.h"

#include <QString>

#include <optional>

// What is known of one model's input schema.
class SchemaState
{
public:
    enum class Kind { ready, failed, idle, loading };

    SchemaState() = default;
    static SchemaState ready(const ModelSchema &schema)
    {
        return SchemaState(Kind::ready, schema, {});
    }
    static SchemaState failed(const QString &message)
    {
        return SchemaState(Kind::failed, {}, message);
    }
    static SchemaState idle() { return SchemaState(); }
    static SchemaState loading() { return SchemaState(Kind::loading, {}, {}); }

    Kind kind() const { return m_kind; }
    bool isReady() const { return m_kind == Kind::ready; }
    // The schema of a ready state.
    const std::optional<ModelSchema> &schema() const { return m_schema; }
    // The message of a failed state.
    QString message() const { return m_message; }

    friend bool operator==(const SchemaState &, const SchemaState &) = default;

private:
    SchemaState(Kind kind, std::optional<ModelSchema> schema, QString message)
        : m_kind(kind), m_schema(std::move(schema)), m_message(std::move(message))
    {
    }

    Kind m_kind = Kind::idle;
    std::optional<ModelSchema> m_schema;
    QString m_message;
};
