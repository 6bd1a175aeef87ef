#include "HttpResponse.h"

#include <QJsonObject>

HttpResponse &HttpResponse::setHeader(const QByteArray &name, const QByteArray &value)
{
    for (auto &pair : headers) {
        if (pair.first.compare(name, Qt::CaseInsensitive) == 0) {
            pair.second = value;
            return *this;
        }
    }
    headers.append({name, value});
    return *this;
}

HttpResponse HttpResponse::json(int status, const QJsonDocument &document)
{
    return bytes(status, "application/json", document.toJson(QJsonDocument::Compact));
}

HttpResponse HttpResponse::bytes(int status, const QByteArray &contentType, const QByteArray &body)
{
    HttpResponse response;
    response.status = status;
    response.body = body;
    response.setHeader("Content-Type", contentType);
    return response;
}

HttpResponse HttpResponse::error(int status, const QString &detail)
{
    return json(status, QJsonDocument(QJsonObject{{QStringLiteral("detail"), detail},
                                                  {QStringLiteral("status"), status}}));
}

QByteArray HttpResponse::reasonPhrase(int status)
{
    switch (status) {
    case 100:
        return "Continue";
    case 200:
        return "OK";
    case 201:
        return "Created";
    case 204:
        return "No Content";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 402:
        return "Payment Required";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 409:
        return "Conflict";
    case 413:
        return "Content Too Large";
    case 422:
        return "Unprocessable Entity";
    case 429:
        return "Too Many Requests";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    case 501:
        return "Not Implemented";
    case 502:
        return "Bad Gateway";
    case 503:
        return "Service Unavailable";
    case 504:
        return "Gateway Timeout";
    case 505:
        return "HTTP Version Not Supported";
    default:
        return "Status";
    }
}

QByteArray HttpResponse::serialize(bool keepAlive, bool headRequest) const
{
    QByteArray out;
    out.reserve(body.size() + 256);
    out += "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status) + "\r\n";
    for (const auto &pair : headers) {
        if (pair.first.compare("Content-Length", Qt::CaseInsensitive) == 0 ||
            pair.first.compare("Connection", Qt::CaseInsensitive) == 0)
            continue;
        out += pair.first + ": " + pair.second + "\r\n";
    }
    out += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    out += keepAlive ? "Connection: keep-alive\r\n" : "Connection: close\r\n";
    out += "\r\n";
    if (!headRequest)
        out += body;
    return out;
}
