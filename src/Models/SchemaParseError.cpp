#include "Models/ModelSchema.h"

SchemaParseError::SchemaParseError(Kind kind) : m_kind(kind), m_utf8(message().toUtf8()) {}

QString SchemaParseError::message() const
{
    switch (m_kind) {
    case Kind::missingSchema:
        return QStringLiteral("This model didn't publish an input schema.");
    case Kind::noImageInput:
        return QStringLiteral("This model doesn't take an image input.");
    case Kind::noPromptInput:
        return QStringLiteral("This model doesn't take a text prompt.");
    case Kind::imageRequired:
        return QStringLiteral("This model needs a reference image, which this job has none of.");
    }
    Q_UNREACHABLE();
    return QString();
}

const char *SchemaParseError::what() const noexcept
{
    return m_utf8.constData();
}
