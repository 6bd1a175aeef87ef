#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QTcpServer>
#include <QUrl>

#include <functional>

class QTcpSocket;

// A loopback HTTP/1.1 server that answers each request with the next scripted response and
// records every request it read, for tests that need exact control of statuses and headers.
class ScriptedHttpServer : public QObject
{
    Q_OBJECT

public:
    struct Request {
        QByteArray method;
        QByteArray target; // path and query as sent
        QList<std::pair<QByteArray, QByteArray>> headers;
        QByteArray body;

        // The first header of that name (case-insensitive), or a null array.
        QByteArray header(const QByteArray &name) const;
        bool hasHeader(const QByteArray &name) const;
    };
    struct Response {
        int status = 200;
        QList<std::pair<QByteArray, QByteArray>> headers;
        QByteArray body;
        // Never answer: the client has to give up (abort or time out).
        bool hold = false;

        static Response json(int status, const QByteArray &body);
    };

    explicit ScriptedHttpServer(QObject *parent = nullptr);
    ~ScriptedHttpServer() override;

    // "http://127.0.0.1:<port>" plus `path`.
    QUrl url(const QString &path = QString()) const;

    // Answers taken in order; when none is left, `fallback` decides (404 without one).
    void enqueue(const Response &response);
    void setFallback(std::function<Response(const Request &)> fallback);

    const QList<Request> &requests() const { return m_requests; }

Q_SIGNALS:
    void requestReceived();

private:
    void readFrom(QTcpSocket *socket);
    void answer(QTcpSocket *socket, const Request &request);

    QTcpServer m_server;
    QHash<QTcpSocket *, QByteArray> m_buffers;
    QList<Response> m_script;
    std::function<Response(const Request &)> m_fallback;
    QList<Request> m_requests;
};
