#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QList>
#include <QPair>

// A whole response held in memory; the sim's bodies are small enough for that.
struct HttpResponse {
    int status = 200;
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;

    HttpResponse &setHeader(const QByteArray &name, const QByteArray &value);
    static HttpResponse json(int status, const QJsonDocument &document);
    static HttpResponse bytes(int status, const QByteArray &contentType, const QByteArray &body);
    // {"detail": ..., "status": ...}, the shape the service's errors carry.
    static HttpResponse error(int status, const QString &detail);

    // Status line, headers (with Content-Length and Connection added) and, unless this answers a
    // HEAD request, the body.
    QByteArray serialize(bool keepAlive, bool headRequest = false) const;
    static QByteArray reasonPhrase(int status);
};
