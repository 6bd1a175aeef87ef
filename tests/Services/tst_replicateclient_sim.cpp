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
    void unknownModelCarriesDetail();
    void serverErrorsExhaustTheRetries();
    void rateLimitThenSuccess();
    void endlessCollectionStopsAfterFivePages();
    void searchFindsModels();
    void uploadThenPredictThenPoll();
    void cancelWhileTheServiceHolds();
    void droppedConnectionIsATransportFailure();
    void malformedBodyIsAParseFailure();

private:
    ReplicateClient client() const
    {
        return ReplicateClient(m_network.get(), m_service->apiBase(), m_environment->clock(),
                               QStringLiteral("r8_sim"));
    }
    QJsonArray requestsTo(const QString &prefix) { return m_service->requests(prefix); }

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
    const auto outcome =
        runTask(client().fetchModel(QStringLiteral("nightmareai"), QStringLiteral("real-esrgan")));
    QVERIFY2(outcome.finished && !outcome.error, qPrintable(outcome.message()));
    const ModelSchema schema = ModelSchema::parse(*outcome.value);
    QCOMPARE(schema.imageKey, std::optional(QStringLiteral("image")));
    QVERIFY(schema.scaleParam());
    const QJsonArray log = requestsTo(QStringLiteral("/v1/models"));
    QCOMPARE(log.size(), 1);
    QCOMPARE(log.first().toObject().value(QLatin1String("authorization")).toString(),
             QStringLiteral("Bearer r8_sim"));
}

void ReplicateClientSimTest::unknownModelCarriesDetail()
{
    const auto outcome =
        runTask(client().fetchModel(QStringLiteral("nobody"), QStringLiteral("nothing")));
    QVERIFY(outcome.threw<AppError>());
    QVERIFY(!outcome.message().isEmpty());
    QVERIFY(!outcome.message().startsWith(QLatin1String("Replicate returned HTTP")));
}

void ReplicateClientSimTest::serverErrorsExhaustTheRetries()
{
    QVERIFY(
        m_service->addFault(QJsonObject{{QStringLiteral("path"), QStringLiteral("/v1/models/*")},
                                        {QStringLiteral("status"), 500},
                                        {QStringLiteral("body"), QStringLiteral("{}")}}));
    const auto outcome =
        runTask(client().fetchModel(QStringLiteral("nightmareai"), QStringLiteral("real-esrgan")));
    QCOMPARE(outcome.message(), QStringLiteral("Replicate returned HTTP 500."));
    QCOMPARE(m_environment->clock()->requestedDelays(), (QList<double>{2, 4}));
    QCOMPARE(requestsTo(QStringLiteral("/v1/models")).size(), 3);
}

void ReplicateClientSimTest::rateLimitThenSuccess()
{
    QVERIFY(
        m_service->addFault(QJsonObject{{QStringLiteral("path"), QStringLiteral("/v1/models/*")},
                                        {QStringLiteral("times"), 1},
                                        {QStringLiteral("status"), 429},
                                        {QStringLiteral("retryAfter"), QStringLiteral("1.5")}}));
    const auto outcome =
        runTask(client().fetchModel(QStringLiteral("nightmareai"), QStringLiteral("real-esrgan")));
    QVERIFY2(outcome.finished && !outcome.error, qPrintable(outcome.message()));
    QCOMPARE(m_environment->clock()->requestedDelays(), QList<double>{1.5});
}

void ReplicateClientSimTest::endlessCollectionStopsAfterFivePages()
{
    const auto outcome = runTask(client().fetchCollection(QStringLiteral("endless")));
    QVERIFY2(outcome.finished && !outcome.error, qPrintable(outcome.message()));
    QCOMPARE(requestsTo(QStringLiteral("/v1/collections")).size(), 5);
    QVERIFY(!outcome.value->isEmpty());
    QCOMPARE(outcome.value->size() % 5, 0);

    const auto finite = runTask(client().fetchCollection(QStringLiteral("super-resolution")));
    QVERIFY2(finite.finished && !finite.error, qPrintable(finite.message()));
    QVERIFY(!finite.value->isEmpty());
    for (const CatalogModel &model : *finite.value)
        QVERIFY(!model.isCustom);
}

void ReplicateClientSimTest::searchFindsModels()
{
    const auto outcome = runTask(client().searchModels(QStringLiteral("upscale")));
    QVERIFY2(outcome.finished && !outcome.error, qPrintable(outcome.message()));
    QVERIFY(!outcome.value->isEmpty());
    QVERIFY(outcome.value->first().isCustom);
    const QJsonArray log = requestsTo(QStringLiteral("/v1/models"));
    QCOMPARE(log.first().toObject().value(QLatin1String("method")).toString(),
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

    const auto record =
        runTask(client().fetchModel(QStringLiteral("nightmareai"), QStringLiteral("real-esrgan")));
    QVERIFY(record.finished && !record.error);
    const ModelSchema schema = ModelSchema::parse(*record.value);
    const CatalogModel model{
        QStringLiteral("nightmareai"), QStringLiteral("real-esrgan"), {}, {}, false};
    const QJsonObject input{{QStringLiteral("image"), *upload.value}, {QStringLiteral("scale"), 2}};
    const auto created = runTask(client().createPrediction(model, schema, input, 1));
    QVERIFY2(created.finished && !created.error, qPrintable(created.message()));
    QVERIFY(created.value->getURL);

    ReplicateClient::Prediction prediction = *created.value;
    const QStringList ended{QStringLiteral("succeeded"), QStringLiteral("failed"),
                            QStringLiteral("canceled"), QStringLiteral("aborted")};
    for (int poll = 0; poll < 50 && !ended.contains(prediction.status); ++poll) {
        QTest::qWait(50);
        const auto next = runTask(client().getPrediction(*prediction.getURL));
        QVERIFY2(next.finished && !next.error, qPrintable(next.message()));
        prediction = *next.value;
    }
    QCOMPARE(prediction.status, QStringLiteral("succeeded"));
    QCOMPARE(prediction.outputURLs().size(), 1);
    // The version route, since the record names a version and is not official.
    const QJsonArray log = requestsTo(QStringLiteral("/v1/predictions"));
    QCOMPARE(log.first().toObject().value(QLatin1String("method")).toString(),
             QStringLiteral("POST"));
}

void ReplicateClientSimTest::cancelWhileTheServiceHolds()
{
    QVERIFY(
        m_service->addFault(QJsonObject{{QStringLiteral("path"), QStringLiteral("/v1/models/*")},
                                        {QStringLiteral("action"), QStringLiteral("delay")},
                                        {QStringLiteral("delayMs"), 30000}}));
    TaskHandle handle;
    QTimer::singleShot(200, [handle] { handle.cancel(); });
    const auto outcome = runTask(
        client().fetchModel(QStringLiteral("nightmareai"), QStringLiteral("real-esrgan"), handle),
        10000);
    QVERIFY(outcome.finished);
    QVERIFY(outcome.cancelled());
}

void ReplicateClientSimTest::droppedConnectionIsATransportFailure()
{
    QVERIFY(
        m_service->addFault(QJsonObject{{QStringLiteral("path"), QStringLiteral("/v1/models/*")},
                                        {QStringLiteral("action"), QStringLiteral("drop")}}));
    const auto outcome =
        runTask(client().fetchModel(QStringLiteral("nightmareai"), QStringLiteral("real-esrgan")));
    QVERIFY(outcome.threw<NetworkError>());
    QVERIFY(m_environment->clock()->requestedDelays().isEmpty());
}

void ReplicateClientSimTest::malformedBodyIsAParseFailure()
{
    QVERIFY(
        m_service->addFault(QJsonObject{{QStringLiteral("path"), QStringLiteral("/v1/models/*")},
                                        {QStringLiteral("action"), QStringLiteral("malformed")}}));
    const auto outcome =
        runTask(client().fetchModel(QStringLiteral("nightmareai"), QStringLiteral("real-esrgan")));
    QVERIFY(outcome.threw<JsonParseFailure>());
}

QTEST_GUILESS_MAIN(ReplicateClientSimTest)
#include "tst_replicateclient_sim.moc"
