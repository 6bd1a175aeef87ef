#include "Services/NetworkError.h"

NetworkError::NetworkError(QNetworkReply::NetworkError code, const QString &message)
    : m_code(code), m_message(message), m_utf8(message.toUtf8())
{
}

JsonParseFailure::JsonParseFailure(const QString &parserText)
    : m_parserText(parserText), m_utf8(userText().toUtf8())
{
}

QString JsonParseFailure::userText()
{
    return QStringLiteral("Couldn't read Replicate's answer.");
}
