#include "http/HttpServer.h"

#include <QCryptographicHash>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

namespace
{

struct ParsedResponse {
    int status = 0;
    QByteArray head;
    QByteArray body;
};

// Reads whole responses off a socket as they arrive; the server runs in this thread, so every
// wait spins the event loop instead of blocking.
class Client
{
public:
    explicit Client(quint16 port) { m_socket.connectToHost(QHostAddress::LocalHost, port); }

    void write(const QByteArray &bytes) { m_socket.write(bytes); }
    QTcpSocket &socket() { return m_socket; }

    bool waitFor(int count, int timeoutMs = 10000)
    {
        return QTest::qWaitFor(
            [&] {
                m_buffer += m_socket.readAll();
                while (takeOne()) {
                }
                return m_responses.size() >= count;
            },
            timeoutMs);
    }
    bool waitForClose(int timeoutMs = 5000)
    {
        return QTest::qWaitFor(
            [&] {
                m_buffer += m_socket.readAll();
                return m_socket.state() == QAbstractSocket::UnconnectedState;
            },
            timeoutMs);
    }
    QList<ParsedResponse> responses() const { return m_responses; }

private:
    bool takeOne()
    {
        const qsizetype end = m_buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return false;
        ParsedResponse response;
        response.head = m_buffer.left(end);
        response.status = response.head.mid(9, 3).toInt();
        if (response.status == 100) {
            m_buffer.remove(0, end + 4);
            m_continues += 1;
            return true;
        }
        qsizetype length = 0;
        for (const QByteArray &line : response.head.split('\n')) {
            if (line.toLower().startsWith("content-length:"))
                length = line.mid(15).trimmed().toLongLong();
        }
        if (response.head.contains("HEAD-REQUEST"))
            length = 0;
        if (m_buffer.size() < end + 4 + length)
            return false;
        response.body = m_buffer.mid(end + 4, length);
        m_buffer.remove(0, end + 4 + length);
        m_responses.append(response);
        return true;
    }

    QTcpSocket m_socket;
    QByteArray m_buffer;
    QList<ParsedResponse> m_responses;

public:
    int m_continues = 0;
};

QByteArray get(const QByteArray &path, const QByteArray &extra = {})
{
    return "GET " + path + " HTTP/1.1\r\nHost: test\r\n" + extra + "\r\n";
}

QByteArray post(const QByteArray &path, const QByteArray &body)
{
    return "POST " + path +
           " HTTP/1.1\r\nHost: test\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\n\r\n" + body;
}

} // namespace

// The server and its connections, driven over real loopback sockets.
class TestHttpServer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void keepsConnectionsAlive();
    void closesWhenAsked_data();
    void closesWhenAsked();
    void answersPipelinedRequestsInOrder();
    void assemblesRequestsSplitAcrossWrites();
    void answersMalformedRequestsAndCloses_data();
    void answersMalformedRequestsAndCloses();
    void takesLargeUploads_data();
    void takesLargeUploads();
    void sendsContinue();
    void servesManyConnectionsAtOnce();
    void headHasNoBody();
    void survivesClientsThatLeaveEarly();
    void dropsAndTruncatesOnRequest();

private:
    std::unique_ptr<HttpServer> m_server;
    int m_handled = 0;
};

void TestHttpServer::init()
{
    m_handled = 0;
    m_server = std::make_unique<HttpServer>([this](const HttpRequest &request,
                                                   std::shared_ptr<HttpReply> reply) {
        ++m_handled;
        HttpResponse response = HttpResponse::bytes(
            200, "text/plain",
            request.method + ' ' + request.path.toUtf8() + ' ' +
                QByteArray::number(request.body.size()) + ' ' +
                QCryptographicHash::hash(request.body, QCryptographicHash::Md5).toHex());
        if (request.method == "HEAD")
            response.setHeader("X-Marker", "HEAD-REQUEST");
        if (request.path == QLatin1String("/slow")) {
            QTimer::singleShot(150, [reply, response] { reply->send(response); });
            return;
        }
        if (request.path == QLatin1String("/drop")) {
            reply->drop();
            return;
        }
        if (request.path == QLatin1String("/truncate")) {
            reply->sendTruncated(HttpResponse::bytes(200, "text/plain", QByteArray(100, 'x')), 10);
            return;
        }
        reply->send(response);
    });
    QVERIFY(m_server->listen(QHostAddress::LocalHost, 0));
}

void TestHttpServer::cleanup()
{
    m_server.reset();
}

void TestHttpServer::keepsConnectionsAlive()
{
    Client client(m_server->port());
    client.write(get("/one"));
    QVERIFY(client.waitFor(1));
    client.write(post("/two", "hello"));
    QVERIFY(client.waitFor(2));
    QCOMPARE(client.socket().state(), QAbstractSocket::ConnectedState);
    const auto responses = client.responses();
    QVERIFY(responses.at(0).head.contains("Connection: keep-alive"));
    QVERIFY(responses.at(0).body.startsWith("GET /one 0 "));
    QVERIFY(responses.at(1).body.startsWith("POST /two 5 "));
}

void TestHttpServer::closesWhenAsked_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::newRow("1.1 close") << get("/", "Connection: close\r\n");
    QTest::newRow("1.0") << QByteArray("GET / HTTP/1.0\r\n\r\n");
}

void TestHttpServer::closesWhenAsked()
{
    QFETCH(QByteArray, request);
    Client client(m_server->port());
    client.write(request);
    QVERIFY(client.waitFor(1));
    QVERIFY(client.responses().at(0).head.contains("Connection: close"));
    QVERIFY(client.waitForClose());
}

void TestHttpServer::answersPipelinedRequestsInOrder()
{
    Client client(m_server->port());
    client.write(get("/slow") + post("/fast", "abc") + get("/last"));
    QVERIFY(client.waitFor(3));
    const auto responses = client.responses();
    QVERIFY(responses.at(0).body.startsWith("GET /slow"));
    QVERIFY(responses.at(1).body.startsWith("POST /fast 3"));
    QVERIFY(responses.at(2).body.startsWith("GET /last"));
}

void TestHttpServer::assemblesRequestsSplitAcrossWrites()
{
    Client client(m_server->port());
    const QByteArray request = post("/split", "0123456789");
    QTRY_COMPARE(client.socket().state(), QAbstractSocket::ConnectedState);
    for (char byte : request) {
        client.write(QByteArray(1, byte));
        client.socket().flush();
        QTest::qWait(1);
    }
    QVERIFY(client.waitFor(1));
    QVERIFY(client.responses().at(0).body.startsWith("POST /split 10 "));
    QCOMPARE(m_handled, 1);
}

void TestHttpServer::answersMalformedRequestsAndCloses_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("status");
    QTest::newRow("garbage") << QByteArray("\x16\x03\x01 hello\r\n\r\n") << 400;
    QTest::newRow("bad length") << QByteArray("POST / HTTP/1.1\r\nHost: t\r\nContent-Length: "
                                              "x\r\n\r\n")
                                << 400;
    QTest::newRow("version") << QByteArray("GET / HTTP/3\r\nHost: t\r\n\r\n") << 505;
    QTest::newRow("encoding") << QByteArray("POST / HTTP/1.1\r\nHost: t\r\nTransfer-Encoding: "
                                            "br\r\n\r\n")
                              << 501;
}

void TestHttpServer::answersMalformedRequestsAndCloses()
{
    QFETCH(QByteArray, request);
    QFETCH(int, status);
    Client client(m_server->port());
    client.write(request + get("/never"));
    QVERIFY(client.waitFor(1));
    QCOMPARE(client.responses().at(0).status, status);
    QVERIFY(client.responses().at(0).body.contains("detail"));
    QVERIFY(client.waitForClose());
    QCOMPARE(client.responses().size(), 1);
    QCOMPARE(m_handled, 0);
}

void TestHttpServer::takesLargeUploads_data()
{
    QTest::addColumn<bool>("chunked");
    QTest::newRow("content-length") << false;
    QTest::newRow("chunked") << true;
}

void TestHttpServer::takesLargeUploads()
{
    QFETCH(bool, chunked);
    QByteArray body(32 * 1024 * 1024, Qt::Uninitialized);
    for (qsizetype i = 0; i < body.size(); ++i)
        body[i] = char((i * 131) % 251);
    Client client(m_server->port());
    if (chunked) {
        client.write("POST /upload HTTP/1.1\r\nHost: t\r\nTransfer-Encoding: chunked\r\n\r\n");
        for (qsizetype at = 0; at < body.size(); at += 1000003) {
            const QByteArray piece = body.mid(at, 1000003);
            client.write(QByteArray::number(piece.size(), 16) + "\r\n" + piece + "\r\n");
        }
        client.write("0\r\n\r\n");
    } else {
        client.write(post("/upload", body));
    }
    QVERIFY(client.waitFor(1, 60000));
    const QByteArray expected = "POST /upload " + QByteArray::number(body.size()) + ' ' +
                                QCryptographicHash::hash(body, QCryptographicHash::Md5).toHex();
    QCOMPARE(client.responses().at(0).body, expected);
}

void TestHttpServer::sendsContinue()
{
    Client client(m_server->port());
    client.write(
        "POST /c HTTP/1.1\r\nHost: t\r\nExpect: 100-continue\r\nContent-Length: 3\r\n\r\n");
    QVERIFY(QTest::qWaitFor([&] {
        client.waitFor(0, 10);
        return client.m_continues == 1;
    }));
    client.write("abc");
    QVERIFY(client.waitFor(1));
    QVERIFY(client.responses().at(0).body.startsWith("POST /c 3 "));
}

void TestHttpServer::servesManyConnectionsAtOnce()
{
    std::vector<std::unique_ptr<Client>> clients;
    for (int i = 0; i < 150; ++i) {
        clients.push_back(std::make_unique<Client>(m_server->port()));
        clients.back()->write(get("/slow") + post("/n", QByteArray::number(i)));
    }
    for (int i = 0; i < 150; ++i) {
        QVERIFY(clients.at(i)->waitFor(2));
        QVERIFY(clients.at(i)->responses().at(1).body.startsWith(
            QByteArray(QByteArray("POST /n ") + QByteArray::number(QByteArray::number(i).size()))));
    }
    QCOMPARE(m_handled, 300);
}

void TestHttpServer::headHasNoBody()
{
    Client client(m_server->port());
    client.write("HEAD /h HTTP/1.1\r\nHost: t\r\n\r\n" + get("/after"));
    QVERIFY(client.waitFor(2));
    QVERIFY(client.responses().at(0).body.isEmpty());
    QVERIFY(client.responses().at(1).body.startsWith("GET /after"));
}

void TestHttpServer::survivesClientsThatLeaveEarly()
{
    {
        Client client(m_server->port());
        client.write(get("/slow"));
        QVERIFY(QTest::qWaitFor([&] { return m_handled == 1; }));
        client.socket().abort();
    }
    QTest::qWait(300);
    Client again(m_server->port());
    again.write(get("/ok"));
    QVERIFY(again.waitFor(1));
    QCOMPARE(again.responses().at(0).status, 200);
}

void TestHttpServer::dropsAndTruncatesOnRequest()
{
    Client dropped(m_server->port());
    dropped.write(get("/drop"));
    QVERIFY(dropped.waitForClose());
    QVERIFY(dropped.responses().isEmpty());

    Client truncated(m_server->port());
    truncated.write(get("/truncate"));
    QVERIFY(truncated.waitForClose());
    QVERIFY(truncated.responses().isEmpty());
}

QTEST_GUILESS_MAIN(TestHttpServer)
#include "tst_httpserver.moc"
