#include "http/HttpRequestParser.h"

#include <QTest>

using namespace Qt::StringLiterals;

// The request parser on its own: whole, split and malformed requests.
class TestHttpParser : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parsesRequestLineAndHeaders();
    void parsesBodies_data();
    void parsesBodies();
    void sameResultWhenSplitAnywhere_data();
    void sameResultWhenSplitAnywhere();
    void rejectsMalformed_data();
    void rejectsMalformed();
    void pipelinedRequestsComeOutInOrder();
    void asksForContinue();
    void largeBodyInPieces();
};

namespace
{

HttpRequest parseWhole(const QByteArray &bytes, HttpRequestParser::State *state = nullptr)
{
    HttpRequestParser parser;
    parser.append(bytes);
    const HttpRequestParser::State result = parser.parse();
    if (state)
        *state = result;
    return result == HttpRequestParser::State::ready ? parser.takeRequest() : HttpRequest{};
}

} // namespace

void TestHttpParser::parsesRequestLineAndHeaders()
{
    HttpRequestParser::State state;
    const HttpRequest request = parseWhole("QUERY /v1/models%2Fx?cursor=2&q=a%20b HTTP/1.1\r\n"
                                           "Host: example\r\n"
                                           "Authorization:   Bearer r8_abc  \r\n"
                                           "X-Empty:\r\n\r\n",
                                           &state);
    QCOMPARE(state, HttpRequestParser::State::ready);
    QCOMPARE(request.method, QByteArray("QUERY"));
    QCOMPARE(request.path, u"/v1/models/x"_s);
    QCOMPARE(request.query.queryItemValue(u"cursor"_s), u"2"_s);
    QCOMPARE(request.query.queryItemValue(u"q"_s, QUrl::FullyDecoded), u"a b"_s);
    QCOMPARE(request.header("authorization"), QByteArray("Bearer r8_abc"));
    QVERIFY(request.hasHeader("x-empty"));
    QCOMPARE(request.header("x-empty"), QByteArray());
    QCOMPARE(request.minorVersion, 1);
    QVERIFY(request.body.isEmpty());
}

void TestHttpParser::parsesBodies_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("keepAlive");
    QTest::newRow("content-length") << QByteArray("POST / HTTP/1.1\r\nHost: h\r\nContent-Length: "
                                                  "5\r\n\r\nhello")
                                    << QByteArray("hello") << true;
    QTest::newRow("zero length") << QByteArray("POST / HTTP/1.1\r\nHost: h\r\nContent-Length: "
                                               "0\r\n\r\n")
                                 << QByteArray() << true;
    QTest::newRow("chunked") << QByteArray("POST / HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: "
                                           "chunked\r\n\r\n5\r\nhello\r\n1;ext=1\r\n \r\n"
                                           "A\r\n0123456789\r\n0\r\n\r\n")
                             << QByteArray("hello 0123456789") << true;
    QTest::newRow("chunked with trailers")
        << QByteArray("POST / HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: Chunked\r\n\r\n"
                      "3\r\nabc\r\n0\r\nX-Trailer: 1\r\n\r\n")
        << QByteArray("abc") << true;
    QTest::newRow("binary") << QByteArray(
                                   "PUT / HTTP/1.1\r\nHost: h\r\nContent-Length: 4\r\n\r\n") +
                                   QByteArray("\0\r\n\xff", 4)
                            << QByteArray("\0\r\n\xff", 4) << true;
    QTest::newRow("duplicate equal lengths")
        << QByteArray("POST / HTTP/1.1\r\nHost: h\r\nContent-Length: 2\r\nContent-Length: "
                      "2\r\n\r\nok")
        << QByteArray("ok") << true;
    QTest::newRow("1.1 close") << QByteArray(
                                      "GET / HTTP/1.1\r\nHost: h\r\nConnection: Close\r\n\r\n")
                               << QByteArray() << false;
    QTest::newRow("1.0 default") << QByteArray("GET / HTTP/1.0\r\n\r\n") << QByteArray() << false;
    QTest::newRow("1.0 keep-alive")
        << QByteArray("GET / HTTP/1.0\r\nConnection: keep-alive\r\n\r\n") << QByteArray() << true;
}

void TestHttpParser::parsesBodies()
{
    QFETCH(QByteArray, raw);
    QFETCH(QByteArray, body);
    QFETCH(bool, keepAlive);
    HttpRequestParser::State state;
    const HttpRequest request = parseWhole(raw, &state);
    QCOMPARE(state, HttpRequestParser::State::ready);
    QCOMPARE(request.body, body);
    QCOMPARE(request.keepAlive, keepAlive);
}

void TestHttpParser::sameResultWhenSplitAnywhere_data()
{
    parsesBodies_data();
}

void TestHttpParser::sameResultWhenSplitAnywhere()
{
    QFETCH(QByteArray, raw);
    QFETCH(QByteArray, body);
    for (qsizetype cut = 1; cut < raw.size(); ++cut) {
        HttpRequestParser parser;
        parser.append(raw.left(cut));
        HttpRequestParser::State state = parser.parse();
        if (state == HttpRequestParser::State::needMore) {
            parser.append(raw.mid(cut));
            state = parser.parse();
        }
        QVERIFY2(state == HttpRequestParser::State::ready, qPrintable(QString::number(cut)));
        QCOMPARE(parser.takeRequest().body, body);
    }
    // And one byte at a time.
    HttpRequestParser parser;
    HttpRequestParser::State state = HttpRequestParser::State::needMore;
    for (char byte : raw) {
        QCOMPARE(state, HttpRequestParser::State::needMore);
        parser.append(QByteArray(1, byte));
        state = parser.parse();
    }
    QCOMPARE(state, HttpRequestParser::State::ready);
    QCOMPARE(parser.takeRequest().body, body);
}

void TestHttpParser::rejectsMalformed_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<int>("status");
    QTest::newRow("no version") << QByteArray("GET /\r\nHost: h\r\n\r\n") << 400;
    QTest::newRow("extra space") << QByteArray("GET  / HTTP/1.1\r\nHost: h\r\n\r\n") << 400;
    QTest::newRow("bad method") << QByteArray("G(T / HTTP/1.1\r\nHost: h\r\n\r\n") << 400;
    QTest::newRow("absolute target")
        << QByteArray("GET http://x/ HTTP/1.1\r\nHost: h\r\n\r\n") << 400;
    QTest::newRow("http 2") << QByteArray("GET / HTTP/2.0\r\nHost: h\r\n\r\n") << 505;
    QTest::newRow("not http") << QByteArray("GET / FTP/1.1\r\nHost: h\r\n\r\n") << 400;
    QTest::newRow("missing host") << QByteArray("GET / HTTP/1.1\r\n\r\n") << 400;
    QTest::newRow("header without colon") << QByteArray("GET / HTTP/1.1\r\nHost h\r\n\r\n") << 400;
    QTest::newRow("space in header name")
        << QByteArray("GET / HTTP/1.1\r\nHost: h\r\nBad Name: x\r\n\r\n") << 400;
    QTest::newRow("folded header")
        << QByteArray("GET / HTTP/1.1\r\nHost: h\r\nX: a\r\n  b\r\n\r\n") << 400;
    QTest::newRow("bare LF") << QByteArray("GET / HTTP/1.1\nHost: h\r\n\r\n") << 400;
    QTest::newRow("negative length")
        << QByteArray("POST / HTTP/1.1\r\nHost: h\r\nContent-Length: -1\r\n\r\n") << 400;
    QTest::newRow("length not a number")
        << QByteArray("POST / HTTP/1.1\r\nHost: h\r\nContent-Length: 1x\r\n\r\n") << 400;
    QTest::newRow("conflicting lengths")
        << QByteArray(
               "POST / HTTP/1.1\r\nHost: h\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\n")
        << 400;
    QTest::newRow("length and chunked")
        << QByteArray("POST / HTTP/1.1\r\nHost: h\r\nContent-Length: 1\r\nTransfer-Encoding: "
                      "chunked\r\n\r\n")
        << 400;
    QTest::newRow("unknown encoding")
        << QByteArray("POST / HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: gzip\r\n\r\n") << 501;
    QTest::newRow("bad chunk size")
        << QByteArray("POST / HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n")
        << 400;
    QTest::newRow("chunk without CRLF")
        << QByteArray("POST / HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n\r\n"
                      "3\r\nabcX\r\n")
        << 400;
    QTest::newRow("body too large")
        << QByteArray("POST / HTTP/1.1\r\nHost: h\r\nContent-Length: 999999999999\r\n\r\n") << 413;
    QTest::newRow("head too large")
        << QByteArray("GET / HTTP/1.1\r\nHost: h\r\nX: ") + QByteArray(70 * 1024, 'a') << 431;
}

void TestHttpParser::rejectsMalformed()
{
    QFETCH(QByteArray, raw);
    QFETCH(int, status);
    HttpRequestParser parser(1024 * 1024);
    parser.append(raw);
    QCOMPARE(parser.parse(), HttpRequestParser::State::error);
    QCOMPARE(parser.errorStatus(), status);
    QVERIFY(!parser.errorText().isEmpty());
    // An error is final: more bytes do not revive the parser.
    parser.append("GET / HTTP/1.1\r\nHost: h\r\n\r\n");
    QCOMPARE(parser.parse(), HttpRequestParser::State::error);
}

void TestHttpParser::pipelinedRequestsComeOutInOrder()
{
    HttpRequestParser parser;
    parser.append(
        "\r\nGET /a HTTP/1.1\r\nHost: h\r\n\r\n"
        "POST /b HTTP/1.1\r\nHost: h\r\nContent-Length: 3\r\n\r\nxyz"
        "POST /c HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n\r\n1\r\nq\r\n0\r\n\r\n"
        "GET /d HTTP/1.1\r\nHo");
    QStringList paths;
    QByteArrayList bodies;
    while (parser.parse() == HttpRequestParser::State::ready) {
        const HttpRequest request = parser.takeRequest();
        paths.append(request.path);
        bodies.append(request.body);
    }
    QCOMPARE(paths, QStringList({u"/a"_s, u"/b"_s, u"/c"_s}));
    QCOMPARE(bodies, QByteArrayList({"", "xyz", "q"}));
    parser.append("st: h\r\n\r\n");
    QCOMPARE(parser.parse(), HttpRequestParser::State::ready);
    QCOMPARE(parser.takeRequest().path, u"/d"_s);
}

void TestHttpParser::asksForContinue()
{
    HttpRequestParser parser;
    parser.append(
        "POST / HTTP/1.1\r\nHost: h\r\nExpect: 100-continue\r\nContent-Length: 2\r\n\r\n");
    QCOMPARE(parser.parse(), HttpRequestParser::State::needMore);
    QVERIFY(parser.wantsContinue());
    parser.continueSent();
    QVERIFY(!parser.wantsContinue());
    parser.append("ok");
    QCOMPARE(parser.parse(), HttpRequestParser::State::ready);
    QCOMPARE(parser.takeRequest().body, QByteArray("ok"));
}

void TestHttpParser::largeBodyInPieces()
{
    const QByteArray body(24 * 1024 * 1024 + 7, 'z');
    HttpRequestParser parser;
    parser.append("POST /v1/files HTTP/1.1\r\nHost: h\r\nContent-Length: " +
                  QByteArray::number(body.size()) + "\r\n\r\n");
    for (qsizetype at = 0; at < body.size(); at += 65536) {
        QCOMPARE(parser.parse(), HttpRequestParser::State::needMore);
        parser.append(body.mid(at, 65536));
    }
    QCOMPARE(parser.parse(), HttpRequestParser::State::ready);
    QCOMPARE(parser.takeRequest().body, body);
    QCOMPARE(parser.bufferedBytes(), 0);
}

QTEST_GUILESS_MAIN(TestHttpParser)
#include "tst_httpparser.moc"
