#pragma once

#include <QByteArray>
#include <QNetworkReply>
#include <QString>

#include <exception>

// A request that got no HTTP answer (no connection, a timeout, a refused redirect). The text is
// the network layer's own and reaches the user as it stands.
class NetworkError : public std::exception
{
public:
    NetworkError(QNetworkReply::NetworkError code, const QString &message);

    QNetworkReply::NetworkError code() const { return m_code; }
    QString message() const { return m_message; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QNetworkReply::NetworkError m_code;
    QString m_message;
    QByteArray m_utf8;
};

// A successful answer whose body is not JSON. The user reads a plain sentence; the parser's own
// text ("object is missing after a comma") means nothing to them and is kept for diagnostics.
class JsonParseFailure : public std::exception
{
public:
    explicit JsonParseFailure(const QString &parserText);

    static QString userText();
    QString message() const { return userText(); }
    QString parserText() const { return m_parserText; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_parserText;
    QByteArray m_utf8;
};
