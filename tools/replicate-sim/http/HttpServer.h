#pragma once

#include "HttpConnection.h"

#include <QHostAddress>
#include <QObject>

class QTcpServer;

// Accepts connections and hands every parsed request to one handler.
class HttpServer : public QObject
{
    Q_OBJECT
public:
    explicit HttpServer(HttpHandler handler, QObject *parent = nullptr);

    bool listen(const QHostAddress &address, quint16 port);
    quint16 port() const;
    QString errorString() const;

private:
    void onNewConnection();

    QTcpServer *m_server;
    HttpHandler m_handler;
};
