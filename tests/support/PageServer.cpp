#include "PageServer.h"

#include <QTcpSocket>

PageServer::PageServer(QObject *parent) : QObject(parent)
{
    m_server.listen(QHostAddress::LocalHost);
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
            connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
                m_buffers.remove(socket);
                if (m_stalled.remove(socket))
                    ++m_abandoned;
                socket->deleteLater();
            });
        }
    });
}

PageServer::~PageServer()
{
    // Sockets still open go with the listening server, after the bookkeeping they report to.
    for (QTcpSocket *socket : m_server.findChildren<QTcpSocket *>())
        socket->disconnect(this);
}

QUrl PageServer::baseUrl() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort()));
}

void PageServer::serve(QTcpSocket *socket)
{
    QByteArray &buffer = m_buffers[socket];
    buffer += socket->readAll();
    const qsizetype end = buffer.indexOf("\r\n\r\n");
    if (end < 0)
        return;
    // GET requests only: the head is the whole request.
    const QByteArray head = buffer.left(end);
    buffer.clear();
    const QList<QByteArray> requestLine = head.left(head.indexOf("\r\n")).split(' ');
    const QByteArray path = requestLine.value(1);
    m_requests.append({path, head.mid(head.indexOf("\r\n") + 2)});

    const auto page = m_pages.constFind(path);
    if (page != m_pages.constEnd() && page->stall) {
        m_stalled.insert(socket);
        return;
    }
    const int status = page != m_pages.constEnd() ? page->status : 404;
    const QByteArray body = page != m_pages.constEnd() ? page->body : QByteArray("not found");
    QByteArray response = "HTTP/1.1 " + QByteArray::number(status) + " Status\r\n";
    response += "Content-Type: text/html; charset=utf-8\r\n";
    response += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    response += "Connection: close\r\n\r\n";
    response += body;
    socket->write(response);
    socket->disconnectFromHost();
}
