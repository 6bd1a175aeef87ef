#include "StandInService.h"

#include <QBuffer>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSet>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

namespace
{

const QList<QPair<QByteArray, QByteArray>> kAuth{{"Authorization", "Bearer r8_test"}};

QList<QPair<QByteArray, QByteArray>> authWith(const QByteArray &name, const QByteArray &value)
{
    QList<QPair<QByteArray, QByteArray>> headers = kAuth;
    headers.append({name, value});
    return headers;
}

QByteArray json(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QString relative(const QString &absolute)
{
    return QUrl(absolute).path();
}

QStringList slugsOf(const QJsonArray &models)
{
    QStringList slugs;
    for (const QJsonValue &model : models)
        slugs.append(model[QLatin1String("owner")].toString() + QLatin1Char('/') +
                     model[QLatin1String("name")].toString());
    return slugs;
}

} // namespace

// The binary end to end, through the launcher other tests use.
class TestStandInService : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void startsOnAFreeLoopbackPort();
    void servesEveryBuiltInModel_data();
    void servesEveryBuiltInModel();
    void tokens_data();
    void tokens();
    void pagesCollections_data();
    void pagesCollections();
    void searchesModels_data();
    void searchesModels();
    void uploadsAndUpscales();
    void generatesImagesPerRequestedCount();
    void pollsAndCancels();
    void rejectsInvalidInput_data();
    void rejectsInvalidInput();
    void heldCreateOutlivesItsClient();
    void runsByNameOnlyOfficialModels();
    void logsRequests();
    void faultsReturnScriptedStatus();
    void faultsCanStickOrFailAPrediction_data();
    void faultsCanStickOrFailAPrediction();
    void stopsOnTerminate();
};

void TestStandInService::startsOnAFreeLoopbackPort()
{
    StandInService first;
    StandInService second;
    QVERIFY2(first.isRunning(), qPrintable(first.errorString()));
    QVERIFY2(second.isRunning(), qPrintable(second.errorString()));
    QCOMPARE(first.baseUrl().host(), QStringLiteral("127.0.0.1"));
    QVERIFY(first.baseUrl().port() > 0);
    QVERIFY(first.baseUrl().port() != second.baseUrl().port());
    QCOMPARE(first.apiBase().path(), QStringLiteral("/v1"));
}

void TestStandInService::servesEveryBuiltInModel_data()
{
    QTest::addColumn<QString>("slug");
    QTest::addColumn<QString>("requiredKey");
    QTest::newRow("real-esrgan") << QStringLiteral("nightmareai/real-esrgan")
                                 << QStringLiteral("image");
    QTest::newRow("topaz") << QStringLiteral("topazlabs/image-upscale") << QStringLiteral("image");
    QTest::newRow("flux pro") << QStringLiteral("black-forest-labs/flux-1.1-pro")
                              << QStringLiteral("prompt");
    QTest::newRow("nano banana") << QStringLiteral("google/nano-banana")
                                 << QStringLiteral("prompt");
    QTest::newRow("veo") << QStringLiteral("google/veo-3") << QStringLiteral("prompt");
    QTest::newRow("pixverse") << QStringLiteral("pixverse/pixverse-v4.5")
                              << QStringLiteral("prompt");
    QTest::newRow("negative only")
        << QStringLiteral("sim-parser/negative-only") << QStringLiteral("negative_prompt");
}

void TestStandInService::servesEveryBuiltInModel()
{
    QFETCH(QString, slug);
    QFETCH(QString, requiredKey);
    StandInService service;
    QVERIFY(service.isRunning());
    const auto reply = service.call("GET", QStringLiteral("/v1/models/") + slug, {}, kAuth);
    QVERIFY(reply);
    QCOMPARE(reply->status, 200);
    const QJsonObject record = reply->object();
    QCOMPARE(record.value(QStringLiteral("owner")).toString() + QLatin1Char('/') +
                 record.value(QStringLiteral("name")).toString(),
             slug);
    const QJsonValue schemas = record["latest_version"]["openapi_schema"]["components"]["schemas"];
    QVERIFY(schemas["Output"].isObject());
    const QJsonArray required = schemas["Input"]["required"].toArray();
    QVERIFY(required.contains(requiredKey));
}

void TestStandInService::tokens_data()
{
    QTest::addColumn<QByteArray>("authorization");
    QTest::addColumn<int>("status");
    QTest::newRow("none") << QByteArray() << 401;
    QTest::newRow("empty bearer") << QByteArray("Bearer ") << 401;
    QTest::newRow("invalid") << QByteArray("Bearer r8_invalid_xyz") << 401;
    QTest::newRow("good") << QByteArray("Bearer r8_good") << 200;
}

void TestStandInService::tokens()
{
    QFETCH(QByteArray, authorization);
    QFETCH(int, status);
    StandInService service;
    QList<QPair<QByteArray, QByteArray>> headers;
    if (!authorization.isEmpty())
        headers.append({"Authorization", authorization});
    const auto reply =
        service.call("GET", QStringLiteral("/v1/models/google/imagen-4"), {}, headers);
    QVERIFY(reply);
    QCOMPARE(reply->status, status);
}

void TestStandInService::pagesCollections_data()
{
    QTest::addColumn<QString>("slug");
    // Pages until `next` is null; 0 for a collection that never ends. The service answers a
    // collection whole.
    QTest::addColumn<int>("pages");
    QTest::addColumn<int>("entries");
    // One entry found only in the collection, one also in the built-in list.
    QTest::addColumn<QStringList>("includes");
    QTest::newRow("super-resolution")
        << "super-resolution" << 1 << 9
        << QStringList{"sim-lab/tile-upscaler", "topazlabs/image-upscale"};
    QTest::newRow("text-to-image")
        << "text-to-image" << 1 << 9 << QStringList{"sim-lab/sketchbook", "google/imagen-4"};
    QTest::newRow("text-to-video")
        << "text-to-video" << 1 << 9 << QStringList{"sim-lab/tiny-motion", "google/veo-3"};
    QTest::newRow("endless") << "endless" << 0 << 48 << QStringList{"google/veo-3"};
}

void TestStandInService::pagesCollections()
{
    QFETCH(QString, slug);
    QFETCH(int, pages);
    QFETCH(int, entries);
    QFETCH(QStringList, includes);
    StandInService service;
    QStringList seen;
    QString next = QStringLiteral("/v1/collections/") + slug;
    int page = 0;
    for (; !next.isEmpty() && page < 12; ++page) {
        const auto reply = service.call("GET", next, {}, kAuth);
        QVERIFY(reply);
        QCOMPARE(reply->status, 200);
        const QJsonObject object = reply->object();
        QCOMPARE(object.value(QStringLiteral("slug")).toString(), slug);
        seen += slugsOf(object.value(QStringLiteral("models")).toArray());
        next = object.value(QStringLiteral("next")).toString();
        if (!next.isEmpty())
            QCOMPARE(next, service.apiBase().toString() + QStringLiteral("/collections/") + slug +
                               QStringLiteral("?cursor=") + QString::number(page + 1));
        next = QUrl(next).toString(QUrl::RemoveScheme | QUrl::RemoveAuthority);
    }
    QCOMPARE(page, pages ? pages : 12);
    QCOMPARE(next.isEmpty(), pages > 0);
    QCOMPARE(seen.size(), entries);
    if (pages)
        QCOMPARE(QSet<QString>(seen.begin(), seen.end()).size(), entries);
    for (const QString &entry : includes)
        QVERIFY2(seen.contains(entry), qPrintable(seen.join(u' ')));
    const auto unknown = service.call("GET", QStringLiteral("/v1/collections/no-such"), {}, kAuth);
    QVERIFY(unknown);
    QCOMPARE(unknown->status, 404);
}

void TestStandInService::searchesModels_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("owner") << QByteArray("tarnwick")
                           << QStringList{"tarnwick/clarity-pro-upscaler",
                                          "tarnwick/crystal-upscaler"};
    QTest::newRow("name") << QByteArray("crisp") << QStringList{"recraft-ai/recraft-crisp-upscale"};
    QTest::newRow("description, any case")
        << QByteArray("FACE Correction") << QStringList{"nightmareai/real-esrgan"};
    QTest::newRow("JSON-quoted") << QByteArray("\"crisp\"")
                                 << QStringList{"recraft-ai/recraft-crisp-upscale"};
    QTest::newRow("nothing") << QByteArray("no-model-has-this") << QStringList{};
}

void TestStandInService::searchesModels()
{
    QFETCH(QByteArray, body);
    QFETCH(QStringList, expected);
    StandInService service;
    const auto reply = service.call("QUERY", QStringLiteral("/v1/models"), body,
                                    authWith("Content-Type", "text/plain"));
    QVERIFY(reply);
    QCOMPARE(reply->status, 200);
    QStringList found = slugsOf(reply->object().value(QStringLiteral("results")).toArray());
    found.sort();
    QCOMPARE(found, expected);
}

void TestStandInService::uploadsAndUpscales()
{
    StandInService service;
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray png;
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        QVERIFY(image.save(&buffer, "PNG"));
    }
    const QByteArray boundary = "Moonforge-BOUNDARY";
    const QByteArray body = "--" + boundary +
                            "\r\nContent-Disposition: form-data; name=\"content\"; "
                            "filename=\"red.png\"\r\nContent-Type: image/png\r\n\r\n" +
                            png + "\r\n--" + boundary + "--\r\n";
    const auto upload =
        service.call("POST", QStringLiteral("/v1/files"), body,
                     authWith("Content-Type", "multipart/form-data; boundary=" + boundary));
    QVERIFY(upload);
    QCOMPARE(upload->status, 201);
    const QString fileUrl = upload->object().value("urls")["get"].toString();
    QVERIFY(fileUrl.startsWith(service.baseUrl().toString()));
    QCOMPARE(upload->object().value(QStringLiteral("size")).toInt(), png.size());

    const QJsonObject input{{QStringLiteral("image"), fileUrl}, {QStringLiteral("scale"), 3}};
    // A community model runs by its version.
    const auto created =
        service.call("POST", QStringLiteral("/v1/predictions"),
                     json({{QStringLiteral("version"), QStringLiteral("nightmareai/real-esrgan")},
                           {QStringLiteral("input"), input}}),
                     authWith("Prefer", "wait=10"));
    QVERIFY(created);
    QCOMPARE(created->status, 201);
    const QJsonObject prediction = created->object();
    QCOMPARE(prediction.value(QStringLiteral("status")).toString(), QStringLiteral("succeeded"));
    QVERIFY(prediction["metrics"]["predict_time"].isDouble());
    const QString output = prediction.value(QStringLiteral("output")).toString();
    const auto download = service.call("GET", relative(output));
    QVERIFY(download);
    QCOMPARE(download->status, 200);
    QImage result;
    QVERIFY(result.loadFromData(download->body));
    QCOMPARE(result.size(), QSize(120, 90));
    QCOMPARE(QColor(result.pixel(60, 45)), QColor(Qt::red));
}

void TestStandInService::generatesImagesPerRequestedCount()
{
    StandInService service;
    const QJsonObject input{{QStringLiteral("prompt"), QStringLiteral("a lighthouse")},
                            {QStringLiteral("num_outputs"), 3},
                            {QStringLiteral("aspect_ratio"), QStringLiteral("16:9")}};
    const auto created = service.call(
        "POST", QStringLiteral("/v1/models/black-forest-labs/flux-schnell/predictions"),
        json({{QStringLiteral("input"), input}}), authWith("Prefer", "wait=10"));
    QVERIFY(created);
    const QJsonArray outputs = created->object().value(QStringLiteral("output")).toArray();
    QCOMPARE(outputs.size(), 3);
    QByteArrayList bodies;
    for (const QJsonValue &url : outputs) {
        const auto download = service.call("GET", relative(url.toString()));
        QVERIFY(download);
        QImage picture;
        QVERIFY(picture.loadFromData(download->body));
        QCOMPARE(double(picture.width()) / picture.height(), 512.0 / 288.0);
        bodies.append(download->body);
    }
    QVERIFY(bodies.at(0) != bodies.at(1));
}

void TestStandInService::pollsAndCancels()
{
    StandInService service(StandInService::Options{5, 1});
    const auto created =
        service.call("POST", QStringLiteral("/v1/models/google/veo-3/predictions"),
                     json({{QStringLiteral("input"),
                            QJsonObject{{QStringLiteral("prompt"), QStringLiteral("waves")}}}}),
                     kAuth);
    QVERIFY(created);
    QCOMPARE(created->status, 201);
    const QJsonObject urls = created->object().value(QStringLiteral("urls")).toObject();
    QCOMPARE(created->object().value(QStringLiteral("status")).toString(),
             QStringLiteral("starting"));
    QCOMPARE(created->object().value(QStringLiteral("version")).toString(),
             QStringLiteral("hidden"));
    // Keys without a value yet come as null, as the service sends them.
    for (const char *key : {"output", "error", "started_at", "completed_at"}) {
        QVERIFY2(created->object().contains(QLatin1String(key)), key);
        QVERIFY2(created->object().value(QLatin1String(key)).isNull(), key);
    }
    QCOMPARE(created->object().value(QStringLiteral("metrics")).toObject(), QJsonObject());
    const auto cancel =
        service.call("POST", relative(urls.value(QStringLiteral("cancel")).toString()), {}, kAuth);
    QVERIFY(cancel);
    QCOMPARE(cancel->status, 200);
    const auto polled =
        service.call("GET", relative(urls.value(QStringLiteral("get")).toString()), {}, kAuth);
    QVERIFY(polled);
    QCOMPARE(polled->object().value(QStringLiteral("status")).toString(),
             QStringLiteral("canceled"));
}

void TestStandInService::rejectsInvalidInput_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QJsonObject>("input");
    QTest::addColumn<QStringList>("named"); // texts the detail must hold
    QTest::newRow("missing image, wrong type")
        << QStringLiteral("nightmareai/real-esrgan")
        << QJsonObject{{QStringLiteral("scale"), QStringLiteral("big")}}
        << QStringList{QStringLiteral("- input: image is required"),
                       QStringLiteral("- input.scale: Invalid type. Expected: number")};
    // Real models declare megapixels as strings; a number is refused however it reads.
    QTest::newRow("number for a string enum")
        << QStringLiteral("black-forest-labs/flux-schnell")
        << QJsonObject{{QStringLiteral("prompt"), QStringLiteral("x")},
                       {QStringLiteral("megapixels"), 0.25}}
        << QStringList{QStringLiteral("- input.megapixels: Invalid type. Expected: string")};
}

void TestStandInService::rejectsInvalidInput()
{
    QFETCH(QString, model);
    QFETCH(QJsonObject, input);
    QFETCH(QStringList, named);
    StandInService service;
    const auto reply = service.call(
        "POST", QStringLiteral("/v1/predictions"),
        json({{QStringLiteral("version"), model}, {QStringLiteral("input"), input}}), kAuth);
    QVERIFY(reply);
    QCOMPARE(reply->status, 422);
    QCOMPARE(reply->object().value(QStringLiteral("title")).toString(),
             QStringLiteral("Input validation failed"));
    const QString detail = reply->object().value(QStringLiteral("detail")).toString();
    for (const QString &text : named)
        QVERIFY2(detail.contains(text), qPrintable(detail));
}

void TestStandInService::heldCreateOutlivesItsClient()
{
    StandInService service(StandInService::Options{2, 1});
    QNetworkAccessManager network;
    QNetworkRequest request(
        QUrl(service.baseUrl().toString() + QStringLiteral("/v1/models/google/veo-3/predictions")));
    request.setRawHeader("Authorization", "Bearer r8_test");
    request.setRawHeader("Prefer", "wait=60");
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    QNetworkReply *reply = network.post(
        request, json({{QStringLiteral("input"),
                        QJsonObject{{QStringLiteral("prompt"), QStringLiteral("waves")}}}}));
    QTRY_COMPARE(service.predictions().size(), 1);
    reply->abort();
    reply->deleteLater();
    // Hanging up cancels nothing: the prediction runs to its end (only a cancel stops it).
    QTRY_COMPARE(service.predictions().first()[QStringLiteral("status")].toString(),
                 QStringLiteral("succeeded"));
}

void TestStandInService::runsByNameOnlyOfficialModels()
{
    StandInService service;
    const QByteArray body = json(
        {{QStringLiteral("input"), QJsonObject{{QStringLiteral("image"), QStringLiteral("x")}}}});
    // Real-ESRGAN is a community model: by name it is not found, by its version it runs.
    const auto byName = service.call(
        "POST", QStringLiteral("/v1/models/nightmareai/real-esrgan/predictions"), body, kAuth);
    QVERIFY(byName);
    QCOMPARE(byName->status, 404);
    const auto record =
        service.call("GET", QStringLiteral("/v1/models/nightmareai/real-esrgan"), {}, kAuth);
    QVERIFY(record);
    QVERIFY(!record->object().value(QStringLiteral("is_official")).toBool());
    const QString version =
        record->object()[QStringLiteral("latest_version")][QStringLiteral("id")].toString();
    QVERIFY(!version.isEmpty());
    const auto byVersion = service.call(
        "POST", QStringLiteral("/v1/predictions"),
        json({{QStringLiteral("version"), version},
              {QStringLiteral("input"),
               QJsonObject{{QStringLiteral("image"),
                            QString(service.baseUrl().toString() + u"/no-such-file")}}}}),
        kAuth);
    QVERIFY(byVersion);
    QCOMPARE(byVersion->status, 201);
}

void TestStandInService::logsRequests()
{
    StandInService service;
    QVERIFY(service.call("GET", QStringLiteral("/v1/models/google/veo-3"), {}, kAuth));
    QVERIFY(service.call("QUERY", QStringLiteral("/v1/models"), "flux",
                         authWith("Content-Type", "text/plain")));
    QVERIFY(service.call("GET", QStringLiteral("/google/veo-3")));
    const QJsonArray log = service.requests();
    QCOMPARE(log.size(), 3);
    const QJsonObject query = log.at(1).toObject();
    QCOMPARE(query.value(QStringLiteral("method")).toString(), QStringLiteral("QUERY"));
    QCOMPARE(query.value(QStringLiteral("body")).toString(), QStringLiteral("flux"));
    QCOMPARE(query.value(QStringLiteral("bodySize")).toInt(), 4);
    QCOMPARE(query.value(QStringLiteral("authorization")).toString(),
             QStringLiteral("Bearer r8_test"));
    QCOMPARE(log.at(2).toObject().value(QStringLiteral("hasAuthorization")).toBool(), false);
    QCOMPARE(service.requests(QStringLiteral("/google")).size(), 1);
    QVERIFY(service.reset());
    QCOMPARE(service.requests().size(), 0);
}

void TestStandInService::faultsReturnScriptedStatus()
{
    StandInService service;
    QVERIFY(service.addFault({{QStringLiteral("method"), QStringLiteral("GET")},
                              {QStringLiteral("path"), QStringLiteral("/v1/models/*")},
                              {QStringLiteral("times"), 2},
                              {QStringLiteral("status"), 429},
                              {QStringLiteral("retryAfter"), QStringLiteral("1.5")}}));
    for (int i = 0; i < 2; ++i) {
        const auto reply =
            service.call("GET", QStringLiteral("/v1/models/google/veo-3"), {}, kAuth);
        QVERIFY(reply);
        QCOMPARE(reply->status, 429);
    }
    const auto third = service.call("GET", QStringLiteral("/v1/models/google/veo-3"), {}, kAuth);
    QVERIFY(third);
    QCOMPARE(third->status, 200);
}

void TestStandInService::faultsCanStickOrFailAPrediction_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("dataOutputs"); // the command line switch
    QTest::addColumn<QString>("status");
    QTest::newRow("fail") << QStringLiteral("fail") << false << QStringLiteral("failed");
    QTest::newRow("cancel") << QStringLiteral("cancel") << false << QStringLiteral("canceled");
    QTest::newRow("stuck") << QStringLiteral("stuck") << false << QStringLiteral("processing");
    QTest::newRow("abort") << QStringLiteral("abort") << false << QStringLiteral("aborted");
    QTest::newRow("null") << QStringLiteral("null-output") << false << QStringLiteral("succeeded");
    QTest::newRow("data rule") << QStringLiteral("data-output") << false
                               << QStringLiteral("succeeded");
    QTest::newRow("data switch") << QString() << true << QStringLiteral("succeeded");
}

void TestStandInService::faultsCanStickOrFailAPrediction()
{
    QFETCH(QString, action);
    QFETCH(bool, dataOutputs);
    QFETCH(QString, status);
    StandInService service(StandInService::Options{0.2, 1, dataOutputs});
    if (!action.isEmpty())
        QVERIFY(
            service.addFault({{QStringLiteral("path"), QStringLiteral("*/predictions")},
                              {QStringLiteral("action"), action},
                              {QStringLiteral("error"), QStringLiteral("CUDA out of memory")}}));
    const auto reply =
        service.call("POST", QStringLiteral("/v1/models/google/imagen-4/predictions"),
                     json({{QStringLiteral("input"),
                            QJsonObject{{QStringLiteral("prompt"), QStringLiteral("x")}}}}),
                     authWith("Prefer", "wait=1"));
    QVERIFY(reply);
    const QJsonObject prediction = reply->object();
    QCOMPARE(prediction.value(QStringLiteral("status")).toString(), status);
    // Ended within the hold: created; still going when the hold ran out: accepted.
    QCOMPARE(reply->status, status == QLatin1String("processing") ? 202 : 201);
    if (action == QLatin1String("abort")) {
        // It never started, so it ran for nothing and costs nothing.
        QVERIFY(prediction.value(QStringLiteral("started_at")).isNull());
        QVERIFY(!prediction[QStringLiteral("metrics")].toObject().contains(u"predict_time"));
    }
    if (action == QLatin1String("fail"))
        QCOMPARE(prediction.value(QStringLiteral("error")).toString(),
                 QStringLiteral("CUDA out of memory"));
    if (action == QLatin1String("null-output"))
        QVERIFY(prediction.value(QStringLiteral("output")).isNull());
    if (action == QLatin1String("data-output") || dataOutputs) {
        // The held answer carries the picture itself; a later read gives its address.
        const QString output = prediction.value(QStringLiteral("output")).toString();
        QVERIFY2(output.startsWith(QLatin1String("data:image/png;base64,iVBOR")),
                 qPrintable(output.left(40)));
        const auto polled = service.call(
            "GET", relative(prediction[QStringLiteral("urls")][QStringLiteral("get")].toString()),
            {}, kAuth);
        QVERIFY(polled);
        QVERIFY(polled->object().value(QStringLiteral("output")).toString().startsWith(u"http"));
    }
}

void TestStandInService::stopsOnTerminate()
{
    QProcess process;
    process.start(StandInService::binaryPath(), {});
    QVERIFY(process.waitForReadyRead(10000));
    QVERIFY(process.readLine().startsWith("listening on http://127.0.0.1:"));
    process.terminate();
    QVERIFY(process.waitForFinished(5000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestStandInService)
#include "tst_standinservice.moc"
