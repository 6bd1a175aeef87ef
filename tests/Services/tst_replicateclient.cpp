#include "Models/AppError.h"
#include "RunTask.h"
#include "ScriptedHttpServer.h"
#include "Services/NetworkError.h"
#include "Services/ReplicateClient.h"
#include "TestEnvironment.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QRegularExpression>
#include <QtTest>

using namespace Qt::StringLiterals;

using Response = ScriptedHttpServer::Response;
using Script = QList<Response>;

namespace
{

Response withRetryAfter(int status, const QByteArray &retryAfter, const QByteArray &body = "{}")
{
    Response response = Response::json(status, body);
    if (!retryAfter.isNull())
        response.headers.append({"Retry-After", retryAfter});
    return response;
}

QJsonObject bodyOf(const ScriptedHttpServer::Request &request)
{
    return QJsonDocument::fromJson(request.body).object();
}

} // namespace

class ReplicateClientTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void retries_data();
    void retries();
    void commonHeaders();
    void searchUsesQuery();
    void collectionStopsAfterFivePages();
    void collectionReadsResults();
    void uploadBodyByteForByte();
    void uploadFileNames_data();
    void uploadFileNames();
    void uploadResponses_data();
    void uploadResponses();
    void predictionRoutes_data();
    void predictionRoutes();
    void unreadableBodies();
    void badPredictionURL_data();
    void badPredictionURL();
    void cancelPredictionIgnoresFailures();
    void cancelInFlight();
    void cancelDuringRetrySleep();
    void sameOriginRedirectKeepsToken();
    void crossOriginRedirectIsRefused();
    void connectionRefused();
    void clientMayBeDroppedAfterStart();

private:
    ReplicateClient client() const
    {
        return ReplicateClient(m_network.get(), m_server->url(u"/v1"_s), m_environment->clock(),
                               u"r8_secret"_s);
    }

    std::unique_ptr<TestEnvironment> m_environment;
    std::unique_ptr<ScriptedHttpServer> m_server;
    std::unique_ptr<QNetworkAccessManager> m_network;
};

void ReplicateClientTest::init()
{
    m_environment = std::make_unique<TestEnvironment>(0.001);
    m_server = std::make_unique<ScriptedHttpServer>();
    m_network = std::make_unique<QNetworkAccessManager>();
    ReplicateClient::configure(*m_network);
}

void ReplicateClientTest::cleanup()
{
    m_network.reset();
    m_server.reset();
    m_environment.reset();
}

void ReplicateClientTest::retries_data()
{
    QTest::addColumn<Script>("script");
    QTest::addColumn<QList<double>>("delays");
    QTest::addColumn<QString>("message"); // empty: success

    const Response ok = Response::json(200, R"({"name":"esrgan"})");
    QTest::newRow("500 three times")
        << Script{Response::json(500, ""), Response::json(500, ""), Response::json(500, "")}
        << QList<double>{2, 4} << u"Replicate returned HTTP 500."_s;
    QTest::newRow("500 with detail at the end")
        << Script{Response::json(500, ""), Response::json(502, ""),
                  Response::json(500, R"({"detail":"GPU on fire"})")}
        << QList<double>{2, 4} << u"GPU on fire"_s;
    QTest::newRow("Retry-After capped")
        << Script{withRetryAfter(503, "120"), ok} << QList<double>{30} << QString();
    QTest::newRow("Retry-After fraction")
        << Script{withRetryAfter(503, "1.5"), ok} << QList<double>{1.5} << QString();
    QTest::newRow("Retry-After date")
        << Script{withRetryAfter(503, "Wed, 21 Oct 2026 07:28:00 GMT"), ok} << QList<double>{2}
        << QString();
    QTest::newRow("Retry-After negative")
        << Script{withRetryAfter(503, "-5"), withRetryAfter(503, "-0.5"), ok} << QList<double>{2, 4}
        << QString();
    QTest::newRow("Retry-After not a number")
        << Script{withRetryAfter(429, "nan"), ok} << QList<double>{2} << QString();
    QTest::newRow("Retry-After infinite")
        << Script{withRetryAfter(429, "inf"), ok} << QList<double>{2} << QString();
    QTest::newRow("Retry-After overflowing")
        << Script{withRetryAfter(429, "1e999"), ok} << QList<double>{30} << QString();
    QTest::newRow("Retry-After zero")
        << Script{withRetryAfter(429, "0"), ok} << QList<double>{0} << QString();
    QTest::newRow("429 then 200") << Script{Response::json(500, ""), Response::json(429, ""), ok}
                                  << QList<double>{2, 4} << QString();
    QTest::newRow("persistent rate limit")
        << Script{Response::json(429, ""), Response::json(429, ""), Response::json(429, "")}
        << QList<double>{2, 4} << u"Rate limited by Replicate. Try fewer at a time."_s;
    QTest::newRow("404 with detail")
        << Script{Response::json(404, R"({"detail":"Model not found: a/b"})")} << QList<double>{}
        << u"Model not found: a/b"_s;
    Response html;
    html.status = 400;
    html.headers = {{"Content-Type", "text/html"}};
    html.body = "<html><body><h1>400 Bad Request</h1></body></html>";
    QTest::newRow("400 with HTML")
        << Script{html} << QList<double>{} << u"Replicate returned HTTP 400."_s;
    QTest::newRow("title when detail is no string")
        << Script{Response::json(422, R"({"detail":[1],"title":"Invalid input"})")}
        << QList<double>{} << u"Invalid input"_s;
    QTest::newRow("error key") << Script{Response::json(409, R"({"error":"Busy"})")}
                               << QList<double>{} << u"Busy"_s;
    QTest::newRow("401 fixed text") << Script{Response::json(401, R"({"detail":"Invalid token."})")}
                                    << QList<double>{} << u"Replicate rejected the API token."_s;
    QTest::newRow("402 fixed text") << Script{Response::json(402, "")} << QList<double>{}
                                    << u"Replicate says this account needs billing set up."_s;
}

void ReplicateClientTest::retries()
{
    QFETCH(Script, script);
    QFETCH(QList<double>, delays);
    QFETCH(QString, message);
    for (const Response &response : script)
        m_server->enqueue(response);

    const auto outcome = runTask(client().fetchModel(u"nightmareai"_s, u"real-esrgan"_s));
    QVERIFY(outcome.finished);
    QCOMPARE(outcome.message(), message);
    if (message.isEmpty())
        QCOMPARE(outcome.value->value(QLatin1String("name")).toString(), u"esrgan"_s);
    QCOMPARE(m_environment->clock()->requestedDelays(), delays);
    QCOMPARE(m_server->requests().size(), std::min<qsizetype>(script.size(), delays.size() + 1));
    // Every retry repeats the identical request.
    for (const auto &request : m_server->requests())
        QCOMPARE(request.target, QByteArray("/v1/models/nightmareai/real-esrgan"));
}

void ReplicateClientTest::commonHeaders()
{
    m_server->enqueue(Response::json(200, "{}"));
    const auto outcome = runTask(client().fetchModel(u"a"_s, u"b"_s));
    QVERIFY(outcome.finished && !outcome.error);
    QCOMPARE(m_server->requests().size(), 1);
    const auto &request = m_server->requests().first();
    QCOMPARE(request.method, QByteArray("GET"));
    QCOMPARE(request.header("Authorization"), QByteArray("Bearer r8_secret"));
    QCOMPARE(request.header("User-Agent"), QByteArray("Moonforge/1.0"));
}

void ReplicateClientTest::searchUsesQuery()
{
    m_server->enqueue(Response::json(200, R"({"results":[
        {"owner":"acme","name":"zoom","description":"Upscaler"},{"owner":"","name":"broken"}]})"));
    const auto outcome = runTask(client().searchModels(u"süper upscale"_s));
    QVERIFY(outcome.finished && !outcome.error);
    const auto &request = m_server->requests().first();
    QCOMPARE(request.method, QByteArray("QUERY"));
    QCOMPARE(request.target, QByteArray("/v1/models"));
    QCOMPARE(request.header("Content-Type"), QByteArray("text/plain"));
    QCOMPARE(request.body, u"süper upscale"_s.toUtf8());
    QCOMPARE(outcome.value->size(), 1);
    QCOMPARE(outcome.value->first().slug(), u"acme/zoom"_s);
    QVERIFY(outcome.value->first().isCustom);

    // A body that is JSON but no object lists nothing and is no error.
    m_server->enqueue(Response::json(200, "[1,2]"));
    const auto empty = runTask(client().searchModels(u"x"_s));
    QVERIFY(empty.finished && !empty.error);
    QVERIFY(empty.value->isEmpty());
}

void ReplicateClientTest::collectionStopsAfterFivePages()
{
    ScriptedHttpServer *server = m_server.get();
    m_server->setFallback([server](const ScriptedHttpServer::Request &request) {
        const int page = server->requests().size();
        const QByteArray next =
            server->url(u"/v1/collections/upscalers?page=%1"_s.arg(page + 1)).toEncoded();
        Q_UNUSED(request);
        return Response::json(200, R"({"models":[{"owner":"o","name":"m)" +
                                       QByteArray::number(page) + R"("}],"next":")" + next + "\"}");
    });
    const auto outcome = runTask(client().fetchCollection(u"upscalers"_s));
    QVERIFY(outcome.finished && !outcome.error);
    QCOMPARE(m_server->requests().size(), ReplicateClient::maxCollectionPages);
    QCOMPARE(outcome.value->size(), 5);
    QCOMPARE(outcome.value->at(4).name, u"m5"_s);
    QCOMPARE(m_server->requests().first().target, QByteArray("/v1/collections/upscalers"));
    QCOMPARE(m_server->requests().at(1).target, QByteArray("/v1/collections/upscalers?page=2"));
}

void ReplicateClientTest::collectionReadsResults()
{
    m_server->enqueue(
        Response::json(200, R"({"models":[1],"results":[{"owner":"a","name":"b"}],"next":null})"));
    const auto outcome = runTask(client().fetchCollection(u"x"_s));
    QVERIFY(outcome.finished && !outcome.error);
    QCOMPARE(m_server->requests().size(), 1);
    QCOMPARE(outcome.value->size(), 1);
    QVERIFY(!outcome.value->first().isCustom);

    // A failing later page fails the whole listing.
    m_server->enqueue(Response::json(200, R"({"models":[{"owner":"a","name":"b"}],"next":")" +
                                              m_server->url(u"/v1/next"_s).toEncoded() + "\"}"));
    m_server->enqueue(Response::json(404, R"({"detail":"Gone."})"));
    const auto failed = runTask(client().fetchCollection(u"x"_s));
    QCOMPARE(failed.message(), u"Gone."_s);
}

void ReplicateClientTest::uploadBodyByteForByte()
{
    static const char frame[] = "--B\r\n"
                                "Content-Disposition: form-data; name=\"content\"; "
                                "filename=\"cat.jpg\"\r\n"
                                "Content-Type: image/jpeg\r\n\r\n"
                                "\xff\xd8\x00\r\n--\xff\xd9"
                                "\r\n--B--\r\n";
    const QByteArray expected(frame, sizeof(frame) - 1);
    const QByteArray data("\xff\xd8\x00\r\n--\xff\xd9", 9);
    QCOMPARE(ReplicateClient::multipartBody(data, u"cat.jpg"_s, u"image/jpeg"_s, u"B"_s), expected);

    m_server->enqueue(Response::json(201, R"({"urls":{"get":"https://files.example/f1"}})"));
    const auto outcome = runTask(client().uploadFile(data, u"cat.jpg"_s, u"image/jpeg"_s));
    QVERIFY(outcome.finished && !outcome.error);
    QCOMPARE(*outcome.value, u"https://files.example/f1"_s);
    const auto &request = m_server->requests().first();
    QCOMPARE(request.method, QByteArray("POST"));
    QCOMPARE(request.target, QByteArray("/v1/files"));
    const QByteArray contentType = request.header("Content-Type");
    const QRegularExpression pattern(
        QStringLiteral("^multipart/form-data; boundary=(Moonforge-[0-9A-F]{8}-[0-9A-F]{4}-"
                       "[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12})$"));
    const auto match = pattern.match(QString::fromLatin1(contentType));
    QVERIFY2(match.hasMatch(), contentType.constData());
    QCOMPARE(request.body, ReplicateClient::multipartBody(data, u"cat.jpg"_s, u"image/jpeg"_s,
                                                          match.captured(1)));
}

void ReplicateClientTest::uploadFileNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("sent");
    QTest::newRow("ordinary") << u"IMG 0042 (1).heic"_s << QByteArray("IMG 0042 (1).heic");
    QTest::newRow("non-ASCII") << u"café-ß.png"_s << u"café-ß.png"_s.toUtf8();
    QTest::newRow("quote") << u"a\"b.jpg"_s << QByteArray("a%22b.jpg");
    QTest::newRow("injected field")
        << u"x.jpg\"\r\nContent-Disposition: form-data; name=\"version"_s
        << QByteArray("x.jpg%22%0D%0AContent-Disposition: form-data; name=%22version");
    QTest::newRow("bare line feed") << u"a\nb"_s << QByteArray("a%0Ab");
}

void ReplicateClientTest::uploadFileNames()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, sent);
    const QByteArray body = ReplicateClient::multipartBody("x", name, u"image/png"_s, u"B"_s);
    const QList<QByteArray> lines = body.split('\n');
    QCOMPARE(lines.size(), 7); // the only line breaks are the six of the frame
    QCOMPARE(lines.at(1),
             "Content-Disposition: form-data; name=\"content\"; filename=\"" + sent + "\"\r");
}

void ReplicateClientTest::uploadResponses_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("empty urls") << QByteArray(R"({"urls":{}})");
    QTest::newRow("get not a string") << QByteArray(R"({"urls":{"get":7}})");
    QTest::newRow("not an object") << QByteArray(R"(["https://x/f"])");
}

void ReplicateClientTest::uploadResponses()
{
    QFETCH(QByteArray, body);
    m_server->enqueue(Response::json(201, body));
    const auto outcome = runTask(client().uploadFile("x", u"a.png"_s, u"image/png"_s));
    QVERIFY(outcome.threw<AppError>());
    QCOMPARE(outcome.message(), u"Upload succeeded but returned no URL."_s);
}

void ReplicateClientTest::predictionRoutes_data()
{
    QTest::addColumn<QString>("versionID");
    QTest::addColumn<bool>("isOfficial");
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<bool>("sendsVersion");
    QTest::newRow("version") << u"f121d640"_s << false << QByteArray("/v1/predictions") << true;
    QTest::newRow("official") << u"f121d640"_s << true
                              << QByteArray("/v1/models/acme/zoom/predictions") << false;
    QTest::newRow("no version") << QString() << false
                                << QByteArray("/v1/models/acme/zoom/predictions") << false;
}

void ReplicateClientTest::predictionRoutes()
{
    QFETCH(QString, versionID);
    QFETCH(bool, isOfficial);
    QFETCH(QByteArray, target);
    QFETCH(bool, sendsVersion);
    ModelSchema schema;
    schema.isOfficial = isOfficial;
    if (!versionID.isEmpty())
        schema.versionID = versionID;
    CatalogModel model{u"acme"_s, u"zoom"_s, {}, {}, false};
    m_server->enqueue(Response::json(201, R"({"id":"p1","status":"starting",
        "urls":{"get":"https://api.example/v1/predictions/p1"}})"));
    const QJsonObject input{{u"scale"_s, 2}};
    const auto outcome = runTask(client().createPrediction(model, schema, input, 60));
    QVERIFY(outcome.finished && !outcome.error);
    QCOMPARE(outcome.value->id, u"p1"_s);
    QCOMPARE(outcome.value->getURL, std::optional(u"https://api.example/v1/predictions/p1"_s));

    const auto &request = m_server->requests().first();
    QCOMPARE(request.method, QByteArray("POST"));
    QCOMPARE(request.target, target);
    QCOMPARE(request.header("Prefer"), QByteArray("wait=60"));
    QCOMPARE(request.header("Content-Type"), QByteArray("application/json"));
    QJsonObject expected{{u"input"_s, input}};
    if (sendsVersion)
        expected.insert(u"version"_s, versionID);
    QCOMPARE(bodyOf(request), expected);
}

void ReplicateClientTest::unreadableBodies()
{
    m_server->enqueue(Response::json(200, R"(["p1"])"));
    const auto outcome = runTask(client().getPrediction(m_server->url(u"/v1/p"_s).toString()));
    QCOMPARE(outcome.message(), u"Unexpected response from Replicate."_s);
    m_server->enqueue(Response::json(200, "{\"id\":"));
    const auto truncated = runTask(client().fetchModel(u"a"_s, u"b"_s));
    QVERIFY(truncated.threw<JsonParseFailure>());
    // Not the parser's own words: a plain sentence the user can act on.
    QCOMPARE(truncated.message(), JsonParseFailure::userText());
}

void ReplicateClientTest::badPredictionURL_data()
{
    QTest::addColumn<QString>("address");
    QTest::newRow("empty") << QString();
    QTest::newRow("spaces") << u"not a url"_s;
    QTest::newRow("relative") << u"/v1/predictions/p1"_s;
}

void ReplicateClientTest::badPredictionURL()
{
    QFETCH(QString, address);
    const auto outcome = runTask(client().getPrediction(address));
    QVERIFY(outcome.threw<AppError>());
    QCOMPARE(outcome.message(), u"Bad prediction URL."_s);
    QVERIFY(m_server->requests().isEmpty());
    const auto cancel = runTask(client().cancelPrediction(address));
    QVERIFY(cancel.finished && !cancel.error);
    QVERIFY(m_server->requests().isEmpty());
}

void ReplicateClientTest::cancelPredictionIgnoresFailures()
{
    m_server->enqueue(Response::json(503, ""));
    m_server->enqueue(Response::json(500, ""));
    m_server->enqueue(Response::json(500, R"({"detail":"still broken"})"));
    const auto outcome = runTask(
        client().cancelPrediction(m_server->url(u"/v1/predictions/p1/cancel"_s).toString()));
    QVERIFY(outcome.finished && !outcome.error);
    QCOMPARE(m_server->requests().size(), 3);
    QCOMPARE(m_server->requests().first().method, QByteArray("POST"));
    QCOMPARE(m_server->requests().first().header("Authorization"), QByteArray("Bearer r8_secret"));
    QVERIFY(m_server->requests().first().body.isEmpty());
}

void ReplicateClientTest::cancelInFlight()
{
    Response hold;
    hold.hold = true;
    m_server->enqueue(hold);
    TaskHandle handle;
    connect(m_server.get(), &ScriptedHttpServer::requestReceived, this,
            [handle] { handle.cancel(); });
    const auto outcome = runTask(client().fetchModel(u"a"_s, u"b"_s, handle), 10000);
    QVERIFY(outcome.finished);
    QVERIFY(outcome.cancelled());
    QCOMPARE(outcome.message(), u"Cancelled."_s);
    QCOMPARE(m_server->requests().size(), 1);
}

void ReplicateClientTest::cancelDuringRetrySleep()
{
    // Real time: the sleep would last the full 30 s if the cancel did not wake it.
    const auto clock = std::make_shared<Clock>(1.0);
    const ReplicateClient slow(m_network.get(), m_server->url(u"/v1"_s), clock, u"t"_s);
    m_server->enqueue(withRetryAfter(503, "120"));
    TaskHandle handle;
    // Cancel once the sleep is asked for, however long the first answer takes to arrive.
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
        if (!clock->requestedDelays().isEmpty())
            handle.cancel();
    });
    poll.start(5);
    const auto outcome = runTask(slow.fetchModel(u"a"_s, u"b"_s, handle), 10000);
    QVERIFY(outcome.finished);
    QVERIFY(outcome.cancelled());
    QCOMPARE(clock->requestedDelays(), QList<double>{30});
    QCOMPARE(m_server->requests().size(), 1);
}

void ReplicateClientTest::sameOriginRedirectKeepsToken()
{
    // Answered by path, not in order: under load the network stack may send the first request
    // again on a fresh connection.
    m_server->setFallback([](const ScriptedHttpServer::Request &request) {
        if (request.target.endsWith("/renamed"))
            return Response::json(200, R"({"name":"renamed"})");
        Response redirect;
        redirect.status = 302;
        redirect.headers = {{"Location", "/v1/models/a/renamed"}};
        return redirect;
    });
    const auto outcome = runTask(client().fetchModel(u"a"_s, u"b"_s));
    QVERIFY2(outcome.finished && !outcome.error, qPrintable(outcome.message()));
    QCOMPARE(outcome.value->value(QLatin1String("name")).toString(), u"renamed"_s);
    const ScriptedHttpServer::Request followed = m_server->requests().constLast();
    QCOMPARE(followed.target, QByteArray("/v1/models/a/renamed"));
    QCOMPARE(followed.header("Authorization"), QByteArray("Bearer r8_secret"));
}

void ReplicateClientTest::crossOriginRedirectIsRefused()
{
    ScriptedHttpServer elsewhere;
    elsewhere.setFallback([](const ScriptedHttpServer::Request &) {
        return Response::json(200, R"({"name":"stolen"})");
    });
    Response redirect;
    redirect.status = 302;
    redirect.headers = {{"Location", elsewhere.url(u"/collect"_s).toEncoded()}};
    m_server->enqueue(redirect);
    const auto outcome = runTask(client().fetchModel(u"a"_s, u"b"_s));
    // The redirect is refused outright, so nothing at all (token or not) reaches the other host.
    QVERIFY(outcome.threw<NetworkError>());
    QCOMPARE(elsewhere.requests().size(), 0);
    QVERIFY(!outcome.message().contains(QLatin1String("r8_secret")));
}

void ReplicateClientTest::connectionRefused()
{
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const quint16 port = closed.serverPort();
    closed.close();
    const ReplicateClient offline(m_network.get(), QUrl(u"http://127.0.0.1:%1/v1"_s.arg(port)),
                                  m_environment->clock(), u"t"_s);
    const auto outcome = runTask(offline.fetchModel(u"a"_s, u"b"_s));
    QVERIFY(outcome.threw<NetworkError>());
    QVERIFY(!outcome.message().isEmpty());
    // Transport failures are never retried.
    QVERIFY(m_environment->clock()->requestedDelays().isEmpty());
}

void ReplicateClientTest::clientMayBeDroppedAfterStart()
{
    m_server->enqueue(Response::json(500, ""));
    m_server->enqueue(Response::json(200, R"({"name":"late"})"));
    std::optional<QCoro::Task<QJsonObject>> task;
    {
        const ReplicateClient temporary = client();
        task.emplace(temporary.fetchModel(u"a"_s, u"b"_s));
    }
    const auto outcome = runTask(std::move(*task));
    QVERIFY(outcome.finished && !outcome.error);
    QCOMPARE(outcome.value->value(QLatin1String("name")).toString(), u"late"_s);
}

QTEST_GUILESS_MAIN(ReplicateClientTest)
#include "tst_replicateclient.moc"
