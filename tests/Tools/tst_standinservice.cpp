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

using namespace Qt::StringLiterals;

namespace
{

const QList<QPair<QByteArray, QByteArray>> kAuth{{"Authorization", "Bearer r8_test"}};

QList<QPair<QByteArray, QByteArray>> authWith(const QByteArray &name, const QByteArray &value)
{
    QList<QPair<QByteArray, QByteArray>> headers = kAuth;
    headers.append({name, value});
    return headers;
}

// The service's answer; status 0 when it gave none, so comparing the status fails.
StandInService::Reply ask(StandInService &service, const QByteArray &method, const QString &path,
                          const QByteArray &body = {},
                          const QList<QPair<QByteArray, QByteArray>> &headers = {})
{
    return service.call(method, path, body, headers).value_or(StandInService::Reply{});
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
        slugs.append(model[u"owner"_s].toString() + u'/' + model[u"name"_s].toString());
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
    QCOMPARE(first.baseUrl().host(), u"127.0.0.1"_s);
    QVERIFY(first.baseUrl().port() > 0);
    QVERIFY(first.baseUrl().port() != second.baseUrl().port());
    QCOMPARE(first.apiBase().path(), u"/v1"_s);
}

void TestStandInService::servesEveryBuiltInModel_data()
{
    QTest::addColumn<QString>("slug");
    QTest::addColumn<QString>("requiredKey");
    QTest::newRow("real-esrgan") << u"nightmareai/real-esrgan"_s << u"image"_s;
    QTest::newRow("topaz") << u"topazlabs/image-upscale"_s << u"image"_s;
    QTest::newRow("flux pro") << u"black-forest-labs/flux-1.1-pro"_s << u"prompt"_s;
    QTest::newRow("nano banana") << u"google/nano-banana"_s << u"prompt"_s;
    QTest::newRow("veo") << u"google/veo-3"_s << u"prompt"_s;
    QTest::newRow("pixverse") << u"pixverse/pixverse-v4.5"_s << u"prompt"_s;
    QTest::newRow("negative only") << u"sim-parser/negative-only"_s << u"negative_prompt"_s;
}

void TestStandInService::servesEveryBuiltInModel()
{
    QFETCH(QString, slug);
    QFETCH(QString, requiredKey);
    StandInService service;
    QVERIFY(service.isRunning());
    const auto reply = ask(service, "GET", u"/v1/models/"_s + slug, {}, kAuth);
    QCOMPARE(reply.status, 200);
    const QJsonObject record = reply.object();
    QCOMPARE(record.value(u"owner"_s).toString() + u'/' + record.value(u"name"_s).toString(), slug);
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
    const auto reply = ask(service, "GET", u"/v1/models/google/imagen-4"_s, {}, headers);
    QCOMPARE(reply.status, status);
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
    QString next = u"/v1/collections/"_s + slug;
    int page = 0;
    for (; !next.isEmpty() && page < 12; ++page) {
        const auto reply = ask(service, "GET", next, {}, kAuth);
        QCOMPARE(reply.status, 200);
        const QJsonObject object = reply.object();
        QCOMPARE(object.value(u"slug"_s).toString(), slug);
        seen += slugsOf(object.value(u"models"_s).toArray());
        next = object.value(u"next"_s).toString();
        if (!next.isEmpty())
            QCOMPARE(next, service.apiBase().toString() + u"/collections/"_s + slug +
                               u"?cursor="_s + QString::number(page + 1));
        next = QUrl(next).toString(QUrl::RemoveScheme | QUrl::RemoveAuthority);
    }
    QCOMPARE(page, pages ? pages : 12);
    QCOMPARE(next.isEmpty(), pages > 0);
    QCOMPARE(seen.size(), entries);
    if (pages)
        QCOMPARE(QSet<QString>(seen.begin(), seen.end()).size(), entries);
    for (const QString &entry : includes)
        QVERIFY2(seen.contains(entry), qPrintable(seen.join(u' ')));
    const auto unknown = ask(service, "GET", u"/v1/collections/no-such"_s, {}, kAuth);
    QCOMPARE(unknown.status, 404);
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
    const auto reply =
        ask(service, "QUERY", u"/v1/models"_s, body, authWith("Content-Type", "text/plain"));
    QCOMPARE(reply.status, 200);
    QStringList found = slugsOf(reply.object().value(u"results"_s).toArray());
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
    const auto upload = ask(service, "POST", u"/v1/files"_s, body,
                            authWith("Content-Type", "multipart/form-data; boundary=" + boundary));
    QCOMPARE(upload.status, 201);
    const QString fileUrl = upload.object().value("urls")["get"].toString();
    QVERIFY(fileUrl.startsWith(service.baseUrl().toString()));
    QCOMPARE(upload.object().value(u"size"_s).toInt(), png.size());

    const QJsonObject input{{u"image"_s, fileUrl}, {u"scale"_s, 3}};
    // A community model runs by its version.
    const auto created =
        ask(service, "POST", u"/v1/predictions"_s,
            json({{u"version"_s, u"nightmareai/real-esrgan"_s}, {u"input"_s, input}}),
            authWith("Prefer", "wait=10"));
    QCOMPARE(created.status, 201);
    const QJsonObject prediction = created.object();
    QCOMPARE(prediction.value(u"status"_s).toString(), u"succeeded"_s);
    QVERIFY(prediction["metrics"]["predict_time"].isDouble());
    const QString output = prediction.value(u"output"_s).toString();
    const auto download = ask(service, "GET", relative(output));
    QCOMPARE(download.status, 200);
    QImage result;
    QVERIFY(result.loadFromData(download.body));
    QCOMPARE(result.size(), QSize(120, 90));
    QCOMPARE(QColor(result.pixel(60, 45)), QColor(Qt::red));
}

void TestStandInService::generatesImagesPerRequestedCount()
{
    StandInService service;
    const QJsonObject input{
        {u"prompt"_s, u"a lighthouse"_s}, {u"num_outputs"_s, 3}, {u"aspect_ratio"_s, u"16:9"_s}};
    const auto created =
        ask(service, "POST", u"/v1/models/black-forest-labs/flux-schnell/predictions"_s,
            json({{u"input"_s, input}}), authWith("Prefer", "wait=10"));
    const QJsonArray outputs = created.object().value(u"output"_s).toArray();
    QCOMPARE(outputs.size(), 3);
    QByteArrayList bodies;
    for (const QJsonValue &url : outputs) {
        const auto download = ask(service, "GET", relative(url.toString()));
        QImage picture;
        QVERIFY(picture.loadFromData(download.body));
        QCOMPARE(double(picture.width()) / picture.height(), 512.0 / 288.0);
        bodies.append(download.body);
    }
    QVERIFY(bodies.at(0) != bodies.at(1));
}

void TestStandInService::pollsAndCancels()
{
    StandInService service(StandInService::Options{5, 1});
    const auto created = ask(service, "POST", u"/v1/models/google/veo-3/predictions"_s,
                             json({{u"input"_s, QJsonObject{{u"prompt"_s, u"waves"_s}}}}), kAuth);
    QCOMPARE(created.status, 201);
    const QJsonObject urls = created.object().value(u"urls"_s).toObject();
    QCOMPARE(created.object().value(u"status"_s).toString(), u"starting"_s);
    QCOMPARE(created.object().value(u"version"_s).toString(), u"hidden"_s);
    // Keys without a value yet come as null, as the service sends them.
    for (const char *key : {"output", "error", "started_at", "completed_at"}) {
        QVERIFY2(created.object().contains(QLatin1String(key)), key);
        QVERIFY2(created.object().value(QLatin1String(key)).isNull(), key);
    }
    QCOMPARE(created.object().value(u"metrics"_s).toObject(), QJsonObject());
    const auto cancel =
        ask(service, "POST", relative(urls.value(u"cancel"_s).toString()), {}, kAuth);
    QCOMPARE(cancel.status, 200);
    const auto polled = ask(service, "GET", relative(urls.value(u"get"_s).toString()), {}, kAuth);
    QCOMPARE(polled.object().value(u"status"_s).toString(), u"canceled"_s);
}

void TestStandInService::rejectsInvalidInput_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QJsonObject>("input");
    QTest::addColumn<QStringList>("named"); // texts the detail must hold
    QTest::newRow("missing image, wrong type")
        << u"nightmareai/real-esrgan"_s << QJsonObject{{u"scale"_s, u"big"_s}}
        << QStringList{u"- input: image is required"_s,
                       u"- input.scale: Invalid type. Expected: number"_s};
    // Real models declare megapixels as strings; a number is refused however it reads.
    QTest::newRow("number for a string enum")
        << u"black-forest-labs/flux-schnell"_s
        << QJsonObject{{u"prompt"_s, u"x"_s}, {u"megapixels"_s, 0.25}}
        << QStringList{u"- input.megapixels: Invalid type. Expected: string"_s};
}

void TestStandInService::rejectsInvalidInput()
{
    QFETCH(QString, model);
    QFETCH(QJsonObject, input);
    QFETCH(QStringList, named);
    StandInService service;
    const auto reply = ask(service, "POST", u"/v1/predictions"_s,
                           json({{u"version"_s, model}, {u"input"_s, input}}), kAuth);
    QCOMPARE(reply.status, 422);
    QCOMPARE(reply.object().value(u"title"_s).toString(), u"Input validation failed"_s);
    const QString detail = reply.object().value(u"detail"_s).toString();
    for (const QString &text : named)
        QVERIFY2(detail.contains(text), qPrintable(detail));
}

void TestStandInService::heldCreateOutlivesItsClient()
{
    StandInService service(StandInService::Options{2, 1});
    QNetworkAccessManager network;
    QNetworkRequest request(
        QUrl(service.baseUrl().toString() + u"/v1/models/google/veo-3/predictions"_s));
    request.setRawHeader("Authorization", "Bearer r8_test");
    request.setRawHeader("Prefer", "wait=60");
    request.setHeader(QNetworkRequest::ContentTypeHeader, u"application/json"_s);
    QNetworkReply *reply =
        network.post(request, json({{u"input"_s, QJsonObject{{u"prompt"_s, u"waves"_s}}}}));
    QTRY_COMPARE(service.predictions().size(), 1);
    reply->abort();
    reply->deleteLater();
    // Hanging up cancels nothing: the prediction runs to its end (only a cancel stops it).
    QTRY_COMPARE(service.predictions().first()[u"status"_s].toString(), u"succeeded"_s);
}

void TestStandInService::runsByNameOnlyOfficialModels()
{
    StandInService service;
    const QByteArray body = json({{u"input"_s, QJsonObject{{u"image"_s, u"x"_s}}}});
    // Real-ESRGAN is a community model: by name it is not found, by its version it runs.
    const auto byName =
        ask(service, "POST", u"/v1/models/nightmareai/real-esrgan/predictions"_s, body, kAuth);
    QCOMPARE(byName.status, 404);
    const auto record = ask(service, "GET", u"/v1/models/nightmareai/real-esrgan"_s, {}, kAuth);
    QVERIFY(!record.object().value(u"is_official"_s).toBool());
    const QString version = record.object()[u"latest_version"_s][u"id"_s].toString();
    QVERIFY(!version.isEmpty());
    const auto byVersion =
        ask(service, "POST", u"/v1/predictions"_s,
            json({{u"version"_s, version},
                  {u"input"_s, QJsonObject{{u"image"_s, QString(service.baseUrl().toString() +
                                                                u"/no-such-file")}}}}),
            kAuth);
    QCOMPARE(byVersion.status, 201);
}

void TestStandInService::logsRequests()
{
    StandInService service;
    QVERIFY(service.call("GET", u"/v1/models/google/veo-3"_s, {}, kAuth));
    QVERIFY(service.call("QUERY", u"/v1/models"_s, "flux", authWith("Content-Type", "text/plain")));
    QVERIFY(service.call("GET", u"/google/veo-3"_s));
    const QJsonArray log = service.requests();
    QCOMPARE(log.size(), 3);
    const QJsonObject query = log.at(1).toObject();
    QCOMPARE(query.value(u"method"_s).toString(), u"QUERY"_s);
    QCOMPARE(query.value(u"body"_s).toString(), u"flux"_s);
    QCOMPARE(query.value(u"bodySize"_s).toInt(), 4);
    QCOMPARE(query.value(u"authorization"_s).toString(), u"Bearer r8_test"_s);
    QCOMPARE(log.at(2).toObject().value(u"hasAuthorization"_s).toBool(), false);
    QCOMPARE(service.requests(u"/google"_s).size(), 1);
    QVERIFY(service.reset());
    QCOMPARE(service.requests().size(), 0);
}

void TestStandInService::faultsReturnScriptedStatus()
{
    StandInService service;
    QVERIFY(service.addFault({{u"method"_s, u"GET"_s},
                              {u"path"_s, u"/v1/models/*"_s},
                              {u"times"_s, 2},
                              {u"status"_s, 429},
                              {u"retryAfter"_s, u"1.5"_s}}));
    for (int i = 0; i < 2; ++i) {
        const auto reply = ask(service, "GET", u"/v1/models/google/veo-3"_s, {}, kAuth);
        QCOMPARE(reply.status, 429);
    }
    const auto third = ask(service, "GET", u"/v1/models/google/veo-3"_s, {}, kAuth);
    QCOMPARE(third.status, 200);
}

void TestStandInService::faultsCanStickOrFailAPrediction_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("dataOutputs"); // the command line switch
    QTest::addColumn<QString>("status");
    QTest::newRow("fail") << u"fail"_s << false << u"failed"_s;
    QTest::newRow("cancel") << u"cancel"_s << false << u"canceled"_s;
    QTest::newRow("stuck") << u"stuck"_s << false << u"processing"_s;
    QTest::newRow("abort") << u"abort"_s << false << u"aborted"_s;
    QTest::newRow("null") << u"null-output"_s << false << u"succeeded"_s;
    QTest::newRow("data rule") << u"data-output"_s << false << u"succeeded"_s;
    QTest::newRow("data switch") << QString() << true << u"succeeded"_s;
}

void TestStandInService::faultsCanStickOrFailAPrediction()
{
    QFETCH(QString, action);
    QFETCH(bool, dataOutputs);
    QFETCH(QString, status);
    StandInService service(StandInService::Options{0.2, 1, dataOutputs});
    if (!action.isEmpty())
        QVERIFY(service.addFault({{u"path"_s, u"*/predictions"_s},
                                  {u"action"_s, action},
                                  {u"error"_s, u"CUDA out of memory"_s}}));
    const auto reply =
        ask(service, "POST", u"/v1/models/google/imagen-4/predictions"_s,
            json({{u"input"_s, QJsonObject{{u"prompt"_s, u"x"_s}}}}), authWith("Prefer", "wait=1"));
    const QJsonObject prediction = reply.object();
    QCOMPARE(prediction.value(u"status"_s).toString(), status);
    // Ended within the hold: created; still going when the hold ran out: accepted.
    QCOMPARE(reply.status, status == u"processing"_s ? 202 : 201);
    if (action == u"abort"_s) {
        // It never started, so it ran for nothing and costs nothing.
        QVERIFY(prediction.value(u"started_at"_s).isNull());
        QVERIFY(!prediction[u"metrics"_s].toObject().contains(u"predict_time"));
    }
    if (action == u"fail"_s)
        QCOMPARE(prediction.value(u"error"_s).toString(), u"CUDA out of memory"_s);
    if (action == u"null-output"_s)
        QVERIFY(prediction.value(u"output"_s).isNull());
    if (action == u"data-output"_s || dataOutputs) {
        // The held answer carries the picture itself; a later read gives its address.
        const QString output = prediction.value(u"output"_s).toString();
        QVERIFY2(output.startsWith(u"data:image/png;base64,iVBOR"_s), qPrintable(output.left(40)));
        const auto polled =
            ask(service, "GET", relative(prediction[u"urls"_s][u"get"_s].toString()), {}, kAuth);
        QVERIFY(polled.object().value(u"output"_s).toString().startsWith(u"http"));
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
