#include "HttpServer.h"

#include <QTcpServer>
#include <QTcpSocket>

HttpServer::HttpServer(HttpHandler handler, QObject *parent)
    : QObject(parent), m_server(new QTcpServer(this)), m_handler(std::move(handler))
{
    m_server->setMaxPendingConnections(1024);
    connect(m_server, &QTcpServer::newConnection, this, &HttpServer::onNewConnection);
}

bool HttpServer::listen(const QHostAddress &address, quint16 port)
{
    return m_server->listen(address, port);
}

quint16 HttpServer::port() const
{
    return m_server->serverPort();
}

QString HttpServer::errorString() const
{
    return m_server->errorString();
}

void HttpServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        new HttpConnection(socket, m_handler, this);
    }
}
