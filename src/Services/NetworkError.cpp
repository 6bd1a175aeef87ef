#include "Services/NetworkError.h"

NetworkError::NetworkError(QNetworkReply::NetworkError code, const QString &message)
    : m_code(code), m_message(message), m_utf8(message.toUtf8())
{
}

JsonParseFailure::JsonParseFailure(const QString &message)
    : m_message(message), m_utf8(message.toUtf8())
{
}
