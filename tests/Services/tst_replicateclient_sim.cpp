#include "Models/AppError.h"
#include "Models/ModelSchema.h"
#include "RunTask.h"
#include "Services/NetworkError.h"
#include "Services/ReplicateClient.h"
#include "StandInService.h"
#include "TestEnvironment.h"

#include <QBuffer>
#include <QImage>
#include <QJsonArray>
#include <QNetworkAccessManager>
#include <QtTest>

// The client end to end against the stand-in service on loopback.
class ReplicateClientSimTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void fetchModelFeedsTheSchema();
    void faults_data();
    void faults();
    void collectionsAndSearch();
    void uploadThenPredictThenPoll();
    void cancelWhileTheServiceHolds();

private:
    ReplicateClient client() const
    {
        return ReplicateClient(m_network.get(), m_service->apiBase(), m_environment->clock(),
                               QStringLiteral("r8_sim"));
    }
    QJsonArray requestsTo(const QString &prefix) { return m_service->requests(prefix); }
    QCoro::Task<QJsonObject> fetch(const QString &name = QStringLiteral("real-esrgan"),
                                   const TaskHandle &handle = {}) const
    {
        return client().fetchModel(QStringLiteral("nightmareai"), name, handle);
    }

    std::unique_ptr<StandInService> m_service;
    std::unique_ptr<TestEnvironment> m_environment;
    std::unique_ptr<QNetworkAccessManager> m_network;
};

void ReplicateClientSimTest::initTestCase()
{
    StandInService::Options options;
    options.predictSeconds = 0.3;
    m_service = std::make_unique<StandInService>(options);
    QVERIFY2(m_service->isRunning(), qPrintable(m_service->errorString()));
    m_network = std::make_unique<QNetworkAccessManager>();
    ReplicateClient::configure(*m_network);
}

void ReplicateClientSimTest::init()
{
    QVERIFY(m_service->reset());
    m_environment = std::make_unique<TestEnvironment>(0.001);
}

void ReplicateClientSimTest::fetchModelFeedsTheSchema()
{
    const auto outcome = runTask(fetch());
    QVERIFY2(outcome.finished && !outcome.error, qPrintable(outcome.message()));
    const ModelSchema schema = ModelSchema::parse(*outcome.value);
    QCOMPARE(schema.imageKey, std::optional(QStringLiteral("image")));
    QVERIFY(schema.scaleParam());
    const QJsonArray log = requestsTo(QStringLiteral("/v1/models"));
    QCOMPARE(log.size(), 1);
    QCOMPARE(log.first()[QLatin1String("authorization")].toString(),
             QStringLiteral("Bearer r8_sim"));
}

void ReplicateClientSimTest::faults_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QJsonObject>("fault"); // on /v1/models/*; empty: none
    QTest::addColumn<QString>("failure");   // message, or "network" / "parse"; empty: success
    QTest::addColumn<QList<double>>("delays");
    const QString esrgan = QStringLiteral("real-esrgan");
    QTest::newRow("500 three times")
        << esrgan << QJsonObject{{"status", 500}, {"body", "{}"}}
        << QStringLiteral("Replicate returned HTTP 500.") << QList<double>{2, 4};
    QTest::newRow("429 then 200") << esrgan
                                  << QJsonObject{{"times", 1},
                                                 {"status", 429},
                                                 {"retryAfter", "1.5"}}
                                  << QString() << QList<double>{1.5};
    QTest::newRow("unknown model's detail") << QStringLiteral("nothing") << QJsonObject()
                                            << QStringLiteral("Not found.") << QList<double>{};
    QTest::newRow("dropped") << esrgan << QJsonObject{{"action", "drop"}}
                             << QStringLiteral("network") << QList<double>{};
    QTest::newRow("malformed") << esrgan << QJsonObject{{"action", "malformed"}}
                               << QStringLiteral("parse") << QList<double>{};
}

void ReplicateClientSimTest::faults()
{
    QFETCH(QString, name);
    QFETCH(QJsonObject, fault);
    QFETCH(QString, failure);
    QFETCH(QList<double>, delays);
    if (!fault.isEmpty()) {
        fault.insert(QStringLiteral("path"), QStringLiteral("/v1/models/*"));
        QVERIFY(m_service->addFault(fault));
    }
    const auto outcome = runTask(fetch(name));
    QVERIFY(outcome.finished);
    if (failure == QLatin1String("network"))
        QVERIFY(outcome.threw<NetworkError>());
    else if (failure == QLatin1String("parse"))
        QVERIFY(outcome.threw<JsonParseFailure>());
    else
        QCOMPARE(outcome.message(), failure);
    QCOMPARE(m_environment->clock()->requestedDelays(), delays);
    // The network layer itself may resend a GET once on a dropped connection.
    if (failure != QLatin1String("network"))
        QCOMPARE(requestsTo(QStringLiteral("/v1/models")).size(), delays.size() + 1);
}

void ReplicateClientSimTest::collectionsAndSearch()
{
    const auto endless = runTask(client().fetchCollection(QStringLiteral("endless")));
    QVERIFY2(endless.finished && !endless.error, qPrintable(endless.message()));
    QCOMPARE(requestsTo(QStringLiteral("/v1/collections")).size(), 5);
    QVERIFY(!endless.value->isEmpty());
    QCOMPARE(endless.value->size() % 5, 0);

    const auto finite = runTask(client().fetchCollection(QStringLiteral("super-resolution")));
    QVERIFY2(finite.finished && !finite.error, qPrintable(finite.message()));
    QVERIFY(!finite.value->isEmpty());
    for (const CatalogModel &model : *finite.value)
        QVERIFY(!model.isCustom);

    const auto found = runTask(client().searchModels(QStringLiteral("upscale")));
    QVERIFY2(found.finished && !found.error, qPrintable(found.message()));
    QVERIFY(!found.value->isEmpty() && found.value->first().isCustom);
    QCOMPARE(requestsTo(QStringLiteral("/v1/models")).first()[QLatin1String("method")].toString(),
             QStringLiteral("QUERY"));
}

void ReplicateClientSimTest::uploadThenPredictThenPoll()
{
    QImage image(16, 12, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QVERIFY(image.save(&buffer, "PNG"));

    const auto upload = runTask(
        client().uploadFile(png, QStringLiteral("tiny \"test\".png"), QStringLiteral("image/png")));
    QVERIFY2(upload.finished && !upload.error, qPrintable(upload.message()));
    QVERIFY(upload.value->startsWith(QLatin1String("http")));

    const auto record = runTask(fetch());
    QVERIFY(record.finished && !record.error);
    const CatalogModel model{
        QStringLiteral("nightmareai"), QStringLiteral("real-esrgan"), {}, {}, false};
    const QJsonObject input{{QStringLiteral("image"), *upload.value}, {QStringLiteral("scale"), 2}};
    // Not held: the answer comes at once, before the prediction has ended.
    const auto created =
        runTask(client().createPrediction(model, ModelSchema::parse(*record.value), input, 0));
    QVERIFY2(created.finished && !created.error, qPrintable(created.message()));
    QCOMPARE(created.value->status, QStringLiteral("starting"));
    QVERIFY(created.value->getURL);
    QVERIFY(created.value->outputURLs().isEmpty());

    // Once the service has finished it, one poll brings the result.
    const QString id = created.value->id;
    const auto serviceStatus = [this, &id] {
        for (const QJsonValue &entry : m_service->predictions()) {
            if (entry[QLatin1String("id")].toString() == id)
                return entry[QLatin1String("status")].toString();
        }
        return QString();
    };
    QTRY_COMPARE(serviceStatus(), QStringLiteral("succeeded"));
    const auto polled = runTask(client().getPrediction(*created.value->getURL));
    QVERIFY2(polled.finished && !polled.error, qPrintable(polled.message()));
    QCOMPARE(polled.value->status, QStringLiteral("succeeded"));
    QCOMPARE(polled.value->outputURLs().size(), 1);
    // The version route, since the record names a version and is not official.
    QCOMPARE(requestsTo(QStringLiteral("/v1/predictions")).first()[QLatin1String("method")],
             QStringLiteral("POST"));
}

void ReplicateClientSimTest::cancelWhileTheServiceHolds()
{
    QVERIFY(
        m_service->addFault({{"path", "/v1/models/*"}, {"action", "delay"}, {"delayMs", 30000}}));
    TaskHandle handle;
    QTimer::singleShot(200, [handle] { handle.cancel(); });
    const auto outcome = runTask(fetch(QStringLiteral("real-esrgan"), handle), 10000);
    QVERIFY(outcome.finished);
    QVERIFY(outcome.cancelled());
}

QTEST_GUILESS_MAIN(ReplicateClientSimTest)
#include "tst_replicateclient_sim.moc"
