#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QTcpServer>
#include <QUrl>

// A loopback web server for page fixtures: each path answers a fixed status and body, every
// request is recorded (path and raw header block) so tests can see what was sent.
class PageServer : public QObject
{
    Q_OBJECT
public:
    struct Page {
        int status = 200;
        QByteArray body;
        // Read the request and never answer: a page that is still loading.
        bool stall = false;
    };
    struct Request {
        QByteArray path;
        QByteArray headers;
    };

    explicit PageServer(QObject *parent = nullptr);
    ~PageServer() override;

    QUrl baseUrl() const;
    void setPage(const QByteArray &path, const Page &page) { m_pages.insert(path, page); }
    const QList<Request> &requests() const { return m_requests; }
    // Connections the client closed before the server answered them.
    int abandonedConnections() const { return m_abandoned; }

private:
    void serve(QTcpSocket *socket);

    QTcpServer m_server;
    QMap<QByteArray, Page> m_pages;
    QList<Request> m_requests;
    QHash<QTcpSocket *, QByteArray> m_buffers;
    QSet<QTcpSocket *> m_stalled;
    int m_abandoned = 0;
};
