#include "Models/ModelSchema.h"

SchemaParseError::SchemaParseError(Kind kind, QStringList names)
    : m_kind(kind), m_names(std::move(names)), m_utf8(message().toUtf8())
{
}

QString SchemaParseError::message() const
{
    switch (m_kind) {
    case Kind::missingSchema:
        return QStringLiteral("This model didn't publish an input schema.");
    case Kind::noImageInput:
        return QStringLiteral("This model doesn't take an image input.");
    case Kind::noPromptInput:
        if (m_names.isEmpty())
            return QStringLiteral("This model doesn't take a text prompt.");
        return QStringLiteral("This model takes text (") + m_names.join(QStringLiteral(", ")) +
               QStringLiteral("), but none of it is clearly the prompt, so Moonforge can't "
                              "send one.");
    case Kind::imageRequired:
        return QStringLiteral("This model needs a reference image, which this job has none of.");
    case Kind::secondFileRequired:
        return QStringLiteral("This model needs a second image (") + m_names.value(0) +
               QStringLiteral("), which Moonforge can't send yet.");
    }
    Q_UNREACHABLE();
    return QString();
}

const char *SchemaParseError::what() const noexcept
{
    return m_utf8.constData();
}
