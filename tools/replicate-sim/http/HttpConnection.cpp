#include "HttpConnection.h"

#include <QTcpSocket>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

void HttpReply::send(const HttpResponse &response)
{
    if (m_answered)
        return;
    m_answered = true;
    if (!m_connection)
        return;
    m_connection->finish(
        response.serialize(m_connection->m_currentKeepAlive, m_connection->m_currentHead),
        m_connection->m_currentKeepAlive);
}

void HttpReply::drop()
{
    if (m_answered)
        return;
    m_answered = true;
    if (m_connection)
        m_connection->abort();
}

void HttpReply::sendTruncated(const HttpResponse &response, qsizetype bodyBytes)
{
    if (m_answered)
        return;
    m_answered = true;
    if (!m_connection)
        return;
    const QByteArray whole = response.serialize(false);
    const qsizetype headLength = whole.indexOf("\r\n\r\n") + 4;
    m_connection->finish(whole.left(headLength + qMax<qsizetype>(0, bodyBytes)), false);
}

bool HttpReply::connected() const
{
    return m_connection && !m_connection->m_closing &&
           m_connection->m_socket->state() == QAbstractSocket::ConnectedState;
}

HttpConnection::HttpConnection(QTcpSocket *socket, HttpHandler handler, QObject *parent)
    : QObject(parent), m_socket(socket), m_handler(std::move(handler))
{
    m_socket->setParent(this);
    connect(m_socket, &QTcpSocket::readyRead, this, &HttpConnection::onReadyRead);
    connect(m_socket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) {
        if (m_socket->state() == QAbstractSocket::UnconnectedState)
            deleteLater();
    });
}

void HttpConnection::onReadyRead()
{
    if (m_closing) {
        m_socket->readAll();
        return;
    }
    m_parser.append(m_socket->readAll());
#ifdef TCP_QUICKACK
    // Acknowledge at once (the kernel drops back to delayed acknowledgements after a while, so this
    // is set again on every read). A client that does not disable Nagle's algorithm, as Qt's HTTP
    // stack does not, would otherwise wait up to 40 ms on every request body it sends in pieces.
    const int on = 1;
    ::setsockopt(int(m_socket->socketDescriptor()), IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
#endif
    processBuffered();
}

void HttpConnection::processBuffered()
{
    while (!m_busy && !m_closing) {
        const HttpRequestParser::State state = m_parser.parse();
        if (state == HttpRequestParser::State::needMore) {
            if (m_parser.wantsContinue()) {
                m_socket->write("HTTP/1.1 100 Continue\r\n\r\n");
                m_parser.continueSent();
            }
            return;
        }
        if (state == HttpRequestParser::State::error) {
            HttpResponse response = HttpResponse::error(m_parser.errorStatus(),
                                                        QString::fromUtf8(m_parser.errorText()));
            m_busy = true;
            m_currentHead = false;
            finish(response.serialize(false), false);
            return;
        }
        HttpRequest request = m_parser.takeRequest();
        m_busy = true;
        m_currentKeepAlive = request.keepAlive;
        m_currentHead = request.method == "HEAD";
        m_handler(request, std::make_shared<HttpReply>(this));
    }
}

void HttpConnection::finish(const QByteArray &bytes, bool keepAlive)
{
    if (m_closing)
        return;
    m_socket->write(bytes);
    m_busy = false;
    if (!keepAlive) {
        m_closing = true;
        m_socket->disconnectFromHost();
        return;
    }
    // Answer whatever the client pipelined behind this request, but not from inside the caller.
    QMetaObject::invokeMethod(this, &HttpConnection::processBuffered, Qt::QueuedConnection);
}

void HttpConnection::abort()
{
    m_closing = true;
    m_socket->abort();
    deleteLater();
}
