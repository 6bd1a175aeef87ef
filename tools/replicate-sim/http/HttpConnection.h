#pragma once

#include "HttpRequest.h"
#include "HttpRequestParser.h"
#include "HttpResponse.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

class QTcpSocket;
class HttpConnection;

// The answering end of one request. Handlers may keep it and answer later; answering a request
// whose connection has gone does nothing.
class HttpReply
{
public:
    explicit HttpReply(HttpConnection *connection) : m_connection(connection) {}

    void send(const HttpResponse &response);
    // Closes the connection without answering.
    void drop();
    // Sends the head and the first `bodyBytes` of the body, then closes the connection.
    void sendTruncated(const HttpResponse &response, qsizetype bodyBytes);
    bool answered() const { return m_answered; }
    bool connected() const;

private:
    QPointer<HttpConnection> m_connection;
    bool m_answered = false;
};

using HttpHandler = std::function<void(const HttpRequest &, std::shared_ptr<HttpReply>)>;

// One client connection: parses requests in order and answers them one at a time (pipelined
// requests wait until the one before is answered).
class HttpConnection : public QObject
{
    Q_OBJECT
public:
    HttpConnection(QTcpSocket *socket, HttpHandler handler, QObject *parent = nullptr);

private:
    friend class HttpReply;
    void onReadyRead();
    void processBuffered();
    void finish(const QByteArray &bytes, bool keepAlive);
    void abort();

    QTcpSocket *m_socket;
    HttpHandler m_handler;
    HttpRequestParser m_parser;
    bool m_busy = false;
    bool m_currentKeepAlive = true;
    bool m_currentHead = false;
    bool m_closing = false;
};
